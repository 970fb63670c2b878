#pragma once
#include "FakeGate.h"
#include "platform/ComputerFacts.h"
#include "platform/PerfCounters.h"

#include <QHash>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>

// Another computer's facts as the test sets them, read on a link's thread;
// while down is set the computer does not answer.
struct FakeComputerFacts final : ombrix::platform::ComputerFacts {
    std::shared_ptr<std::atomic<bool>> down;
    void set(ombrix::platform::RemoteFacts facts) {
        const std::lock_guard lock(m_mutex);
        m_next = std::move(facts);
    }
    ombrix::platform::RemoteFacts read(const ombrix::platform::FactParts&) override {
        if (down && *down) {
            ombrix::platform::RemoteFacts silent;
            silent.reachable = false;
            return silent;
        }
        const std::lock_guard lock(m_mutex);
        return m_next;
    }

private:
    std::mutex m_mutex;
    ombrix::platform::RemoteFacts m_next;
};

// Counters whose readings the test sets: a rate, a fraction and a gauge.
struct FakePerfCounters final : ombrix::platform::PerfCounters {
    using CounterInfo = ombrix::platform::CounterInfo;
    using CounterKind = ombrix::platform::CounterKind;
    using CounterPath = ombrix::platform::CounterPath;

    std::vector<ombrix::platform::ObjectInfo> catalogue{
        {"processor",
         "Processor",
         "The processors.",
         {CounterInfo{"processor_time", "% Processor Time", "Busy share.", CounterKind::Fraction,
                      1.0, 1.0},
          CounterInfo{"interrupts", "Interrupts/sec", "Interrupts per second.", CounterKind::Rate,
                      1.0, 0.01}},
         true,
         true,
         {}},
        {"memory",
         "Memory",
         "The memory.",
         {CounterInfo{"available_bytes", "Available Bytes", "Free memory.", CounterKind::Gauge, 1.0,
                      1e-6}},
         false,
         false,
         {}}};
    QHash<QString, QStringList> instanceLists{{"processor", {"_Total", "0", "1"}}};
    QHash<QString, ombrix::platform::RawValue> readings; // by key(); absent: no reading
    QHash<QString, QString> explanations; // by "object|counter": what the computer says of it
    double seconds = 0;
    int samples = 0;
    std::shared_ptr<std::atomic<bool>> down;          // set: the computer does not answer
    std::shared_ptr<FakeGate> gate;                   // set: a reading waits until it opens...
    std::chrono::milliseconds gateBound{10000};       // ...or until this has passed
    std::shared_ptr<std::atomic<bool>> broken;        // set: a reading throws
    std::shared_ptr<FakeComputerFacts> computerFacts; // none: the counters come without facts

    ombrix::platform::ComputerFacts* facts() override { return computerFacts.get(); }

    static QString key(const CounterPath& path) {
        return path.computer + "|" + path.object + "|" + path.counter + "|" + path.instance;
    }
    const std::vector<ombrix::platform::ObjectInfo>& objects() const override { return catalogue; }
    QStringList instances(const QString& object, qsizetype* count = nullptr) override {
        if (count)
            *count = ombrix::platform::instanceCount(instanceLists.value(object));
        return instanceLists.value(object);
    }
    QString explanation(const QString& object, const QString& counter) override {
        const QString said = explanations.value(object + "|" + counter);
        return said.isEmpty() ? PerfCounters::explanation(object, counter) : said;
    }
    ombrix::platform::RawSample sample(const std::vector<CounterPath>& paths) override {
        ++samples;
        if (gate)
            gate->pass(gateBound);
        if (broken && *broken)
            throw std::out_of_range("map::at");
        ombrix::platform::RawSample result{seconds, {}};
        if (down && *down) {
            result.values.assign(paths.size(), std::nullopt);
            result.reachable = false;
            return result;
        }
        for (const auto& path : paths) {
            auto it = readings.constFind(key(path));
            result.values.push_back(it == readings.constEnd()
                                        ? std::nullopt
                                        : std::optional<ombrix::platform::RawValue>(*it));
        }
        return result;
    }
};
