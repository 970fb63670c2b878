#include "platform/links/RemoteComputerLinks.h"

#include "platform/HostPort.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <future>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

namespace ombrix::platform {
namespace {

QString failureText(const char* what) {
    const QString text = QString::fromUtf8(what).trimmed();
    return text.isEmpty() ? QObject::tr("Unknown error") : text;
}

// Runs work over the counters: what it throws comes back as the failure,
// empty when it returned.
QString failureOf(const std::function<void(PerfCounters&)>& work, PerfCounters& counters) {
    try {
        work(counters);
    } catch (const std::exception& e) {
        return failureText(e.what());
    } catch (...) {
        return failureText(nullptr);
    }
    return {};
}

// Runs an answer's handler: what escapes it goes to the error sink, or on
// where there is none.
template <class Body> void guarded(const RemoteComputerLinks::ErrorSink& errors, const Body& body) {
    try {
        body();
    } catch (...) {
        if (!errors)
            throw;
        errors(std::current_exception());
    }
}

// This computer, reached as another is: its questions run at once, on the
// asking thread, over its own counters, and it always answers. The answer
// is handed over before ask() returns.
class ThisComputerLink final : public ComputerLink {
public:
    ThisComputerLink(PerfCounters& counters, RemoteComputerLinks::ErrorSink errors)
        : m_counters(counters), m_errors(std::move(errors)) {}
    QString computer() const override { return {}; }
    bool answering() const override { return true; }
    QString whyNot() const override { return {}; }
    void watch(QObject*, std::function<void()>) override {} // the verdict never changes
    void retry() override {}

protected:
    void submit(QObject* receiver, Work work, Deliver deliver) override {
        const QPointer<QObject> alive(receiver);
        const QString failure = failureOf(work, m_counters);
        work = nullptr; // what it holds goes before the answer is read, as on a link's thread
        if (alive)
            guarded(m_errors, [&] { deliver(failure); });
    }
    QString submitAndWait(Work work) override { return failureOf(work, m_counters); }

private:
    PerfCounters& m_counters;
    RemoteComputerLinks::ErrorSink m_errors;
};

// Hands questions the connected counters and facts, and notes whether a
// reading found the computer silent.
class WatchedCounters final : public PerfCounters {
    class WatchedFacts final : public ComputerFacts {
    public:
        WatchedFacts(ComputerFacts& facts, WatchedCounters& owner)
            : m_facts(facts), m_owner(owner) {}
        RemoteFacts read(const FactParts& parts) override {
            RemoteFacts facts = m_facts.read(parts);
            (facts.reachable ? m_owner.m_answered : m_owner.m_silent) = true;
            return facts;
        }

    private:
        ComputerFacts& m_facts;
        WatchedCounters& m_owner;
    };

public:
    explicit WatchedCounters(PerfCounters& counters) : m_counters(counters) {}
    ComputerFacts* facts() override {
        ComputerFacts* facts = m_counters.facts();
        if (!facts)
            return nullptr;
        m_facts.emplace(*facts, *this);
        return &*m_facts;
    }
    const std::vector<ObjectInfo>& objects() const override { return m_counters.objects(); }
    QStringList instances(const QString& object, qsizetype* count = nullptr) override {
        return m_counters.instances(object, count);
    }
    QString explanation(const QString& object, const QString& counter) override {
        return m_counters.explanation(object, counter);
    }
    RawSample sample(const std::vector<CounterPath>& paths) override {
        RawSample sample = m_counters.sample(paths);
        (sample.reachable ? m_answered : m_silent) = true;
        return sample;
    }
    bool answered() const { return m_answered; }
    bool silent() const { return m_silent; }

private:
    PerfCounters& m_counters;
    std::optional<WatchedFacts> m_facts;
    bool m_answered = false;
    bool m_silent = false;
};

} // namespace

// One computer's link. Its thread asks the questions in order and leaves what
// it has to say in an outbox, which the user-interface thread empties.
class ComputerThread final : public QObject, public ComputerLink {
    using Clock = std::chrono::steady_clock;

public:
    ComputerThread(RemoteComputerLinks& owner, const QString& computer)
        : m_owner(owner), m_computer(computer), m_delay(owner.m_backoff.first),
          m_quietSince(Clock::now()), m_thread([this](std::stop_token stop) { run(stop); }) {}
    // Waits for the thread (close() asks it to stop).
    ~ComputerThread() override = default;

