#include "platform/linux/BoundedCall.h"

#include <atomic>
#include <condition_variable>
#include <stdexcept>
#include <system_error>

namespace ombrix::platform {
namespace {

std::atomic<BoundedWorkers*> g_installed{nullptr};

BoundedWorkers& installed() {
    BoundedWorkers* workers = g_installed.load();
    if (!workers)
        throw std::logic_error("no owner for the workers of bounded calls");
    return *workers;
}

struct Task {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
};

} // namespace

BoundedWorkers::BoundedWorkers(std::chrono::milliseconds mostEndWait)
    : m_before(g_installed.exchange(this)), m_threads(mostEndWait) {}

BoundedWorkers::~BoundedWorkers() {
    g_installed.store(m_before);
}

bool BoundedWorkers::run(const QString& key, std::chrono::milliseconds bound,
                         std::function<void()> work, const BoundedGroup& group) {
    const std::string name = key.toStdString();
    const std::string groupName = group.name;
    {
        const std::lock_guard lock(m_busy->mutex);
        int& running = m_busy->running[groupName];
        if (m_busy->keys.count(name) != 0 || running >= group.mostPending)
            return false;
        m_busy->keys.insert(name);
        ++running;
    }
    // What the worker writes once we gave up is its own: the task, the busy
    // record, and what `work` captured.
    const auto release = [busy = m_busy, name, groupName] {
        const std::lock_guard lock(busy->mutex);
        busy->keys.erase(name);
        --busy->running[groupName];
    };
    auto task = std::make_shared<Task>();
    try {
        m_threads.start([task, release, work = std::move(work)] {
            try {
                work();
            } catch (...) {
                // Counted as no answer: the caller sees the result unset.
            }
            release();
            {
                const std::lock_guard lock(task->mutex);
                task->done = true;
            }
            task->finished.notify_all();
        });
    } catch (const std::system_error&) {
        release();
        return false;
    }
    std::unique_lock lock(task->mutex);
    return task->finished.wait_for(lock, bound, [&] { return task->done; });
}

int BoundedWorkers::pending() const {
    const std::lock_guard lock(m_busy->mutex);
    int running = 0;
    for (const auto& [group, count] : m_busy->running)
        running += count;
    return running;
}

bool runBoundedTask(const QString& key, std::chrono::milliseconds bound, std::function<void()> work,
                    const BoundedGroup& group) {
    return installed().run(key, bound, std::move(work), group);
}

int pendingBoundedTasks() {
    return installed().pending();
}

} // namespace ombrix::platform
