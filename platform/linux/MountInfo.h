#pragma once
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

// One line of /proc/<pid>/mountinfo.
struct MountEntry {
    int id = 0;
    int parentId = 0;
    DevNum dev;   // the device the kernel reports for files on this mount
    QString root; // the folder of the file system that is mounted here
    QString mountPoint;
    QString fsType;
    QString source;
    QString superOptions;
};

// The kernel writes space, tab, newline and backslash in paths as octal
// escapes (\040, \011, \012, \134).
QString unescapeMountField(QByteArrayView field);

// Entries in table order; malformed lines are skipped.
std::vector<MountEntry> parseMountInfo(QByteArrayView text);

} // namespace ombrix::platform
