#pragma once
#include "FakePerfCounters.h"
#include "platform/CounterSources.h"
#include "platform/PlatformError.h"

#include <QStringList>

// This computer's fake counters, and other computers that answer with fake
// counters of their own (each connection a copy of `remote`) unless listed
// as unreachable.
struct FakeCounterSources final : ombrix::platform::CounterSources {
    FakePerfCounters localCounters;
    FakePerfCounters remote;
    QStringList unreachable;
    std::shared_ptr<std::atomic<bool>> remoteDown = std::make_shared<std::atomic<bool>>(false);
    QStringList connected; // as asked, in order

    ombrix::platform::PerfCounters& local() override { return localCounters; }
    std::unique_ptr<ombrix::platform::PerfCounters> connect(const QString& computer) override {
        connected << computer;
        if (unreachable.contains(computer))
            throw ombrix::platform::PlatformError("No route to host");
        auto counters = std::make_unique<FakePerfCounters>();
        counters->catalogue = remote.catalogue;
        counters->instanceLists = remote.instanceLists;
        counters->readings = remote.readings;
        counters->explanations = remote.explanations;
        counters->down = remoteDown;
        return counters;
    }
};
