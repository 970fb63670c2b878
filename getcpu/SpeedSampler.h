#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

namespace ombrix::cpu {

// Keeps a slow reading fresh on a worker thread, so that asking for it never
// waits for the reading itself. The worker reads only when asked and the last
// reading has grown older than maxAge; it is stopped and joined when the
// sampler goes, which in the library is when it is unloaded or the process ends.
class SpeedSampler {
public:
    using Reader = std::function<std::optional<double>(std::stop_token)>;
    SpeedSampler(Reader reader, std::chrono::milliseconds maxAge);
    SpeedSampler(const SpeedSampler&) = delete;
    SpeedSampler& operator=(const SpeedSampler&) = delete;

    // The last reading (nullopt before the first); asks for a new one when stale.
    std::optional<double> latest();

private:
    void run(std::stop_token stop);

    Reader m_reader;
    std::chrono::milliseconds m_maxAge;
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::optional<double> m_value;
    std::chrono::steady_clock::time_point m_takenAt;
    bool m_wanted = true;
    std::jthread m_worker; // last: starts after the state it uses, joins before it goes
};

} // namespace ombrix::cpu
