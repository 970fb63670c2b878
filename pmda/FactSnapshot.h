#pragma once
#include "pmda/AgentFacts.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

namespace ombrix::pmda {

// The facts the agent answers from: read on a thread of its own, again
// every interval, so that a question is answered at once from the last
// reading however long a reading takes (a hung mount, a stopped scheduler).
// The thread is the last member: it stops and is joined first.
class FactSnapshot {
public:
    using Reader = std::function<AgentFacts()>;

    explicit FactSnapshot(Reader read = readAgentFacts,
                          std::chrono::milliseconds interval = std::chrono::seconds(5));
    ~FactSnapshot() = default;
    FactSnapshot(const FactSnapshot&) = delete;
    FactSnapshot& operator=(const FactSnapshot&) = delete;

    // The last reading; none before the first one is in.
    std::shared_ptr<const AgentFacts> current() const;
    // How many readings are in.
    unsigned readings() const;

private:
    void run(std::stop_token stop);

    const Reader m_read;
    const std::chrono::milliseconds m_interval;
    mutable std::mutex m_lock;
    std::condition_variable_any m_wake;
    std::shared_ptr<const AgentFacts> m_facts;
    unsigned m_readings = 0;
    std::jthread m_thread;
};

} // namespace ombrix::pmda
