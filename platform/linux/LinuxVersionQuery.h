#pragma once
#include "platform/VersionInfo.h"
#include "platform/linux/KernelRelease.h"

#include <QString>
#include <QStringList>

namespace ombrix::platform {

// The version record filled from the running kernel and os-release:
// major, minor and build are the kernel's upstream version numbers, the
// service-pack text is the distribution's name and one space.
class LinuxVersionQuery final : public VersionQuery {
public:
    // Neither 1 nor 2, the two platform ids the program names itself, and not
    // 0, which an empty record holds: a filled record is told from one that
    // was never filled.
    static constexpr std::uint32_t kPlatformIdLinux = 3;

    LinuxVersionQuery();
    explicit LinuxVersionQuery(QStringList osReleasePaths);
    // Answers false, record untouched, when the size field is not the
    // record's size or the kernel's version cannot be read.
    bool GetVersionExA(OSVERSIONINFOA& record) const override;

private:
    QStringList m_osReleasePaths;
};

// The record of a Linux system of that kernel and distribution, as any
// computer's version query fills it: the size field as the caller set it.
OSVERSIONINFOA linuxVersionRecord(std::uint32_t size, const KernelVersion& kernel,
                                  const QString& distribution);

} // namespace ombrix::platform