    // The link for one more holder.
    std::shared_ptr<ComputerLink> use() {
        if (auto held = m_use.lock())
            return held;
        std::shared_ptr<ComputerLink> held(this, [link = QPointer(this)](ComputerLink*) {
            if (link)
                link->quiet();
        });
        m_use = held;
        return held;
    }
    // Since when nobody holds the link and no question is under way; none
    // while either is.
    std::optional<Clock::time_point> idleSince() const {
        if (!m_use.expired() || !m_pending.empty())
            return std::nullopt;
        return m_quietSince;
    }

    QString computer() const override { return m_computer; }
    bool answering() const override { return m_answering; }
    QString whyNot() const override { return m_whyNot; }
    void watch(QObject* receiver, std::function<void()> changed) override {
        std::erase_if(m_watchers, [receiver](const auto& watcher) {
            return !watcher.first || watcher.first == receiver;
        });
        m_watchers.push_back({receiver, std::move(changed)});
    }
    void retry() override {
        const std::lock_guard lock(m_mutex);
        m_retryNow = true;
    }

    // Drops the questions not yet asked and hands nothing more over; the
    // question under way finishes on the thread, which then ends.
    void close() {
        {
            const std::lock_guard lock(m_mutex);
            m_closed = true;
            m_jobs.clear();
            m_outbox.clear();
        }
        m_thread.request_stop();
    }

protected:
    void submit(QObject* receiver, Work work, Deliver deliver) override {
        const std::uint64_t id = ++m_lastJob;
        m_pending.emplace(id, Pending{receiver, std::move(deliver)});
        const std::lock_guard lock(m_mutex);
        if (m_closed)
            return;
        m_jobs.push_back({id, std::move(work), {}});
        m_wake.notify_one();
    }
    QString submitAndWait(Work work) override {
        auto done = std::make_shared<std::promise<QString>>();
        std::future<QString> failure = done->get_future();
        {
            const std::lock_guard lock(m_mutex);
            if (m_closed)
                return tr("The program is ending");
            m_jobs.push_back({0, std::move(work), std::move(done)});
            m_wake.notify_one();
        }
        try {
            return failure.get();
        } catch (const std::future_error&) { // dropped by close()
            return tr("The program is ending");
        }
    }

private:
    struct Job {
        std::uint64_t id = 0;
        Work work;
        std::shared_ptr<std::promise<QString>> waiter; // set: someone waits for its failure
    };
    // What the thread has to say: a job's end, or a new verdict.
    struct Mail {
        std::uint64_t job = 0; // 0: a verdict
        QString failure;       // of the job; of the verdict, why it does not answer
        bool answering = true;
        bool reached = false; // a connection was just made
    };
    struct Pending {
        QPointer<QObject> receiver;
        Deliver deliver;
    };

    // On the link's thread.
    void run(std::stop_token stop) {
        for (;;) {
            Job job;
            bool retryNow = false;
            {
                std::unique_lock lock(m_mutex);
                if (!m_wake.wait(lock, stop, [this] { return !m_jobs.empty(); }))
                    break;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
                retryNow = std::exchange(m_retryNow, false);
            }
            Mail mail{job.id, perform(job.work, retryNow)};
            job.work = nullptr; // what it holds goes on this thread, before the answer is read
            if (job.waiter)
                job.waiter->set_value(std::move(mail.failure));
            else
                post(std::move(mail));
        }
        m_counters.reset(); // here: closing a connection may wait for the network too
    }

