// The entry point of libombrix_pcp.so, the module that holds the counters of
// other computers so that the program links libpcp only when one is named.
#include "platform/linux/PcpPerfCounters.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

void boundWaits() {
    // A computer that does not answer is given up within a few seconds,
    // unless the user's environment says otherwise. libpcp reads these once.
    static std::once_flag once;
    std::call_once(once, [] {
        setenv("PMCD_CONNECT_TIMEOUT", "4", 0);
        setenv("PMCD_REQUEST_TIMEOUT", "4", 0);
    });
}

} // namespace

// Returns the counters of host, or nullptr with a one-line reason in error.
extern "C" __attribute__((visibility("default"))) ombrix::platform::PerfCounters*
ombrix_pcp_connect(const char* host, char* error, std::size_t size) {
    boundWaits();
    try {
        return new ombrix::platform::PcpPerfCounters(host);
    } catch (const std::exception& e) {
        std::strncpy(error, e.what(), size - 1);
        error[size - 1] = '\0';
        return nullptr;
    }
}
