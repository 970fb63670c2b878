#include "platform/linux/LinuxSystemInfo.h"

#include "platform/linux/KernelRelease.h"
#include "platform/linux/OsRelease.h"

namespace ombrix::platform {

LinuxSystemInfo::LinuxSystemInfo()
    : m_osReleasePaths{QStringLiteral("/etc/os-release"), QStringLiteral("/usr/lib/os-release")} {}

LinuxSystemInfo::LinuxSystemInfo(QStringList osReleasePaths)
    : m_osReleasePaths(std::move(osReleasePaths)) {}

QString LinuxSystemInfo::osVersion() const {
    const QString versionId = readOsRelease(m_osReleasePaths).versionId;
    if (!versionId.isEmpty())
        return versionId;
    if (const auto kernel = runningKernelVersion())
        return QStringLiteral("%1.%2").arg(kernel->major).arg(kernel->minor);
    return {};
}

long long LinuxSystemInfo::osBuild() const {
    const auto kernel = runningKernelVersion();
    return kernel ? kernel->patch : 0;
}

} // namespace ombrix::platform
