#pragma once
#include "platform/Dispatch.h"
#include "platform/HostInfo.h"
#include "platform/SystemInfo.h"

namespace ombrix {

// The Winsock control as the main window reads it: 5 the local host name,
// 6 the local IP address.
class WinsockControl final : public platform::Dispatch {
public:
    explicit WinsockControl(const platform::HostInfoProvider& host) : m_host(host) {}
    QVariant get(int dispid) override;

private:
    const platform::HostInfoProvider& m_host;
};

// The system-information control: 11 the OS version number, 12 the build.
class SysInfoControl final : public platform::Dispatch {
public:
    explicit SysInfoControl(const platform::SystemInfoProvider& info) : m_info(info) {}
    QVariant get(int dispid) override;

private:
    const platform::SystemInfoProvider& m_info;
};

} // namespace ombrix
