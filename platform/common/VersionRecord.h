#pragma once
// The version record of a Linux system, this computer's or another's, from
// the texts its kernel and os-release(5) give.
#include "platform/VersionInfo.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

namespace ombrix::platform {

struct KernelVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t patch = 0;
};

// The kernel's upstream version from uname's release ("6.1.0-27-amd64").
// Where the distribution's release string hides the patch level (Debian
// writes 6.1.0 for 6.1.115), it is taken from uname's version text
// ("... Debian 6.1.115-1 (2024-11-01)") or from Ubuntu's
// /proc/version_signature ("Ubuntu 5.15.0-91.101-generic 5.15.131").
std::optional<KernelVersion> parseKernelRelease(std::string_view release,
                                                std::string_view version = {},
                                                std::string_view signature = {});

// The fields of os-release(5) that the program shows.
struct OsRelease {
    QString prettyName; // PRETTY_NAME, else NAME, else "Linux" as os-release(5) defaults
    QString versionId;  // VERSION_ID as written ("12", "24.04"); empty when absent
};

// Shell-style assignments: double quotes with backslash escapes, single
// quotes, bare values (taken to the line's end, blanks and all, where a
// shell would stop at the first); comments and malformed lines skipped.
OsRelease parseOsRelease(QByteArrayView text);

// The version record's service-pack text: the distribution's name and one
// space, at most maxBytes bytes, never cutting a UTF-8 character in two.
QByteArray servicePackText(const QString& prettyName, qsizetype maxBytes = 127);

// Neither 1 nor 2, the two platform ids the program names itself, and not
// 0, which an empty record holds: a filled record is told from one that
// was never filled.
inline constexpr std::uint32_t kPlatformIdLinux = 3;

// The record of a Linux system of that kernel and distribution, as any
// computer's version query fills it: the size field as the caller set it.
OSVERSIONINFOA linuxVersionRecord(std::uint32_t size, const KernelVersion& kernel,
                                  const QString& distribution);

} // namespace ombrix::platform
