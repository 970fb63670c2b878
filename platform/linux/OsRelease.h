#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace ombrix::platform {

// The fields of os-release(5) that the program shows.
struct OsRelease {
    QString prettyName; // PRETTY_NAME, else NAME, else "Linux" as os-release(5) defaults
    QString versionId;  // VERSION_ID as written ("12", "24.04"); empty when absent
};

// Shell-style assignments: double quotes with backslash escapes, single
// quotes, bare values (taken to the line's end, blanks and all, where a
// shell would stop at the first); comments and malformed lines skipped.
OsRelease parseOsRelease(QByteArrayView text);

// The first of the files that can be read (/etc/os-release, then
// /usr/lib/os-release); the defaults when none can.
OsRelease readOsRelease(const QStringList& paths = {QStringLiteral("/etc/os-release"),
                                                    QStringLiteral("/usr/lib/os-release")});

// The version record's service-pack text: the distribution's name and one
// space, at most maxBytes bytes, never cutting a UTF-8 character in two.
QByteArray servicePackText(const QString& prettyName, qsizetype maxBytes = 127);

} // namespace ombrix::platform
