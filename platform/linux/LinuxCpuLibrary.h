#pragma once
#include "platform/CpuLibrary.h"
#include "platform/linux/modules/SharedLibrary.h"

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
    const Functions& functions();

    std::string m_name;
    std::mutex m_mutex;
    std::optional<SharedLibrary> m_library;
    std::optional<Functions> m_functions;
};

} // namespace ombrix::platform
