#include "SpeedSampler.h"

#include <utility>

namespace ombrix::cpu {

SpeedSampler::SpeedSampler(Reader reader, std::chrono::milliseconds maxAge)
    : m_reader(std::move(reader)), m_maxAge(maxAge),
      m_worker([this](std::stop_token stop) { run(std::move(stop)); }) {}

std::optional<double> SpeedSampler::latest() {
    std::lock_guard lock(m_mutex);
    if (!m_value || std::chrono::steady_clock::now() - m_takenAt > m_maxAge) {
        m_wanted = true;
        m_wake.notify_one();
    }
    return m_value;
}

void SpeedSampler::run(std::stop_token stop) {
    std::unique_lock lock(m_mutex);
    while (m_wake.wait(lock, stop, [this] { return m_wanted; })) {
        m_wanted = false;
        lock.unlock();
        const auto reading = m_reader(stop);
        lock.lock();
        if (reading) {
            m_value = reading;
            m_takenAt = std::chrono::steady_clock::now();
        }
    }
}

} // namespace ombrix::cpu
