#pragma once
#include <string>
#include <vector>

namespace ombrix::platform {

// What the kernel and the resolver say about the network, as plain records.

struct NetworkInterface {
    unsigned index = 0;
    std::string name;
    bool loopback = false;
};

struct InterfaceAddress {
    std::string address;         // dotted IPv4
    std::string mask;            // dotted, from the prefix length
    bool finiteLifetime = false; // the kernel expires it: a leased address
};

struct ResolverConfig {
    std::string domain;
    std::vector<std::string> nameServers;
};

struct WinsServers {
    std::string primary;
    std::string backup;
};

} // namespace ombrix::platform
