#pragma once
// The keys under which the network report finds a machine's TCP/IP
// configuration (relative to the Services key the views are mounted at),
// and the values they hold, for the views that serve them.
#include "platform/Registry.h"
#include "platform/RegistryProvider.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ombrix::platform {

// The key names of the interfaces of those names, given in interface-index
// order: a name that can be a key name of its own stays as it is; one that
// holds bytes that are not UTF-8, a "\", or escapes of its own, or that
// differs only in case from an earlier one, is escaped (EscapedKeyName.h),
// so that every interface has a key of its own.
std::vector<std::string> adapterKeyNames(const std::vector<std::string>& names);

namespace network_keys {

// Where the views are mounted, under HKEY_LOCAL_MACHINE.
constexpr std::string_view kMountPath = "SYSTEM\\CurrentControlSet\\Services";

constexpr std::string_view kTcpipParameters = "Tcpip\\Parameters";
constexpr std::string_view kAdapters = "NetBT\\Adapters";
constexpr std::string_view kAdapterPrefix = "NetBT\\Adapters\\";
constexpr std::string_view kTcpipSuffix = "\\Parameters\\Tcpip";

inline bool sameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

inline bool startsWithText(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && sameText(text.substr(0, prefix.size()), prefix);
}

inline bool endsWithText(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           sameText(text.substr(text.size() - suffix.size()), suffix);
}

inline RegistryValueData textValue(std::string name, std::string_view text) {
    RegistryValueData value{std::move(name), REG_SZ, {text.begin(), text.end()}};
    value.data.push_back(0);
    return value;
}

inline RegistryValueData multiTextValue(std::string name, const std::vector<std::string>& texts) {
    RegistryValueData value{std::move(name), REG_MULTI_SZ, {}};
    for (const auto& text : texts) {
        value.data.insert(value.data.end(), text.begin(), text.end());
        value.data.push_back(0);
    }
    value.data.push_back(0);
    return value;
}

inline RegistryValueData dwordValue(std::string name, std::uint32_t number) {
    RegistryValueData value{std::move(name), REG_DWORD, std::vector<unsigned char>(4)};
    for (int i = 0; i < 4; ++i)
        value.data[static_cast<std::size_t>(i)] = static_cast<unsigned char>(number >> (8 * i));
    return value;
}

} // namespace network_keys
} // namespace ombrix::platform
