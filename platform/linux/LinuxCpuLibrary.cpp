#include "platform/linux/LinuxCpuLibrary.h"

#include "platform/PlatformError.h"

namespace ombrix::platform {

LinuxCpuLibrary::LinuxCpuLibrary() : LinuxCpuLibrary("libgetcpu.so") {}

LinuxCpuLibrary::LinuxCpuLibrary(std::string pathOrName) : m_name(std::move(pathOrName)) {}

LinuxCpuLibrary::~LinuxCpuLibrary() = default;

const LinuxCpuLibrary::Functions& LinuxCpuLibrary::functions() {
    std::lock_guard lock(m_mutex);
    if (m_functions)
        return *m_functions;
    if (!m_library)
        m_library.emplace(m_name, "processor library");
    Functions found;
    found.getProcessor =
        reinterpret_cast<int (*)(char*, char*, char*)>(m_library->symbol("GetProcessor"));
    found.getProcessorRawSpeed =
        reinterpret_cast<int (*)(char*)>(m_library->symbol("GetProcessorRawSpeed"));
    found.getProcessorNormSpeed =
        reinterpret_cast<int (*)(char*)>(m_library->symbol("GetProcessorNormSpeed"));
    m_functions = found;
    return *m_functions;
}

// The functions' results are not looked at: what counts is the text they write.
void LinuxCpuLibrary::GetProcessor(char* model, char* vendor, char* extra) {
    functions().getProcessor(model, vendor, extra);
}

void LinuxCpuLibrary::GetProcessorRawSpeed(char* speed) {
    functions().getProcessorRawSpeed(speed);
}

void LinuxCpuLibrary::GetProcessorNormSpeed(char* speed) {
    functions().getProcessorNormSpeed(speed);
}

} // namespace ombrix::platform
