#pragma once
#include "app/Handler.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QPromise>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>

namespace ombrix {

// Runs a task on the threads kept for questions to services that may take
// seconds to answer (a stopped print service, a network drive that hangs).
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
