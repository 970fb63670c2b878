#pragma once
#include "app/Handler.h"
#include "platform/KeptThreads.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QPromise>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>

namespace ombrix {

// How long the end of the program waits for questions still out.
inline constexpr std::chrono::milliseconds kMostExitWait{2000};

// The threads kept for questions to services that may take seconds to answer
// (a stopped print service, a network drive that hangs), and their owner:
// made once by the program before its windows and gone after them (tests
// make their own). While it lives, startInBackground and askInBackground
// hand their tasks to it. At most eight run at once, so a few stuck services
// never hold every thread; a thread ends when no task waits. When it goes it
// takes no more tasks, drops those not begun, and joins those running,
// waiting at most `mostEndWait` for them.
class BackgroundThreads {
public:
    explicit BackgroundThreads(std::chrono::milliseconds mostEndWait = kMostExitWait);
    ~BackgroundThreads();
    BackgroundThreads(const BackgroundThreads&) = delete;
    BackgroundThreads& operator=(const BackgroundThreads&) = delete;

    void start(std::function<void()> task);
    // Waits until every task started so far has ended, or at most `bound`;
    // false when tasks are still running then.
    bool waitForDone(std::chrono::milliseconds bound);
    // Threads running tasks now.
    int running() const { return m_threads.running(); }

private:
    struct Queue;
    std::shared_ptr<Queue> m_queue;
    BackgroundThreads* m_before;
    platform::KeptThreads m_threads; // last: joined before the queue goes
};

// Runs a task on the program's BackgroundThreads; throws std::logic_error
// where none lives.
void startInBackground(std::function<void()> task);

// Waits until every task started so far has ended, or at most `bound`;
// false when tasks are still running then. The program calls it before the
// services its tasks use go away.
bool waitForBackgroundWork(std::chrono::milliseconds bound);
// Waits as long as it takes: for tests, before their fakes go.
void waitForBackgroundWork();

// Asks `work` off the user-interface thread and hands its answer to `done`
// on the receiver's thread, as a finished future whose result() rethrows what
// `work` threw; an error from `done` goes to the default error report. Once
// the receiver is gone nothing is handed over, so a window may close while
// its question is out; `work` must use nothing the window owns.
template <class T, class Work, class Done>
void askInBackground(QObject* receiver, Work work, Done done) {
    auto promise = std::make_shared<QPromise<T>>();
    auto* watcher = new QFutureWatcher<T>(receiver);
    QObject::connect(watcher, &QFutureWatcherBase::finished, receiver,
                     [watcher, done = std::move(done)] {
                         watcher->deleteLater();
                         handle([&] { done(watcher->future()); });
                     });
    watcher->setFuture(promise->future());
    startInBackground([promise, work = std::move(work)] {
        promise->start();
        try {
            promise->addResult(work());
        } catch (...) {
            promise->setException(std::current_exception());
        }
        promise->finish();
    });
}

} // namespace ombrix
