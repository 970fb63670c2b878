#include "platform/linux/LinuxCpuLibrary.h"

#include "platform/PlatformError.h"

#include <dlfcn.h>
#include <filesystem>

namespace ombrix::platform {

void LinuxCpuLibrary::Unload::operator()(void* handle) const {
    ::dlclose(handle);
}

LinuxCpuLibrary::LinuxCpuLibrary() : LinuxCpuLibrary("libgetcpu.so") {}

LinuxCpuLibrary::LinuxCpuLibrary(std::string pathOrName) : m_name(std::move(pathOrName)) {}

LinuxCpuLibrary::~LinuxCpuLibrary() = default;

void* LinuxCpuLibrary::symbol(const char* name) const {
    ::dlerror();
    void* address = ::dlsym(m_handle.get(), name);
    if (!address)
        throw PlatformError("Can't find entry point " + std::string(name) + " in " + m_name);
    return address;
}

const LinuxCpuLibrary::Functions& LinuxCpuLibrary::functions() {
    std::lock_guard lock(m_mutex);
    if (m_functions)
        return *m_functions;
    if (!m_handle) {
        m_handle.reset(::dlopen(m_name.c_str(), RTLD_NOW | RTLD_LOCAL));
        const char* reason = m_handle ? nullptr : ::dlerror();
        const std::string firstReason = reason ? reason : "unknown reason";
        if (!m_handle && m_name.find('/') == std::string::npos) {
            // A sanitizer's dlopen interceptor makes itself the caller, so the
            // loader skips our RUNPATH; look beside the program as it would.
            std::error_code error;
            const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
            if (!error)
                m_handle.reset(
                    ::dlopen((program.parent_path() / m_name).c_str(), RTLD_NOW | RTLD_LOCAL));
        }
        if (!m_handle)
            throw PlatformError("Cannot load the processor library " + m_name + ": " + firstReason);
    }
    Functions found;
    found.getProcessor = reinterpret_cast<int (*)(char*, char*, char*)>(symbol("GetProcessor"));
    found.getProcessorRawSpeed = reinterpret_cast<int (*)(char*)>(symbol("GetProcessorRawSpeed"));
    found.getProcessorNormSpeed = reinterpret_cast<int (*)(char*)>(symbol("GetProcessorNormSpeed"));
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
