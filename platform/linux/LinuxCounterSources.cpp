#include "platform/linux/LinuxCounterSources.h"

#include "platform/PlatformError.h"

namespace ombrix::platform {

LinuxCounterSources::LinuxCounterSources(std::string module) : m_module(std::move(module)) {}

std::unique_ptr<PerfCounters> LinuxCounterSources::connect(const QString& computer) {
    using Connect = PerfCounters* (*)(const char*, char*, std::size_t);
    Connect connectTo = nullptr;
    {
        const std::lock_guard lock(m_mutex);
        if (!m_library)
            // A computer's thread may still wait in it when the program ends.
            m_library.emplace(m_module, "counters module", true);
        connectTo = reinterpret_cast<Connect>(m_library->symbol("ombrix_pcp_connect"));
    }
    char error[256] = {};
    std::unique_ptr<PerfCounters> counters(
        connectTo(computer.toUtf8().constData(), error, sizeof error));
    if (!counters)
        throw PlatformError(error);
    return counters;
}

} // namespace ombrix::platform