    QString perform(const Work& work, bool retryNow) {
        if (!m_counters) {
            if (!retryNow && Clock::now() < m_retryAt)
                return m_reason;
            connectNow();
            if (!m_counters)
                return m_reason;
        }
        WatchedCounters watched(*m_counters);
        if (QString failure = failureOf(work, watched); !failure.isEmpty())
            return failure;
        if (watched.silent()) {
            lose();
        } else if (watched.answered()) {
            m_troubled = false;
            m_delay = m_owner.m_backoff.first;
            tell(true);
        }
        return {};
    }

    void connectNow() {
        try {
            m_counters = m_owner.m_sources.connect(m_computer);
        } catch (const std::exception& e) {
            m_reason = failureText(e.what());
        } catch (...) {
            m_reason = failureText(nullptr);
        }
        if (m_counters) {
            m_reason.clear();
            tell(true, true);
            return;
        }
        backOff();
        tell(false);
    }

    // A reading found the computer silent: the next question connects
    // afresh, at once the first time and later after a wait.
    void lose() {
        m_counters.reset();
        m_reason = tr("The computer does not answer");
        if (m_troubled)
            backOff();
        else
            m_retryAt = Clock::now();
        m_troubled = true;
        tell(false);
    }

    void backOff() {
        m_retryAt = Clock::now() + m_delay;
        m_delay = std::min(m_delay * 2, m_owner.m_backoff.longest);
        m_troubled = true;
    }

    void tell(bool answering, bool reached = false) {
        const QString why = answering ? QString() : m_reason;
        if (!reached && answering == m_told && why == m_toldWhy)
            return;
        m_told = answering;
        m_toldWhy = why;
        post(Mail{0, why, answering, reached});
    }

    void post(Mail mail) {
        const std::lock_guard lock(m_mutex);
        if (m_closed)
            return;
        m_outbox.push_back(std::move(mail));
        // Else a note is on its way already. The note carries nothing: what
        // crosses threads goes through the outbox, under a lock a thread
        // checker sees.
        if (m_outbox.size() == 1)
            QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    }

    // On the user-interface thread, at the thread's note.
    void customEvent(QEvent*) override { deliver(); }
    void deliver() {
        std::vector<Mail> mail;
        {
            const std::lock_guard lock(m_mutex);
            mail.swap(m_outbox);
        }
        for (Mail& m : mail) {
            if (m.job == 0) {
                changeVerdict(m);
                continue;
            }
            auto it = m_pending.find(m.job);
            if (it == m_pending.end())
                continue;
            Pending pending = std::move(it->second);
            m_pending.erase(it);
            if (m_pending.empty())
                quiet();
            if (pending.receiver)
                guard([&] { pending.deliver(m.failure); });
        }
    }

    // The last question was answered, or the last holder let go.
    void quiet() {
        m_quietSince = Clock::now();
        if (idleSince())
            m_owner.sweepSoon();
    }

    void changeVerdict(const Mail& verdict) {
        if (verdict.reached)
            m_owner.noteReached(m_computer);
        if (m_answering == verdict.answering && m_whyNot == verdict.failure)
            return;
        m_answering = verdict.answering;
        m_whyNot = verdict.failure;
        const auto watchers = m_watchers; // a watcher may add another
        for (const auto& [receiver, changed] : watchers)
            if (receiver)
                guard(changed);
    }

    template <class Body> void guard(const Body& body) { guarded(m_owner.m_errors, body); }

    RemoteComputerLinks& m_owner;
    const QString m_computer;

    // Shared by both threads, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::deque<Job> m_jobs;
    std::vector<Mail> m_outbox;
    bool m_retryNow = false;
    bool m_closed = false;

