#pragma once
#include "platform/SystemInfo.h"

#include <QStringList>

namespace ombrix::platform {

// OS version: the distribution's VERSION_ID as written ("12", "24.04"),
// else the kernel's "major.minor". Build: the kernel's patch level.
class LinuxSystemInfo final : public SystemInfoProvider {
public:
    LinuxSystemInfo();
    explicit LinuxSystemInfo(QStringList osReleasePaths);
    QString osVersion() const override;
    long long osBuild() const override; // 0 when the kernel's version cannot be read

private:
    QStringList m_osReleasePaths;
};

} // namespace ombrix::platform
