#pragma once
#include "platform/common/VersionRecord.h"

#include <QStringList>

namespace ombrix::platform {

// The first of the files that can be read (/etc/os-release, then
// /usr/lib/os-release); the defaults when none can.
OsRelease readOsRelease(const QStringList& paths = {QStringLiteral("/etc/os-release"),
                                                    QStringLiteral("/usr/lib/os-release")});

} // namespace ombrix::platform
