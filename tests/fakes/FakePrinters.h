#pragma once
#include "platform/PlatformError.h"
#include "platform/Printers.h"

#include "FakeGate.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

// A print service with the destinations given; while `stuck` holds a closed
// gate it answers no one for up to `stuckFor`, as a stopped scheduler does.
// With `failure` set every query throws it, as a missing printers module
// would.
class FakePrinters final : public ombrix::platform::Printers {
public:
    std::shared_ptr<FakeGate> stuck;
    std::chrono::milliseconds stuckFor = std::chrono::seconds(4);
    std::optional<std::string> failure;
    mutable std::atomic<int> calls = 0;

    void answer(std::vector<QString> names) {
        ombrix::platform::PrinterList list{true, {}};
        for (QString& name : names) {
            ombrix::platform::PrintDestination d;
            d.name = std::move(name);
            list.destinations.push_back(std::move(d));
        }
        answer(std::move(list));
    }
    void answer(ombrix::platform::PrinterList list) {
        std::lock_guard lock(m_mutex);
        m_list = std::move(list);
    }
    ombrix::platform::PrinterList query() const override {
        ++calls;
        if (const std::shared_ptr<FakeGate> gate = stuck)
            gate->pass(stuckFor);
        if (failure)
            throw ombrix::platform::PlatformError(*failure);
        std::lock_guard lock(m_mutex);
        return m_list;
    }

private:
    mutable std::mutex m_mutex;
    ombrix::platform::PrinterList m_list;
};

// Another computer's printers, where a test does not ask them.
inline std::unique_ptr<ombrix::platform::Printers> fakePrintersAt(const std::string&) {
    return std::make_unique<FakePrinters>();
}
