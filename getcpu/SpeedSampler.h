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
// waits for the reading itself. While someone asks at least every idleAfter,
// the worker takes a reading every interval; then it sleeps until asked again.
// It is stopped and joined when the sampler goes, which in the library is
// when the library is unloaded or the process ends.
class SpeedSampler {
public:
    using Reader = std::function<std::optional<double>(std::stop_token)>;
    using Duration = std::chrono::steady_clock::duration;
    SpeedSampler(Reader reader, Duration interval, Duration idleAfter);
    SpeedSampler(const SpeedSampler&) = delete;
    SpeedSampler& operator=(const SpeedSampler&) = delete;

    // The last reading; nullopt before the first has been taken.
    std::optional<double> latest();

private:
    void run(std::stop_token stop);

    Reader m_reader;
    Duration m_interval;
    Duration m_idleAfter;
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::optional<double> m_value;
    std::chrono::steady_clock::time_point m_lastAsked = std::chrono::steady_clock::now();
    bool m_active = true;
    std::jthread m_worker; // last: starts after the state it uses, joins before it goes
};

} // namespace ombrix::cpu
