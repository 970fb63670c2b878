#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <vector>

namespace ombrix::platform {

// A device number as the kernel writes it, "major:minor".
struct DevNum {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    friend bool operator==(const DevNum&, const DevNum&) = default;
};

// One line of /proc/<pid>/mountinfo. Paths are any bytes but zero, and are
// kept as the kernel has them: they name the folder to every system call,
// and are decoded (each sequence that is not UTF-8 as U+FFFD) only to be shown.
struct MountEntry {
    int id = 0;
    int parentId = 0;
    DevNum dev;      // the device the kernel reports for files on this mount
    QByteArray root; // the folder of the file system that is mounted here
    QByteArray mountPoint;
    QString fsType;
    QByteArray source;
    QString superOptions;
};

// The kernel writes space, tab, newline and backslash in paths as octal
// escapes (\040, \011, \012, \134).
QByteArray unescapeMountField(QByteArrayView field);

// Entries in table order; malformed lines are skipped.
std::vector<MountEntry> parseMountInfo(QByteArrayView text);

} // namespace ombrix::platform
