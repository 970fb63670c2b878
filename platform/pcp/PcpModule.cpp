// The entry points of libombrix_pcp.so, the module that reads other
// computers so that the program links libpcp only when one is named.
#include "platform/pcp/PcpComputerFacts.h"
#include "platform/pcp/PcpPerfCounters.h"

#include <cstring>

namespace {

// A new Made for host, or nullptr with a one-line reason in error.
template <class Made> Made* made(const char* host, char* error, std::size_t size) {
    try {
        return new Made(host);
    } catch (const std::exception& e) {
        std::strncpy(error, e.what(), size - 1);
        error[size - 1] = '\0';
        return nullptr;
    }
}

} // namespace

// libpcp exports its configuration (PCP_*) into the environment the first
// time it reads it; the caller asks for it here, on a thread of its choice.
extern "C" __attribute__((visibility("default"))) void ombrix_pcp_prepare() {
    pmGetConfig("PCP_VAR_DIR");
}

// Returns the counters of host, or nullptr with a one-line reason in error.
extern "C" __attribute__((visibility("default"))) ombrix::platform::PerfCounters*
ombrix_pcp_connect(const char* host, char* error, std::size_t size) {
    return made<ombrix::platform::PcpPerfCounters>(host, error, size);
}

// Returns the facts of host, or nullptr with a one-line reason in error.
extern "C" __attribute__((visibility("default"))) ombrix::platform::ComputerFacts*
ombrix_pcp_facts(const char* host, char* error, std::size_t size) {
    return made<ombrix::platform::PcpComputerFacts>(host, error, size);
}
