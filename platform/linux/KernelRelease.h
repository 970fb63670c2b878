#pragma once
#include "platform/common/VersionRecord.h"

#include <optional>

namespace ombrix::platform {

// The running kernel's version: uname(2) and /proc/version_signature.
std::optional<KernelVersion> runningKernelVersion();

} // namespace ombrix::platform
