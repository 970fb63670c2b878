#pragma once
#include <QString>

namespace ombrix::platform {

// The facts behind the Winsock control: the local host name and IP address.
class HostInfoProvider {
public:
    virtual ~HostInfoProvider() = default;
    virtual QString hostName() const = 0;
    virtual QString ipAddress() const = 0;
};

} // namespace ombrix::platform
