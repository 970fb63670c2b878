#include "platform/linux/LinuxVersionQuery.h"

#include "platform/linux/KernelRelease.h"
#include "platform/linux/OsRelease.h"

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

} // namespace ombrix::platform
