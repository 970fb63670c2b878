#pragma once
#include <QString>

namespace ombrix::platform {

// What the system-information control reports: the OS version number as the
// system writes it ("12.8", "24.10", "6.1") and the build number.
class SystemInfoProvider {
public:
    virtual ~SystemInfoProvider() = default;
    virtual QString osVersion() const = 0;
    virtual long long osBuild() const = 0;
};

} // namespace ombrix::platform
