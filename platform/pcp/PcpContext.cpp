#include "platform/pcp/PcpContext.h"

#include <cerrno>
#include <cstdlib>
#include <memory>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

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

// A socket, closed with its owner.
struct Socket {
    int fd = -1;
    ~Socket() {
        if (fd >= 0)
            close(fd);
    }
};

} // namespace

int connectError(const pcp::HostPort& where, double wait) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(where.port);
    if (getaddrinfo(where.host.c_str(), port.c_str(), &hints, &found) != 0 || !found)
        return 0;
    const std::unique_ptr<addrinfo, void (*)(addrinfo*)> addresses(found, freeaddrinfo);
    // Each of its addresses, as libpcp tries them: a refusal from any of
    // them is one, else what the last one gave.
    int error = 0;
    for (const addrinfo* at = found; at; at = at->ai_next) {
        Socket socket{::socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                               at->ai_protocol)};
        if (socket.fd < 0)
            continue;
        int status = connect(socket.fd, at->ai_addr, at->ai_addrlen) == 0 ? 0 : errno;
        if (status == EINPROGRESS) {
            pollfd waiting{socket.fd, POLLOUT, 0};
            status = ETIMEDOUT;
            if (poll(&waiting, 1, static_cast<int>(wait * 1000)) == 1) {
                socklen_t size = sizeof status;
                getsockopt(socket.fd, SOL_SOCKET, SO_ERROR, &status, &size);
            }
        }
        if (status == 0 || status == ECONNREFUSED)
            return status;
        error = status;
    }
    return error;
}

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
        // libpcp reports a host or network without a route as a refusal:
        // a connection of our own, as quick as that one failed, tells.
        const bool quick = !pcp::waitedInVain(m_handle, seconds, connectWait());
        const int own = m_handle == -ECONNREFUSED && quick ? connectError(where, 1.0) : 0;
        throw PcpConnectFailure(
            pcp::connectFailure(m_handle, seconds, connectWait(), lookup, own, where).toStdString(),
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
