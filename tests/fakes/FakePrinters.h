#pragma once
#include "platform/Printers.h"

#include "FakeGate.h"

#include <atomic>
#include <memory>
#include <mutex>

// A print service with the destinations given; while `stuck` holds a closed
// gate it answers no one, as a stopped scheduler does.
class FakePrinters final : public ombrix::platform::Printers {
public:
    std::shared_ptr<FakeGate> stuck;
    mutable std::atomic<int> calls = 0;

    void answer(std::vector<QString> names) {
        std::lock_guard lock(m_mutex);
        m_list = {true, {}};
        for (QString& name : names) {
            ombrix::platform::PrintDestination d;
            d.name = std::move(name);
            m_list.destinations.push_back(std::move(d));
        }
    }
    ombrix::platform::PrinterList query() const override {
        ++calls;
        if (const std::shared_ptr<FakeGate> gate = stuck)
            gate->pass(std::chrono::seconds(4));
        std::lock_guard lock(m_mutex);
        return m_list;
    }

private:
    mutable std::mutex m_mutex;
    ombrix::platform::PrinterList m_list;
};
