#pragma once
#include <algorithm>
#include <string>

namespace ombrix::platform::pcp {

// "name", "name:port", "[address]:port" or a bare IPv6 address, apart; the
// port is the collector's, 44321 unless given.
struct HostPort {
    std::string host;
    int port = 44321;
};

inline HostPort splitHost(const std::string& typed) {
    HostPort where{typed};
    std::string port;
    if (typed.size() > 1 && typed.front() == '[') {
        const auto close = typed.find(']');
        if (close == std::string::npos)
            return where;
        where.host = typed.substr(1, close - 1);
        if (typed.compare(close + 1, 1, ":") == 0)
            port = typed.substr(close + 2);
    } else if (std::count(typed.begin(), typed.end(), ':') == 1) {
        where.host = typed.substr(0, typed.find(':'));
        port = typed.substr(typed.find(':') + 1);
    }
    if (!port.empty() && port.size() <= 5 &&
        std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        where.port = std::stoi(port);
    return where;
}

} // namespace ombrix::platform::pcp
