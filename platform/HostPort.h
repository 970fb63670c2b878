#pragma once
#include <algorithm>
#include <charconv>
#include <optional>
#include <string>

namespace ombrix::platform::pcp {

// "name", "name:port", "[address]:port" or a bare IPv6 address, apart; the
// port is the collector's, 44321 unless given.
struct HostPort {
    std::string host;
    int port = 44321;
    // What was typed after the colon when it is no port: a port is a
    // decimal number from 1 to 65535, without spaces or sign.
    std::optional<std::string> badPort;
};

inline HostPort splitHost(const std::string& typed) {
    HostPort where;
    where.host = typed;
    std::string port;
    if (typed.size() > 1 && typed.front() == '[') {
        const auto close = typed.find(']');
        if (close == std::string::npos)
            return where;
        where.host = typed.substr(1, close - 1);
        port = typed.substr(close + 1);
        if (port.empty())
            return where;
        if (port.front() != ':') { // a port only after a colon
            where.badPort = std::move(port);
            return where;
        }
        port.erase(0, 1);
    } else if (std::count(typed.begin(), typed.end(), ':') == 1) {
        where.host = typed.substr(0, typed.find(':'));
        port = typed.substr(typed.find(':') + 1);
    } else {
        return where;
    }
    unsigned number = 0;
    const char* end = port.data() + port.size();
    const auto [stop, error] = std::from_chars(port.data(), end, number);
    if (port.empty() || error != std::errc() || stop != end || number < 1 || number > 65535)
        where.badPort = std::move(port);
    else
        where.port = static_cast<int>(number);
    return where;
}

// Why the computer cannot be reached at the port typed; empty where the
// port is one, or none was typed.
inline std::string portProblem(const HostPort& where) {
    if (!where.badPort)
        return {};
    if (where.badPort->empty())
        return "no port follows the colon (a port is a number from 1 to 65535)";
    return "\"" + *where.badPort + "\" is not a port (a port is a number from 1 to 65535)";
}

} // namespace ombrix::platform::pcp
