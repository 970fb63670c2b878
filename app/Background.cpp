#include "app/Background.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <stdexcept>

namespace ombrix {
namespace {

constexpr int kMostBackgroundThreads = 8;

std::atomic<BackgroundThreads*> g_installed{nullptr};

BackgroundThreads& installed() {
    BackgroundThreads* threads = g_installed.load();
    if (!threads)
        throw std::logic_error("no background threads: the program makes them before its windows");
    return *threads;
}

} // namespace

// The tasks not yet begun, shared with the threads that take them.
struct BackgroundThreads::Queue {
    std::mutex mutex;
    std::deque<std::function<void()>> tasks;
    int takers = 0; // threads taking tasks from here
    bool closed = false;

    // A thread's body: tasks until none waits.
    void take() {
        for (;;) {
            std::function<void()> task;
            {
                const std::lock_guard lock(mutex);
                if (tasks.empty() || closed) {
                    --takers;
                    return;
                }
                task = std::move(tasks.front());
                tasks.pop_front();
            }
            try {
                task();
            } catch (...) {
                // A task reports its own errors; this thread takes the next.
            }
        }
    }
};

BackgroundThreads::BackgroundThreads(std::chrono::milliseconds mostEndWait)
    : m_queue(std::make_shared<Queue>()), m_before(g_installed.exchange(this)),
      m_threads(mostEndWait) {}

BackgroundThreads::~BackgroundThreads() {
    g_installed.store(m_before);
    std::deque<std::function<void()>> notBegun;
    {
        const std::lock_guard lock(m_queue->mutex);
        m_queue->closed = true;
        notBegun.swap(m_queue->tasks);
    }
    // m_threads joins the running ones as it goes, after this.
}

void BackgroundThreads::start(std::function<void()> task) {
    {
        const std::lock_guard lock(m_queue->mutex);
        if (m_queue->closed)
            return;
        m_queue->tasks.push_back(std::move(task));
        if (m_queue->takers >= kMostBackgroundThreads)
            return; // a running thread takes it
        ++m_queue->takers;
    }
    try {
        m_threads.start([queue = m_queue] { queue->take(); });
    } catch (...) {
        const std::lock_guard lock(m_queue->mutex);
        --m_queue->takers;
        throw;
    }
}

bool BackgroundThreads::waitForDone(std::chrono::milliseconds bound) {
    return m_threads.waitUntilNoneRuns(bound);
}

void startInBackground(std::function<void()> task) {
    installed().start(std::move(task));
}

bool waitForBackgroundWork(std::chrono::milliseconds bound) {
    return installed().waitForDone(bound);
}

void waitForBackgroundWork() {
    while (!waitForBackgroundWork(std::chrono::hours(1))) {
    }
}

} // namespace ombrix
