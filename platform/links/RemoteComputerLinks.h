#pragma once
#include "platform/CounterSources.h"
#include "platform/RemoteComputers.h"

#include <chrono>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QTimer;

namespace ombrix::platform {

class ComputerThread;

// How long a link that nobody holds, and that has no question under way,
// keeps its connection and its thread before it ends.
inline constexpr std::chrono::seconds kLinkIdleTime{10};
// How many such idle links are kept at most; beyond that the longest idle
// ends at once.
inline constexpr std::size_t kMostIdleLinks = 4;

// How long a link waits before it tries again after a failed connection:
// first, then twice as long each time, up to longest.
struct LinkBackoff {
    std::chrono::steady_clock::duration first = std::chrono::seconds(1);
    std::chrono::steady_clock::duration longest = std::chrono::seconds(30);
};

// This computer's link asks its own counters at once (named by an empty
// name); each other computer is on a std::jthread of its own, connected through the
// counter sources. A link reports what fails as values: a connection that
// fails, a computer that stops answering and a question that throws come
// back in the answers and the verdict, never as an exception on its thread.
// After a failed connection the link waits before it tries again, twice as
// long each time; after a loss it tries again at the next question. A link
// nobody holds ends after idleTime without a question, its thread and
// connection with it; the next to name its computer gets a new one.
class RemoteComputerLinks final : public RemoteComputers {
public:
    using Clock = std::chrono::steady_clock;
    using Backoff = LinkBackoff;
    // Where an exception goes that escapes the handler of an answer; without
    // one it goes on into the event loop.
    using ErrorSink = std::function<void(std::exception_ptr)>;

    // Starts no thread: each link starts its own when it is first named.
    RemoteComputerLinks(CounterSources& sources, ErrorSink errors, Backoff backoff = {},
                        Clock::duration idleTime = kLinkIdleTime);
    // Asks every link to stop, then waits for their threads: at most as long
    // as the longest question under way, which the collector's time-outs
    // bound. The counter sources must outlive this.
    ~RemoteComputerLinks() override;
    RemoteComputerLinks(const RemoteComputerLinks&) = delete;
    RemoteComputerLinks& operator=(const RemoteComputerLinks&) = delete;

    std::shared_ptr<ComputerLink> link(const QString& computer) override;
    QString badName(const QString& computer) const override;
    QStringList reached() const override;
    QString shown() const override { return m_shown; }
    // Names the other computer the program shows; empty: this one.
    void setShown(const QString& computer) { m_shown = computer; }

private:
    friend class ComputerThread;
    void noteReached(const QString& computer);
    // Ends, soon after on the event loop, the links gone idle.
    void sweepSoon();
    void sweep();

    CounterSources& m_sources;
    ErrorSink m_errors;
    Backoff m_backoff;
    Clock::duration m_idleTime;
    QStringList m_reached;
    QString m_shown;
    std::map<QString, std::unique_ptr<ComputerThread>> m_links;
    std::shared_ptr<ComputerLink> m_thisComputer; // made when first named
    std::unique_ptr<QTimer> m_sweep;              // made once there is an event loop to run it
};

} // namespace ombrix::platform
