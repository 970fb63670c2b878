#include "platform/linux/LinuxVersionQuery.h"

#include "platform/linux/KernelRelease.h"
#include "platform/linux/OsRelease.h"

#include <cstring>

namespace ombrix::platform {

LinuxVersionQuery::LinuxVersionQuery()
    : m_osReleasePaths{QStringLiteral("/etc/os-release"), QStringLiteral("/usr/lib/os-release")} {}

LinuxVersionQuery::LinuxVersionQuery(QStringList osReleasePaths)
    : m_osReleasePaths(std::move(osReleasePaths)) {}

bool LinuxVersionQuery::GetVersionExA(OSVERSIONINFOA& record) const {
    if (record.dwOSVersionInfoSize != sizeof(OSVERSIONINFOA))
        return false;
    const auto kernel = runningKernelVersion();
    if (!kernel)
        return false;
    OSVERSIONINFOA filled;
    filled.dwOSVersionInfoSize = record.dwOSVersionInfoSize;
    filled.dwMajorVersion = kernel->major;
    filled.dwMinorVersion = kernel->minor;
    filled.dwBuildNumber = kernel->patch;
    filled.dwPlatformId = kPlatformIdLinux;
    const QByteArray text =
        servicePackText(readOsRelease(m_osReleasePaths).prettyName, sizeof filled.szCSDVersion - 1);
    std::memcpy(filled.szCSDVersion, text.constData(), static_cast<std::size_t>(text.size()));
    record = filled;
    return true;
}

} // namespace ombrix::platform
