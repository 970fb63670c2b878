#include "platform/linux/modules/SharedLibrary.h"

#include "platform/PlatformError.h"

#include <dlfcn.h>
#include <filesystem>

namespace ombrix::platform {

void SharedLibrary::Unload::operator()(void* handle) const {
    ::dlclose(handle);
}

SharedLibrary::SharedLibrary(const std::string& nameOrPath, const std::string& what,
                             bool staysLoaded)
    : m_name(nameOrPath) {
    const int flags = RTLD_NOW | RTLD_LOCAL | (staysLoaded ? RTLD_NODELETE : 0);
    m_handle.reset(::dlopen(m_name.c_str(), flags));
    const char* reason = m_handle ? nullptr : ::dlerror();
    const std::string firstReason = reason ? reason : "unknown reason";
    if (!m_handle && m_name.find('/') == std::string::npos) {
        // A sanitizer's dlopen interceptor makes itself the caller, so the
        // loader skips our RUNPATH; look beside the program as it would.
        std::error_code error;
        const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
        if (!error)
            m_handle.reset(::dlopen((program.parent_path() / m_name).c_str(), flags));
    }
    if (!m_handle)
        throw PlatformError("Cannot load the " + what + " " + m_name + ": " + firstReason);
}

void* SharedLibrary::symbol(const char* name) const {
    ::dlerror();
    void* address = ::dlsym(m_handle.get(), name);
    if (!address)
        throw PlatformError("Can't find entry point " + std::string(name) + " in " + m_name);
    return address;
}

} // namespace ombrix::platform
