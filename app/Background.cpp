#include "app/Background.h"

#include <QThreadPool>

#include <deque>
#include <mutex>

namespace ombrix {
namespace {

// Not Qt's global pool, which has a thread per core: a few stuck services
// would hold all of them, and everyone else's questions would queue behind.
// The tasks wait in a queue of our own, under a lock every thread checker
// sees; the pool's threads only take the next one.
struct QuestionThreads : QThreadPool {
    QuestionThreads() { setMaxThreadCount(8); }
    std::mutex mutex;
    std::deque<std::function<void()>> tasks;

    void runNext() {
        std::function<void()> task;
        {
            const std::lock_guard lock(mutex);
            task = std::move(tasks.front());
            tasks.pop_front();
        }
        task();
    }
};

QuestionThreads& pool() {
    static QuestionThreads threads;
    return threads;
}

} // namespace

void startInBackground(std::function<void()> task) {
    QuestionThreads& threads = pool();
    {
        const std::lock_guard lock(threads.mutex);
        threads.tasks.push_back(std::move(task));
    }
    threads.start([] { pool().runNext(); }); // one run for each task queued
}

bool waitForBackgroundWork(std::chrono::milliseconds bound) {
    return pool().waitForDone(static_cast<int>(bound.count()));
}

void waitForBackgroundWork() {
    pool().waitForDone();
}

} // namespace ombrix
