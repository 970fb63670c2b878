#include "platform/linux/KernelRelease.h"

#include "platform/linux/KernelFile.h"

#include <algorithm>
#include <string>
#include <sys/utsname.h>

namespace ombrix::platform {

std::optional<KernelVersion> runningKernelVersion() {
    utsname names{};
    if (::uname(&names) != 0)
        return std::nullopt;
    std::string signature = readKernelFile("/proc/version_signature", 256).value_or("");
    signature.erase(std::min(signature.find('\n'), signature.size()));
    while (!signature.empty() && (signature.back() == ' ' || signature.back() == '\n'))
        signature.pop_back();
    return parseKernelRelease(names.release, names.version, signature);
}

} // namespace ombrix::platform
