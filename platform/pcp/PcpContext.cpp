#include "platform/pcp/PcpContext.h"

#include <cerrno>
#include <cstdlib>

#include <netdb.h>
#include <time.h>

// libpcp's wait for each answer: it reads PMCD_REQUEST_TIMEOUT on the first
// call, and until then waits 10 s for a collector's greeting whatever the
// environment says.
extern "C" double __pmRequestTimeout(void);

namespace ombrix::platform {
namespace {

// How long libpcp waits for a connection: PMCD_CONNECT_TIMEOUT where that is
// shorter than libpcp's own 5 s, which libpcp 6.0 keeps whatever it says.
double connectWait() {
    const char* text = std::getenv("PMCD_CONNECT_TIMEOUT");
    const double wait = text ? std::strtod(text, nullptr) : 0;
    return wait > 0 && wait < 5 ? wait : 5;
}

} // namespace

double monotonicSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

int resolve(const std::string& host) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (found)
        freeaddrinfo(found);
    return status;
}

PcpContext::PcpContext(const std::string& host) {
    // Before the first connection: a collector that takes the connection
    // and never greets is given up as one that stops answering.
    __pmRequestTimeout();
    if (const std::string why = pcp::portProblem(pcp::splitHost(host)); !why.empty())
        throw PcpConnectFailure(why, false);
    const double start = monotonicSeconds();
    m_handle = pmNewContext(PM_CONTEXT_HOST, host.c_str());
    if (m_handle < 0) {
        const pcp::HostPort where = pcp::splitHost(host);
        const int lookup = m_handle == -EHOSTUNREACH ? resolve(where.host) : 0;
        const double seconds = monotonicSeconds() - start;
        throw PcpConnectFailure(
            pcp::connectFailure(m_handle, seconds, connectWait(), lookup, where).toStdString(),
            pcp::waitedInVain(m_handle, seconds, connectWait()));
    }
}

PcpContext::~PcpContext() {
    pmDestroyContext(m_handle);
}

int lookUpMetrics(const std::vector<std::string>& names, pcp::Metrics& metrics) {
    std::vector<const char*> namePointers;
    for (const auto& name : names)
        namePointers.push_back(name.c_str());
    std::vector<pmID> ids(names.size(), PM_ID_NULL);
    const int found = pmLookupName(static_cast<int>(names.size()), namePointers.data(), ids.data());
    if (found < 0 && found != PM_ERR_NAME)
        return found;
    std::vector<pmID> foundIds;
    for (pmID id : ids)
        if (id != PM_ID_NULL)
            foundIds.push_back(id);
    std::vector<pmDesc> descs(foundIds.size());
    for (auto& desc : descs)
        desc.pmid = PM_ID_NULL; // stays so where the computer has no descriptor
    if (!foundIds.empty()) {
        const int described =
            pmLookupDescs(static_cast<int>(foundIds.size()), foundIds.data(), descs.data());
        if (described < 0 && foundIds.size() > 1)
            return described;
    }
    std::size_t next = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (ids[i] == PM_ID_NULL)
            continue;
        const pmDesc& desc = descs[next++];
        if (desc.pmid == ids[i])
            metrics.emplace(names[i], desc);
    }
    return 0;
}

} // namespace ombrix::platform
