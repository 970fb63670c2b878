#include "platform/linux/network/SambaWins.h"

#include <cctype>
#include <string>
#include <vector>

namespace ombrix::platform {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// Samba compares parameter names without case and without blanks.
std::string canonicalName(std::string_view name) {
    std::string result;
    for (char c : name)
        if (!std::isspace(static_cast<unsigned char>(c)))
            result += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

} // namespace

WinsServers parseSambaWins(std::string_view smbConf) {
    // Join continued lines first: a line ending in a backslash goes on.
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < smbConf.size(); ++i) {
        const char c = smbConf[i];
        if (c == '\\' && i + 1 < smbConf.size() && smbConf[i + 1] == '\n') {
            ++i;
            continue;
        }
        if (c == '\n')
            lines.emplace_back();
        else
            lines.back() += c;
    }

    std::string servers;
    bool inGlobal = true; // settings before any section count as global
    for (const auto& raw : lines) {
        const std::string_view line = trimmed(raw);
        if (line.empty() || line.front() == '#' || line.front() == ';')
            continue;
        if (line.front() == '[') {
            const auto close = line.find(']');
            inGlobal = canonicalName(line.substr(1, close == std::string_view::npos
                                                        ? std::string_view::npos
                                                        : close - 1)) == "global";
            continue;
        }
        const auto equals = line.find('=');
        if (!inGlobal || equals == std::string_view::npos)
            continue;
        if (canonicalName(line.substr(0, equals)) == "winsserver")
            servers = std::string(trimmed(line.substr(equals + 1))); // the last setting wins
    }

    // Entries are separated by blanks or commas; "tag:address" names a group
    // (one colon only: more make an IPv6 address).
    WinsServers wins;
    std::string entry;
    int found = 0;
    auto take = [&] {
        if (entry.empty())
            return;
        const auto colon = entry.find(':');
        const bool tagged = colon != std::string::npos && colon == entry.rfind(':');
        std::string address = tagged ? entry.substr(colon + 1) : entry;
        if (found == 0)
            wins.primary = address;
        else if (found == 1)
            wins.backup = address;
        ++found;
        entry.clear();
    };
    for (char c : servers) {
        if (c == ',' || std::isspace(static_cast<unsigned char>(c)))
            take();
        else
            entry += c;
    }
    take();
    return wins;
}

} // namespace ombrix::platform
