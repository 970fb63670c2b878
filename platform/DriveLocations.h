#pragma once
#include <QByteArrayList>
#include <QByteArrayView>

namespace ombrix::platform {

// Where a mounted volume may be a drive, wherever the mount table comes from
// (this computer's, or another's as its collector lists it): never in the
// folders where the system keeps its own runtime, configuration and
// container mounts, and a volume held in memory not at the scratch folders
// (/tmp, /var/tmp) either. mountPoint: the path's bytes.
inline bool isDriveLocation(QByteArrayView mountPoint, bool inMemory) {
    const auto isUnder = [&](QByteArrayView folder) {
        return mountPoint == folder ||
               (mountPoint.startsWith(folder) && mountPoint.size() > folder.size() &&
                mountPoint[folder.size()] == '/');
    };
    static const QByteArrayList systemFolders = {
        "/proc",
        "/sys",
        "/dev",
        "/run",
        "/var/run",
        "/var/lock",
        "/etc",
        "/snap",
        "/var/snap",
        "/var/lib/snapd",
        "/var/lib/docker",
        "/var/lib/containers",
        "/var/lib/kubelet",
        "/var/lib/lxcfs",
    };
    for (const QByteArray& folder : systemFolders)
        if (isUnder(folder))
            return false;
    return !(inMemory && (mountPoint == "/tmp" || mountPoint == "/var/tmp"));
}

} // namespace ombrix::platform
