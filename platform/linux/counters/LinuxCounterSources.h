#pragma once
#include "platform/CounterSources.h"
#include "platform/linux/counters/LinuxPerfCounters.h"
#include "platform/linux/modules/SharedLibrary.h"

#include <mutex>
#include <optional>

namespace ombrix::platform {

// This computer's counters from /proc; other computers' through Performance
// Co-Pilot, from a module of its own (libombrix_pcp.so) loaded the first time
// another computer is named, so that libpcp costs nothing to anyone else.
class LinuxCounterSources final : public CounterSources {
public:
    explicit LinuxCounterSources(std::string module = "libombrix_pcp.so");
    PerfCounters& local() override { return m_local; }
    std::unique_ptr<PerfCounters> connect(const QString& computer) override;
    std::unique_ptr<ComputerFacts> connectFacts(const QString& computer) override;
    void prepare() override;

private:
    // The module's entry point of that name, the module loaded on first use.
    void* entry(const char* name);

    LinuxPerfCounters m_local;
    std::string m_module;
    std::mutex m_mutex; // connections are made on the computers' own threads
    std::optional<SharedLibrary> m_library;
};

} // namespace ombrix::platform
