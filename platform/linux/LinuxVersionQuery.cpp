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
    record = linuxVersionRecord(record.dwOSVersionInfoSize, *kernel,
                                readOsRelease(m_osReleasePaths).prettyName);
    return true;
}

OSVERSIONINFOA linuxVersionRecord(std::uint32_t size, const KernelVersion& kernel,
                                  const QString& distribution) {
    OSVERSIONINFOA filled;
    filled.dwOSVersionInfoSize = size;
    filled.dwMajorVersion = kernel.major;
    filled.dwMinorVersion = kernel.minor;
    filled.dwBuildNumber = kernel.patch;
    filled.dwPlatformId = LinuxVersionQuery::kPlatformIdLinux;
    const QByteArray text = servicePackText(distribution, sizeof filled.szCSDVersion - 1);
    std::memcpy(filled.szCSDVersion, text.constData(), static_cast<std::size_t>(text.size()));
    return filled;
}

} // namespace ombrix::platform
