#pragma once
#include "platform/ComputerFacts.h"
#include "platform/PerfCounters.h"
#include "platform/PlatformError.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class QObject;

namespace ombrix::platform {

// "\\\\host", "host" or "host:port" as a user typed it, as the links take it.
inline QString computerAddress(const QString& typed) {
    QString address = typed.trimmed();
    while (address.startsWith(QLatin1Char('\\')))
        address.remove(0, 1);
    return address.trimmed();
}

// What a question to another computer gives back: its value, or why there
// is none (the computer cannot be reached, or reading it failed).
template <class T> struct LinkAnswer {
    std::optional<T> value;
    QString failure; // empty when value holds
};

// The question that reads a computer's facts of those parts over the
// connection its counters came by.
inline auto factsOf(FactParts parts) {
    return [parts](PerfCounters& counters) {
        ComputerFacts* facts = counters.facts();
        if (!facts)
            throw PlatformError("its collector tells nothing of it beside its counters");
        return facts->read(parts);
    };
}

// One other computer, reached on a thread of its own so that the
// user-interface thread never waits for the network. Every window that names
// the computer shares its one connection, and its one verdict on whether the
// computer answers. Used from the user-interface thread; answers come back
// there, and nothing is handed to a receiver that is gone. This computer is
// reached the same way: its link answers every question at once, before
// ask() returns.
class ComputerLink {
public:
    virtual ~ComputerLink() = default;
    // "host" or "host:port", as given to RemoteComputers::link; empty: this one.
    virtual QString computer() const = 0;
    // False once a connection or a reading found the computer silent, until
    // one gets through again; whyNot() says why.
    virtual bool answering() const = 0;
    virtual QString whyNot() const = 0;
    // Calls changed() each time answering() or whyNot() changes; a
    // receiver's second call replaces its first.
    virtual void watch(QObject* receiver, std::function<void()> changed) = 0;
    // The next question connects at once, even while the link waits before
    // trying again: the user named the computer.
    virtual void retry() = 0;

    // Asks work(counters) on the link's thread, in order with every other
    // question, once connected, and hands its answer to done(LinkAnswer<T>).
    // What work throws comes back as the answer's failure.
    template <class T, class Work, class Done> void ask(QObject* receiver, Work work, Done done) {
        auto answer = std::make_shared<LinkAnswer<T>>();
        submit(
            receiver,
            [answer, work = std::move(work)](PerfCounters& counters) {
                answer->value.emplace(work(counters));
            },
            [answer, done = std::move(done)](const QString& failure) {
                answer->failure = failure;
                done(std::move(*answer));
            });
    }

    // Asks work(counters) as ask() does, and waits on this thread for its
    // answer: for the program's start, before there is an event loop.
    template <class T, class Work> LinkAnswer<T> askNow(Work work) {
        LinkAnswer<T> answer;
        answer.failure = submitAndWait(
            [&answer, &work](PerfCounters& counters) { answer.value.emplace(work(counters)); });
        if (!answer.failure.isEmpty())
            answer.value.reset();
        return answer;
    }

    // Reads the computer's facts of those parts over its connection, in
    // order with every other question, and hands them to
    // done(LinkAnswer<RemoteFacts>).
    template <class Done> void readFacts(QObject* receiver, FactParts parts, Done done) {
        ask<RemoteFacts>(receiver, factsOf(parts), std::move(done));
    }
    LinkAnswer<RemoteFacts> readFactsNow(FactParts parts) {
        return askNow<RemoteFacts>(factsOf(parts));
    }

protected:
    // Runs on the link's thread with the connected counters.
    using Work = std::function<void(PerfCounters&)>;
    // Runs on the user-interface thread: failure is empty when work returned.
    using Deliver = std::function<void(const QString& failure)>;
    virtual void submit(QObject* receiver, Work work, Deliver deliver) = 0;
    // Runs work as submit() does and returns its failure, once it ran.
    virtual QString submitAndWait(Work work) = 0;
};

// The links to other computers, one per computer, owned with the machine's
// other services. A link lasts while what link() returned is held (by a
// chart's series, a window, the counter browser showing its computer), and
// a while after: one that nobody holds and that has no question under way
// ends after a short idle time, and only a few such are kept.
class RemoteComputers {
public:
    virtual ~RemoteComputers() = default;
    // The link to computer ("host" or "host:port"; empty: this one), made on
    // first use and kept while the pointer is held; its answers come while it is.
    virtual std::shared_ptr<ComputerLink> link(const QString& computer) = 0;
    // Why no link can reach the computer so named (a port that is none), in
    // a few words; empty where one can.
    virtual QString badName(const QString& /*computer*/) const { return {}; }
    // The computers reached in this run, the most recent first.
    virtual QStringList reached() const = 0;
    // The computer the program shows when it is another one ("host" or
    // "host:port"), where a choice of computer starts; empty: this one.
    virtual QString shown() const { return {}; }
};

} // namespace ombrix::platform
