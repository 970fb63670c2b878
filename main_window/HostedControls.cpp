#include "main_window/HostedControls.h"

namespace ombrix {

QVariant WinsockControl::get(int dispid) {
    switch (dispid) {
    case 5:
        return m_host.hostName();
    case 6:
        return m_host.ipAddress();
    default:
        unknown(dispid);
    }
}

QVariant SysInfoControl::get(int dispid) {
    switch (dispid) {
    case 11:
        return m_info.osVersion();
    case 12:
        return QVariant::fromValue<qlonglong>(m_info.osBuild());
    default:
        unknown(dispid);
    }
}

} // namespace ombrix
