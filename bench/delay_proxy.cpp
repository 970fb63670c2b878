// Forwards TCP connections to another address, holding back what passes
// each way for a fixed time: a stand-in for a long network path where the
// kernel offers no netem. Order is kept; a close passes on after the delay.
//
//     delay_proxy LISTEN_HOST LISTEN_PORT TARGET_HOST TARGET_PORT DELAY_MS
//
// LISTEN_PORT may be a range, FIRST-LAST: one proxy then stands for many
// computers, one a port, all forwarded to the same target. Prints "ready"
// once it listens. One thread and one epoll set for all connections, so
// that a thousand computers cost the machine little besides the program
// measured against them.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <queue>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A descriptor, closed with its owner.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    Fd(Fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

// What one side sent, on its way to the other: chunks in order, each
// passed on once its time has come; an empty chunk is the close.
struct Direction {
    struct Chunk {
        Clock::time_point due;
        std::string data; // empty: the sender closed
        std::size_t sent = 0;
    };
    std::deque<Chunk> chunks;
    bool readDone = false;  // the sender closed, or failed
    bool writeDone = false; // the close has been passed on
};

struct Connection {
    Fd client;
    Fd server;
    bool connected = false;
    std::uint32_t watched[2] = {0, 0}; // the events epoll watches, client's and server's
    int attempt = 0;                   // connection attempts to the target so far
    Clock::time_point giveUpAt;
    Direction up;   // client to server
    Direction down; // server to client
};

enum Side : std::uint64_t { kClient = 0, kServer = 1, kListener = 2 };
enum class Timer { Pass, Retry, Attempt };

struct Due {
    Clock::time_point when;
    std::uint64_t id;
    Timer what;
    int attempt;
    bool operator>(const Due& other) const { return when > other.when; }
};

class Proxy {
public:
    Proxy(sockaddr_in target, milliseconds delay)
        : m_epoll(epoll_create1(EPOLL_CLOEXEC)), m_target(target), m_delay(delay) {}

    bool listen(const sockaddr_in& at) {
        Fd fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        const int on = 1;
        setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 ||
            ::listen(fd.get(), 1024) != 0)
            return false;
        watch(fd.get(), EPOLLIN, (m_listeners.size() << 2) | kListener, EPOLL_CTL_ADD);
        m_listeners.push_back(std::move(fd));
        return true;
    }

    [[noreturn]] void run() {
        std::vector<epoll_event> events(1024);
        for (;;) {
            int wait = -1;
            if (!m_timers.empty())
                wait = static_cast<int>(std::max<long>(
                    0,
                    std::chrono::ceil<milliseconds>(m_timers.top().when - Clock::now()).count()));
            const int count =
                epoll_wait(m_epoll.get(), events.data(), static_cast<int>(events.size()), wait);
            for (int i = 0; i < count; ++i)
                handle(events[static_cast<std::size_t>(i)]);
            const Clock::time_point now = Clock::now();
            while (!m_timers.empty() && m_timers.top().when <= now) {
                const Due due = m_timers.top();
                m_timers.pop();
                fire(due);
            }
        }
    }

