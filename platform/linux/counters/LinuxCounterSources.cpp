#include "platform/linux/counters/LinuxCounterSources.h"

#include "platform/PlatformError.h"

#include <cstdlib>

namespace ombrix::platform {
namespace {

// A computer that does not answer is given up within a few seconds, unless
// the user's environment says otherwise. libpcp reads these when it first
// connects; they are set here, on the thread that makes the machine's
// services, before any computer's thread can read the environment.
void boundRemoteWaits() {
    static const bool bounded = [] {
        setenv("PMCD_CONNECT_TIMEOUT", "4", 0);
        setenv("PMCD_REQUEST_TIMEOUT", "4", 0);
        return true;
    }();
    (void)bounded;
}

} // namespace

LinuxCounterSources::LinuxCounterSources(std::string module) : m_module(std::move(module)) {
    boundRemoteWaits();
}

void* LinuxCounterSources::entry(const char* name) {
    const std::lock_guard lock(m_mutex);
    if (!m_library)
        // libpcp keeps state for the whole process: it is never unloaded.
        m_library.emplace(m_module, "counters module", true);
    return m_library->symbol(name);
}

void LinuxCounterSources::prepare() {
    using Prepare = void (*)();
    reinterpret_cast<Prepare>(entry("ombrix_pcp_prepare"))();
}

std::unique_ptr<ComputerFacts> LinuxCounterSources::connectFacts(const QString& computer) {
    using Connect = ComputerFacts* (*)(const char*, char*, std::size_t);
    const auto connectTo = reinterpret_cast<Connect>(entry("ombrix_pcp_facts"));
    char error[256] = {};
    std::unique_ptr<ComputerFacts> facts(
        connectTo(computer.toUtf8().constData(), error, sizeof error));
    if (!facts)
        throw PlatformError(error);
    return facts;
}

std::unique_ptr<PerfCounters> LinuxCounterSources::connect(const QString& computer) {
    using Connect = PerfCounters* (*)(const char*, char*, std::size_t);
    const auto connectTo = reinterpret_cast<Connect>(entry("ombrix_pcp_connect"));
    char error[256] = {};
    std::unique_ptr<PerfCounters> counters(
        connectTo(computer.toUtf8().constData(), error, sizeof error));
    if (!counters)
        throw PlatformError(error);
    return counters;
}

} // namespace ombrix::platform
