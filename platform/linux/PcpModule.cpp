// The entry point of libombrix_pcp.so, the module that holds the counters of
// other computers so that the program links libpcp only when one is named.
#include "platform/linux/PcpPerfCounters.h"

#include <cstring>

// Returns the counters of host, or nullptr with a one-line reason in error.
extern "C" __attribute__((visibility("default"))) ombrix::platform::PerfCounters*
ombrix_pcp_connect(const char* host, char* error, std::size_t size) {
    try {
        return new ombrix::platform::PcpPerfCounters(host);
    } catch (const std::exception& e) {
        std::strncpy(error, e.what(), size - 1);
        error[size - 1] = '\0';
        return nullptr;
    }
}
