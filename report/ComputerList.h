#pragma once
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstddef>

namespace ombrix {

// A list of computers as sysadmins keep them: one name a line; "#" starts a
// comment that runs to the line's end; blank lines, and spaces around a
// name, are left out.
QStringList ComputerNamesIn(QStringView text);

// Ten thousand names are a few hundred kilobytes: a file larger than this is
// no list of computers, and is not read whole into memory.
inline constexpr qint64 kMostComputerListBytes = 16 * 1024 * 1024;

// The names in the file at path ("-": standard input), or, when it cannot
// be read or is no text, why not in a few words.
struct ComputerList {
    QStringList names;
    QString failure;
};
ComputerList ReadComputerList(const QString& path);

// One computer however it was named: "Web1", "\\\\web1 " and "web1:44321"
// are the same collector, and are read once.
QString ComputerKey(const QString& typed);

// How many computers the names are, each counted once.
std::size_t CountComputers(const QStringList& names);

} // namespace ombrix
