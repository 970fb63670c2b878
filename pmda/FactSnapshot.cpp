#include "pmda/FactSnapshot.h"

namespace ombrix::pmda {

FactSnapshot::FactSnapshot(Reader read, std::chrono::milliseconds interval)
    : m_read(std::move(read)), m_interval(interval),
      m_thread([this](std::stop_token stop) { run(std::move(stop)); }) {}

std::shared_ptr<const AgentFacts> FactSnapshot::current() const {
    const std::lock_guard guard(m_lock);
    return m_facts;
}

unsigned FactSnapshot::readings() const {
    const std::lock_guard guard(m_lock);
    return m_readings;
}

void FactSnapshot::run(std::stop_token stop) {
    while (!stop.stop_requested()) {
        // Read outside the lock: a question meanwhile gets the last reading.
        auto facts = std::make_shared<const AgentFacts>(m_read());
        std::unique_lock guard(m_lock);
        m_facts = std::move(facts);
        ++m_readings;
        m_wake.wait_for(guard, stop, m_interval, [] { return false; });
    }
}

} // namespace ombrix::pmda
