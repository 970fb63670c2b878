#include "platform/linux/network/DhcpLeases.h"

#include "platform/linux/KernelFile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace ombrix::platform {

namespace {

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return !item.empty() && std::find(list.begin(), list.end(), item) != list.end();
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Calls f(fileName, path) for each regular file of a folder; a missing
// folder has none.
template <class F> void forEachFile(const std::string& folder, F&& f) {
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error), end;
    for (; !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error))
            f(it->path().filename().string(), it->path().string());
    }
}

} // namespace

std::vector<DhclientLease> parseDhclientLeases(std::string_view text) {
    std::vector<DhclientLease> leases;
    std::vector<std::string> words;
    std::string word;
    int depth = 0;
    bool inLease = false;
    DhclientLease current;

    auto endWord = [&] {
        if (!word.empty())
            words.push_back(std::move(word));
        word.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            // A quoted string is one word, without its quotes.
            const auto close = text.find('"', i + 1);
            word.append(
                text.substr(i + 1, close == std::string_view::npos ? text.npos : close - i - 1));
            i = close == std::string_view::npos ? text.size() : close;
        } else if (c == '#' && word.empty()) {
            const auto eol = text.find('\n', i);
            i = eol == std::string_view::npos ? text.size() : eol;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            endWord();
        } else if (c == ';') {
            endWord();
            if (inLease && depth == 1 && words.size() >= 2) {
                if (words[0] == "interface")
                    current.interfaceName = words[1];
                else if (words[0] == "fixed-address")
                    current.address = words[1];
            }
            words.clear();
        } else if (c == '{') {
            endWord();
            if (depth == 0 && !words.empty() && words[0] == "lease") {
                inLease = true;
                current = {};
            }
            ++depth;
            words.clear();
        } else if (c == '}') {
            endWord();
            words.clear();
            if (depth > 0)
                --depth;
            if (depth == 0 && inLease) {
                inLease = false;
                if (!current.address.empty())
                    leases.push_back(current);
            }
        } else {
            word += c;
        }
    }
    return leases;
}

std::string parseKeyValueLeaseAddress(std::string_view text) {
    while (!text.empty()) {
        const auto eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (startsWith(line, "ADDRESS=")) {
            line.remove_prefix(8);
            while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
                line.remove_suffix(1);
            return std::string(line);
        }
    }
    return {};
}

bool DhcpLeases::holdsLease(unsigned ifIndex, const std::string& ifName,
                            const std::vector<std::string>& addresses) const {
    if (addresses.empty())
        return false;
    if (contains(
            addresses,
            parseKeyValueLeaseAddress(
                readKernelFile(m_folders.networkd + '/' + std::to_string(ifIndex)).value_or(""))))
        return true;

    bool held = false;
    forEachFile(m_folders.networkManager, [&](const std::string& name, const std::string& path) {
        if (!held && startsWith(name, "internal-") && endsWith(name, '-' + ifName + ".lease"))
            held =
                contains(addresses, parseKeyValueLeaseAddress(readKernelFile(path).value_or("")));
    });
    // Old leases stay in dhclient's files: only one for an address the
    // interface holds now counts.
    forEachFile(m_folders.dhclient, [&](const std::string& name, const std::string& path) {
        if (held || !startsWith(name, "dhclient") || !endsWith(name, ".leases"))
            return;
        for (const auto& lease : parseDhclientLeases(readKernelFile(path).value_or("")))
            held = held || (lease.interfaceName == ifName && contains(addresses, lease.address));
    });
    return held;
}

} // namespace ombrix::platform
