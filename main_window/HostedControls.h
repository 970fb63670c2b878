#pragma once
#include "platform/Dispatch.h"
#include "platform/HostInfo.h"
#include "platform/SystemInfo.h"

namespace ombrix {

// The Winsock control as the main window reads it.
class WinsockControl final : public platform::Dispatch {
public:
    static constexpr int LocalHostName = 5;
    static constexpr int LocalIP = 6;

    explicit WinsockControl(const platform::HostInfoProvider& host) : m_host(host) {}
    QVariant get(int dispid) override;

private:
    const platform::HostInfoProvider& m_host;
};

// The system-information control: the OS version number and build.
class SysInfoControl final : public platform::Dispatch {
public:
    static constexpr int OSVersion = 11;
    static constexpr int OSBuild = 12;

    explicit SysInfoControl(const platform::SystemInfoProvider& info) : m_info(info) {}
    QVariant get(int dispid) override;

private:
    const platform::SystemInfoProvider& m_info;
};

} // namespace ombrix
