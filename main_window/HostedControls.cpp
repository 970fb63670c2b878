#include "main_window/HostedControls.h"

namespace ombrix {

QVariant WinsockControl::get(int dispid) {
    switch (dispid) {
    case LocalHostName:
        return m_host.hostName();
    case LocalIP:
        return m_host.ipAddress();
    default:
        unknown(dispid);
    }
}

QVariant SysInfoControl::get(int dispid) {
    switch (dispid) {
    case OSVersion:
        return m_info.osVersion();
    case OSBuild:
        return QVariant::fromValue<qlonglong>(m_info.osBuild());
    default:
        unknown(dispid);
    }
}

} // namespace ombrix
