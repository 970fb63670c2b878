#include "platform/linux/KernelRelease.h"

#include "platform/linux/KernelFile.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <sys/utsname.h>

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

std::optional<KernelVersion> runningKernelVersion() {
    utsname names{};
    if (::uname(&names) != 0)
        return std::nullopt;
    std::string signature = readKernelFile("/proc/version_signature", 256).value_or("");
    signature.erase(std::min(signature.find('\n'), signature.size()));
    while (!signature.empty() && (signature.back() == ' ' || signature.back() == '\n'))
        signature.pop_back();
    return parseKernelRelease(names.release, names.version, signature);
}

} // namespace ombrix::platform