    // The link's thread's own.
    std::unique_ptr<PerfCounters> m_counters;
    QString m_reason; // why the last connection failed or was lost
    Clock::time_point m_retryAt{};
    Clock::duration m_delay;
    bool m_troubled = false; // no reading has got through since the last failure
    bool m_told = true;      // the verdict last posted
    QString m_toldWhy;

    // The user-interface thread's own.
    std::weak_ptr<ComputerLink> m_use; // what link() handed out
    Clock::time_point m_quietSince;
    std::map<std::uint64_t, Pending> m_pending;
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> m_watchers;
    std::uint64_t m_lastJob = 0;
    bool m_answering = true;
    QString m_whyNot;

    std::jthread m_thread; // last: starts after the state it uses, joins before it goes
};

RemoteComputerLinks::RemoteComputerLinks(CounterSources& sources, ErrorSink errors, Backoff backoff,
                                         Clock::duration idleTime)
    : m_sources(sources), m_errors(std::move(errors)), m_backoff(backoff), m_idleTime(idleTime) {}

RemoteComputerLinks::~RemoteComputerLinks() {
    // Every thread is told first, so the waits overlap.
    for (auto& [computer, link] : m_links)
        link->close();
    m_links.clear();
}

std::shared_ptr<ComputerLink> RemoteComputerLinks::link(const QString& computer) {
    if (computer.isEmpty()) {
        // Needs no thread, and not the collector's library.
        if (!m_thisComputer)
            m_thisComputer = std::make_shared<ThisComputerLink>(m_sources.local(), m_errors);
        return m_thisComputer;
    }
    auto& link = m_links[computer];
    if (!link) {
        // On this thread, before the link's own thread first uses the
        // collector's library. A library that cannot be loaded is the
        // link's first answer instead.
        try {
            m_sources.prepare();
        } catch (const std::exception&) {
        }
        link = std::make_unique<ComputerThread>(*this, computer);
    }
    return link->use();
}

QString RemoteComputerLinks::badName(const QString& computer) const {
    return QString::fromStdString(pcp::portProblem(pcp::splitHost(computer.toStdString())));
}

void RemoteComputerLinks::sweepSoon() {
    if (!m_sweep) {
        if (!QCoreApplication::instance())
            return;
        m_sweep = std::make_unique<QTimer>();
        m_sweep->setSingleShot(true);
        QObject::connect(m_sweep.get(), &QTimer::timeout, [this] { sweep(); });
    }
    m_sweep->start(0);
}

// On the event loop, never inside a link's own call: a link ended here is
// idle, its thread waiting for a question, so its end waits for nothing.
void RemoteComputerLinks::sweep() {
    const Clock::time_point now = Clock::now();
    std::vector<std::pair<Clock::time_point, QString>> idle;
    for (const auto& [computer, link] : m_links)
        if (const auto since = link->idleSince())
            idle.emplace_back(*since, computer);
    std::sort(idle.begin(), idle.end()); // the longest idle first
    std::vector<std::unique_ptr<ComputerThread>> ending;
    std::optional<Clock::time_point> next;
    for (std::size_t i = 0; i < idle.size(); ++i) {
        const auto& [since, computer] = idle[i];
        if (idle.size() - i > kMostIdleLinks || since + m_idleTime <= now) {
            auto found = m_links.find(computer);
            ending.push_back(std::move(found->second));
            m_links.erase(found);
        } else if (!next || since + m_idleTime < *next) {
            next = since + m_idleTime;
        }
    }
    for (auto& link : ending) // every thread told first, so that the waits overlap
        link->close();
    ending.clear();
    if (next)
        m_sweep->start(std::chrono::ceil<std::chrono::milliseconds>(*next - now));
}

QStringList RemoteComputerLinks::reached() const {
    return m_reached;
}

void RemoteComputerLinks::noteReached(const QString& computer) {
    m_reached.removeAll(computer);
    m_reached.prepend(computer);
}

} // namespace ombrix::platform
