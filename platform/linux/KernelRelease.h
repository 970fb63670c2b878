#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace ombrix::platform {

struct KernelVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t patch = 0;
};

// The kernel's upstream version from uname's release ("6.1.0-27-amd64").
// Where the distribution's release string hides the patch level (Debian
// writes 6.1.0 for 6.1.115), it is taken from uname's version text
// ("... Debian 6.1.115-1 (2024-11-01)") or from Ubuntu's
// /proc/version_signature ("Ubuntu 5.15.0-91.101-generic 5.15.131").
std::optional<KernelVersion> parseKernelRelease(std::string_view release,
                                                std::string_view version = {},
                                                std::string_view signature = {});

// The running kernel's version: uname(2) and /proc/version_signature.
std::optional<KernelVersion> runningKernelVersion();

} // namespace ombrix::platform
