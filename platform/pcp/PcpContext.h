#pragma once
#include "platform/PlatformError.h"
#include "platform/pcp/PcpMapping.h"

#include <pcp/pmapi.h>

#include <string>
#include <vector>

namespace ombrix::platform {

// Why no context could be made, in the user's words, and whether the
// attempt waited in vain for an answer rather than failing at once.
class PcpConnectFailure : public PlatformError {
public:
    PcpConnectFailure(const std::string& reason, bool waited)
        : PlatformError(reason), m_waited(waited) {}
    bool waited() const { return m_waited; }

private:
    bool m_waited;
};

// A libpcp host context, destroyed with its owner however that ends.
class PcpContext {
public:
    // host: "name", "name:port" or an address. Throws PcpConnectFailure when
    // no context can be made.
    explicit PcpContext(const std::string& host);
    ~PcpContext();
    PcpContext(const PcpContext&) = delete;
    PcpContext& operator=(const PcpContext&) = delete;
    int handle() const { return m_handle; }
    void use() const { pmUseContext(m_handle); }

private:
    int m_handle;
};

// Adds those of the names the computer has to metrics, with their
// descriptors, in one request for the names and one for the descriptors.
// libpcp's error code when the computer did not answer, else 0.
int lookUpMetrics(const std::vector<std::string>& names, pcp::Metrics& metrics);

// getaddrinfo's status for the host's name: 0 when it has addresses.
int resolve(const std::string& host);

// The error a connection of our own to where gets (0 when it is taken, or
// the name has no address), waiting at most wait seconds for its answer:
// what libpcp words as a refusal may be a host or network without a route.
int connectError(const pcp::HostPort& where, double wait);

double monotonicSeconds();

} // namespace ombrix::platform
