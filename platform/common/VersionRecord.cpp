#include "platform/common/VersionRecord.h"

#include <QList>

#include <charconv>
#include <cstring>

namespace ombrix::platform {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// One number at the front of text; text moves past it.
std::optional<std::uint32_t> takeNumber(std::string_view& text) {
    std::uint32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end == text.data())
        return std::nullopt;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return value;
}

// "major.minor[.patch]" at the front of text.
std::optional<KernelVersion> leadingVersion(std::string_view text, bool needPatch) {
    KernelVersion v;
    const auto major = takeNumber(text);
    if (!major || text.empty() || text.front() != '.')
        return std::nullopt;
    text.remove_prefix(1);
    const auto minor = takeNumber(text);
    if (!minor)
        return std::nullopt;
    v.major = *major;
    v.minor = *minor;
    if (!text.empty() && text.front() == '.') {
        text.remove_prefix(1);
        if (const auto patch = takeNumber(text))
            v.patch = *patch;
        else if (needPatch)
            return std::nullopt;
    } else if (needPatch) {
        return std::nullopt;
    }
    return v;
}

// The patch level of the first word of text that reads major.minor.patch.
std::optional<std::uint32_t> upstreamPatch(std::string_view text, const KernelVersion& release) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!isDigit(text[i]) || (i > 0 && text[i - 1] != ' '))
            continue;
        if (auto v = leadingVersion(text.substr(i), true);
            v && v->major == release.major && v->minor == release.minor)
            return v->patch;
    }
    return std::nullopt;
}

// The value of one assignment's right-hand side.
QString unquote(QByteArrayView raw) {
    QByteArray value;
    char quote = 0;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (quote == '\'') {
            if (c == '\'')
                quote = 0;
            else
                value += c;
        } else if (c == '\\' && i + 1 < raw.size() &&
                   (quote == 0 || QByteArrayView("\"\\$`").contains(raw[i + 1]))) {
            value += raw[++i];
        } else if (c == '"') {
            quote = quote == '"' ? 0 : '"';
        } else if (c == '\'' && quote == 0) {
            quote = '\'';
        } else {
            value += c;
        }
    }
    return QString::fromUtf8(value);
}

} // namespace

std::optional<KernelVersion> parseKernelRelease(std::string_view release, std::string_view version,
                                                std::string_view signature) {
    auto v = leadingVersion(release, false);
    if (!v)
        return std::nullopt;
    if (v->patch == 0) {
        // Ubuntu's signature ends in the upstream version; Debian names it in uname -v.
        const auto lastSpace = signature.find_last_of(' ');
        const std::string_view lastWord =
            lastSpace == std::string_view::npos ? signature : signature.substr(lastSpace + 1);
        if (auto patch = upstreamPatch(lastWord, *v))
            v->patch = *patch;
        else if (auto fromVersion = upstreamPatch(version, *v))
            v->patch = *fromVersion;
    }
    return v;
}

OsRelease parseOsRelease(QByteArrayView text) {
    QString prettyName, name;
    OsRelease release;
    for (const QByteArrayView rawLine : QByteArray(text.data(), text.size()).split('\n')) {
        const QByteArrayView line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0)
            continue;
        const QByteArrayView key = line.first(equals);
        const QString value = unquote(line.sliced(equals + 1));
        if (key == "PRETTY_NAME")
            prettyName = value;
        else if (key == "NAME")
            name = value;
        else if (key == "VERSION_ID")
            release.versionId = value;
    }
    release.prettyName = !prettyName.isEmpty() ? prettyName
                         : !name.isEmpty()     ? name
                                               : QStringLiteral("Linux");
    return release;
}

QByteArray servicePackText(const QString& prettyName, qsizetype maxBytes) {
    if (maxBytes <= 0)
        return {};
    QByteArray text = prettyName.toUtf8();
    qsizetype keep = text.size();
    if (keep > maxBytes - 1) {
        keep = maxBytes - 1;
        while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80)
            --keep; // text[keep] continues a character: leave that character out whole
    }
    text.truncate(keep);
    text += ' ';
    return text;
}

OSVERSIONINFOA linuxVersionRecord(std::uint32_t size, const KernelVersion& kernel,
                                  const QString& distribution) {
    OSVERSIONINFOA filled;
    filled.dwOSVersionInfoSize = size;
    filled.dwMajorVersion = kernel.major;
    filled.dwMinorVersion = kernel.minor;
    filled.dwBuildNumber = kernel.patch;
    filled.dwPlatformId = kPlatformIdLinux;
    const QByteArray text = servicePackText(distribution, sizeof filled.szCSDVersion - 1);
    std::memcpy(filled.szCSDVersion, text.constData(), static_cast<std::size_t>(text.size()));
    return filled;
}

} // namespace ombrix::platform
