#pragma once
#include "platform/VersionInfo.h"
#include "platform/common/VersionRecord.h"

#include <QString>
#include <QStringList>

namespace ombrix::platform {

// The version record filled from the running kernel and os-release:
// major, minor and build are the kernel's upstream version numbers, the
// service-pack text is the distribution's name and one space.
class LinuxVersionQuery final : public VersionQuery {
public:
    LinuxVersionQuery();
    explicit LinuxVersionQuery(QStringList osReleasePaths);
    // Answers false, record untouched, when the size field is not the
    // record's size or the kernel's version cannot be read.
    bool GetVersionExA(OSVERSIONINFOA& record) const override;

private:
    QStringList m_osReleasePaths;
};

} // namespace ombrix::platform
