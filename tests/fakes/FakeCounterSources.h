#pragma once
#include "FakeGate.h"
#include "FakePerfCounters.h"
#include "platform/CounterSources.h"
#include "platform/PlatformError.h"

#include <QStringList>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>

// This computer's fake counters, and other computers that answer with fake
// counters of their own (each connection a copy of `remote`) unless listed
// as unreachable. Connections are made on the links' threads: set `remote`
// before the first, and the rest through the calls below.
struct FakeCounterSources final : ombrix::platform::CounterSources {
    FakePerfCounters localCounters;
    FakePerfCounters remote;
    std::shared_ptr<std::atomic<bool>> remoteDown = std::make_shared<std::atomic<bool>>(false);
    // Set: connecting waits until it opens, or gives up after connectBound.
    std::shared_ptr<FakeGate> connectGate;
    std::chrono::milliseconds connectBound{1000};
    std::atomic<int> connectsEnded = 0;
    int prepared = 0; // times the library behind other computers was made ready
    // Facts of one computer apart from those of `remote` (set before its first connection).
    std::map<QString, std::shared_ptr<FakeComputerFacts>> factsOf;

    void prepare() override { ++prepared; }

    ombrix::platform::PerfCounters& local() override { return localCounters; }
    std::unique_ptr<ombrix::platform::PerfCounters> connect(const QString& computer) override {
        std::unique_ptr<FakePerfCounters> counters;
        bool refused = false;
        {
            const std::lock_guard lock(m_mutex);
            m_connected << computer;
            refused = m_unreachable.contains(computer);
            if (!refused) {
                counters = std::make_unique<FakePerfCounters>();
                counters->catalogue = remote.catalogue;
                counters->instanceLists = remote.instanceLists;
                counters->readings = remote.readings;
                counters->down = remoteDown;
                counters->gate = remote.gate;
                counters->gateBound = remote.gateBound;
                counters->broken = remote.broken;
                counters->explanations = remote.explanations;
                counters->computerFacts = remote.computerFacts;
                if (const auto own = factsOf.find(computer); own != factsOf.end())
                    counters->computerFacts = own->second;
            }
        }
        const bool given = !connectGate || connectGate->pass(connectBound);
        ++connectsEnded;
        if (refused || !given)
            throw ombrix::platform::PlatformError("No route to host");
        return counters;
    }

    // The computers asked for, in order.
    QStringList connected() {
        const std::lock_guard lock(m_mutex);
        return m_connected;
    }
    void setUnreachable(const QStringList& computers) {
        const std::lock_guard lock(m_mutex);
        m_unreachable = computers;
    }

private:
    std::mutex m_mutex;
    QStringList m_connected;
    QStringList m_unreachable;
};
