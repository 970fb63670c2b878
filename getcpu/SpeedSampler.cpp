#include "SpeedSampler.h"

#include <utility>

namespace ombrix::cpu {

SpeedSampler::SpeedSampler(Reader reader, Duration interval, Duration idleAfter)
    : m_reader(std::move(reader)), m_interval(interval), m_idleAfter(idleAfter),
      m_worker([this](std::stop_token stop) { run(std::move(stop)); }) {}

std::optional<double> SpeedSampler::latest() {
    std::lock_guard lock(m_mutex);
    m_lastAsked = std::chrono::steady_clock::now();
    if (!m_active) {
        m_active = true;
        m_wake.notify_one();
    }
    return m_value;
}

void SpeedSampler::run(std::stop_token stop) {
    std::unique_lock lock(m_mutex);
    while (m_wake.wait(lock, stop, [this] { return m_active; })) {
        lock.unlock();
        const auto reading = m_reader(stop);
        lock.lock();
        if (reading)
            m_value = reading;
        // Rest until the next reading is due; a stop request ends the rest.
        m_wake.wait_for(lock, stop, m_interval, [] { return false; });
        if (stop.stop_requested())
            return;
        if (std::chrono::steady_clock::now() - m_lastAsked > m_idleAfter)
            m_active = false;
    }
}

} // namespace ombrix::cpu
