#pragma once
#include "platform/CpuLibrary.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace ombrix::platform {

// libgetcpu.so, loaded with dlopen on the first call. The dlopen is made
// from this code, linked into the program, so the program's RUNPATH
// ($ORIGIN) is searched.
class LinuxCpuLibrary final : public CpuLibrary {
public:
    LinuxCpuLibrary(); // by name: "libgetcpu.so"
    explicit LinuxCpuLibrary(std::string pathOrName);
    ~LinuxCpuLibrary() override;

    // Each throws PlatformError naming the library or the function when the
    // library cannot be loaded or lacks it.
    void GetProcessor(char* model, char* vendor, char* extra) override;
    void GetProcessorRawSpeed(char* speed) override;
    void GetProcessorNormSpeed(char* speed) override;

private:
    struct Functions {
        int (*getProcessor)(char*, char*, char*);
        int (*getProcessorRawSpeed)(char*);
        int (*getProcessorNormSpeed)(char*);
    };
    struct Unload {
        void operator()(void* handle) const;
    };

    const Functions& functions();
    void* symbol(const char* name) const;

    std::string m_name;
    std::mutex m_mutex;
    std::unique_ptr<void, Unload> m_handle;
    std::optional<Functions> m_functions;
};

} // namespace ombrix::platform