private:
    void watch(int fd, std::uint32_t events, std::uint64_t key, int op) {
        epoll_event event{};
        event.events = events;
        event.data.u64 = key;
        epoll_ctl(m_epoll.get(), op, fd, &event);
    }

    void handle(const epoll_event& event) {
        const std::uint64_t key = event.data.u64;
        if ((key & 3) == kListener) {
            accept(m_listeners[key >> 2].get());
            return;
        }
        const std::uint64_t id = key >> 2;
        const auto found = m_connections.find(id);
        if (found == m_connections.end())
            return;
        Connection& c = *found->second;
        const bool client = (key & 3) == kClient;
        if (!client && !c.connected) {
            if (event.events & (EPOLLOUT | EPOLLERR | EPOLLHUP))
                connected(id, c);
            return;
        }
        if (event.events & (EPOLLIN | EPOLLHUP | EPOLLERR))
            receive(id, c, client);
        if (m_connections.count(id) && (event.events & EPOLLOUT))
            flush(id, c);
    }

    void accept(int listener) {
        for (;;) {
            Fd client(accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
            if (client.get() < 0)
                return;
            const std::uint64_t id = ++m_lastId;
            auto c = std::make_unique<Connection>();
            c->client = std::move(client);
            // A target whose queue of connections is full drops the attempt,
            // and the kernel tries again only after a second: a fresh attempt
            // soon stands for a computer of its own, which would have taken
            // it at once.
            c->giveUpAt = Clock::now() + std::chrono::seconds(10);
            const int fd = c->client.get();
            c->watched[kClient] = EPOLLIN;
            m_connections.emplace(id, std::move(c));
            watch(fd, EPOLLIN, (id << 2) | kClient, EPOLL_CTL_ADD);
            attempt(id, *m_connections[id]);
        }
    }

    void attempt(std::uint64_t id, Connection& c) {
        c.server = Fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        ++c.attempt;
        const int status =
            connect(c.server.get(), reinterpret_cast<const sockaddr*>(&m_target), sizeof m_target);
        if (status != 0 && errno != EINPROGRESS) {
            retryLater(id, c);
            return;
        }
        watch(c.server.get(), EPOLLOUT, (id << 2) | kServer, EPOLL_CTL_ADD);
        c.watched[kServer] = EPOLLOUT;
        m_timers.push({Clock::now() + milliseconds(100), id, Timer::Attempt, c.attempt});
    }

    void retryLater(std::uint64_t id, Connection& c) {
        c.server = Fd(); // which epoll forgets with it
        c.watched[kServer] = 0;
        if (Clock::now() > c.giveUpAt) {
            m_connections.erase(id);
            return;
        }
        m_timers.push({Clock::now() + milliseconds(50), id, Timer::Retry, c.attempt});
    }

    void connected(std::uint64_t id, Connection& c) {
        int error = 0;
        socklen_t size = sizeof error;
        getsockopt(c.server.get(), SOL_SOCKET, SO_ERROR, &error, &size);
        if (error != 0) {
            retryLater(id, c);
            return;
        }
        c.connected = true;
        const int on = 1;
        setsockopt(c.client.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        setsockopt(c.server.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        flush(id, c);
    }

    void receive(std::uint64_t id, Connection& c, bool client) {
        Direction& d = client ? c.up : c.down;
        const int fd = client ? c.client.get() : c.server.get();
        if (d.readDone)
            return;
        char buffer[65536];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        const Clock::time_point due = Clock::now() + m_delay;
        d.chunks.push_back(
            {due, got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string()});
        if (got <= 0) {
            d.readDone = true;
            updateInterest(id, c);
        }
        m_timers.push({due, id, Timer::Pass, 0});
    }

    void fire(const Due& due) {
        const auto found = m_connections.find(due.id);
        if (found == m_connections.end())
            return;
        Connection& c = *found->second;
        switch (due.what) {
        case Timer::Pass:
            if (c.connected)
                flush(due.id, c);
            break;
        case Timer::Retry:
            if (!c.connected && due.attempt == c.attempt)
                attempt(due.id, c);
            break;
        case Timer::Attempt:
            if (!c.connected && due.attempt == c.attempt) {
                c.server = Fd();
                c.watched[kServer] = 0;
                if (Clock::now() > c.giveUpAt)
                    m_connections.erase(due.id);
                else
                    attempt(due.id, c);
            }
            break;
        }
    }

    // Passes on each direction's chunks whose time has come, and ends the
    // connection once both closes have passed or a side failed.
    void flush(std::uint64_t id, Connection& c) {
        if (!c.connected)
            return;
        const Clock::time_point now = Clock::now();
        for (bool up : {true, false}) {
            Direction& d = up ? c.up : c.down;
            const int to = up ? c.server.get() : c.client.get();
            while (!d.chunks.empty() && d.chunks.front().due <= now) {
                Direction::Chunk& chunk = d.chunks.front();
                if (chunk.data.empty()) {
                    shutdown(to, SHUT_WR);
                    d.writeDone = true;
                    d.chunks.pop_front();
                    continue;
                }
                const ssize_t sent = ::send(to, chunk.data.data() + chunk.sent,
                                            chunk.data.size() - chunk.sent, MSG_NOSIGNAL);
                if (sent < 0 && errno == EAGAIN)
                    break;
                if (sent < 0) {
                    m_connections.erase(id);
                    return;
                }
                chunk.sent += static_cast<std::size_t>(sent);
                if (chunk.sent == chunk.data.size())
                    d.chunks.pop_front();
            }
        }
        if (c.up.writeDone && c.down.writeDone) {
            m_connections.erase(id);
            return;
        }
        updateInterest(id, c);
    }

    // Reads while the side has not closed; waits to write where a due
    // chunk did not fit. A side with nothing to wait for leaves the epoll
    // set, which would otherwise report its hang-up again and again.
    void updateInterest(std::uint64_t id, Connection& c) {
        const Clock::time_point now = Clock::now();
        const auto blocked = [&](const Direction& d) {
            return c.connected && !d.chunks.empty() && d.chunks.front().due <= now;
        };
        setInterest(id, c, kClient,
                    (c.up.readDone ? 0u : EPOLLIN) | (blocked(c.down) ? EPOLLOUT : 0u));
        if (c.connected)
            setInterest(id, c, kServer,
                        (c.down.readDone ? 0u : EPOLLIN) | (blocked(c.up) ? EPOLLOUT : 0u));
    }

    void setInterest(std::uint64_t id, Connection& c, Side side, std::uint32_t events) {
        std::uint32_t& watched = c.watched[side];
        if (events == watched)
            return;
        const int fd = side == kClient ? c.client.get() : c.server.get();
        watch(fd, events, (id << 2) | side,
              events == 0    ? EPOLL_CTL_DEL
              : watched == 0 ? EPOLL_CTL_ADD
                             : EPOLL_CTL_MOD);
        watched = events;
    }

    Fd m_epoll;
    sockaddr_in m_target;
    milliseconds m_delay;
    std::vector<Fd> m_listeners;
    std::unordered_map<std::uint64_t, std::unique_ptr<Connection>> m_connections;
    std::priority_queue<Due, std::vector<Due>, std::greater<>> m_timers;
    std::uint64_t m_lastId = 0;
};

sockaddr_in address(const char* host, int port) {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, host, &at.sin_addr) != 1) {
        std::fprintf(stderr, "delay_proxy: not an IPv4 address: %s\n", host);
        std::exit(2);
    }
    return at;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr,
                     "usage: delay_proxy LISTEN_HOST LISTEN_PORT[-LAST] TARGET_HOST TARGET_PORT "
                     "DELAY_MS\n");
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    const std::string ports = argv[2];
    const int first = std::atoi(ports.c_str());
    const auto dash = ports.find('-');
    const int last = dash == std::string::npos ? first : std::atoi(ports.c_str() + dash + 1);
    Proxy proxy(address(argv[3], std::atoi(argv[4])), milliseconds(std::atoi(argv[5])));
    for (int port = first; port <= last; ++port)
        if (!proxy.listen(address(argv[1], port))) {
            std::fprintf(stderr, "delay_proxy: cannot listen at %s:%d: %s\n", argv[1], port,
                         std::strerror(errno));
            return 1;
        }
    std::printf("ready\n");
    std::fflush(stdout);
    proxy.run();
}
