#include "platform/linux/BoundedCall.h"

#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <thread>

namespace ombrix::platform {
namespace {

struct Pending {
    std::mutex mutex;
    std::set<std::string> busyKeys;
    int running = 0;
};

// Deliberately never destroyed: a worker stuck in the kernel may return while
// the program is already running its static destructors.
Pending& pending() {
    static auto* state = new Pending;
    return *state;
}

struct Task {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
};

void release(const std::string& key) {
    Pending& p = pending();
    std::lock_guard lock(p.mutex);
    p.busyKeys.erase(key);
    --p.running;
}

} // namespace

bool runBoundedTask(const QString& key, std::chrono::milliseconds bound,
                    std::function<void()> work) {
    const std::string name = key.toStdString();
    {
        Pending& p = pending();
        std::lock_guard lock(p.mutex);
        if (p.busyKeys.count(name) != 0 || p.running >= kMaxPendingVolumeQueries)
            return false;
        p.busyKeys.insert(name);
        ++p.running;
    }
    auto task = std::make_shared<Task>();
    try {
        std::thread([task, name, work = std::move(work)] {
            try {
                work();
            } catch (...) {
                // Counted as no answer: the caller sees the result unset.
            }
            release(name);
            {
                std::lock_guard lock(task->mutex);
                task->done = true;
            }
            task->finished.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        release(name);
        return false;
    }
    std::unique_lock lock(task->mutex);
    return task->finished.wait_for(lock, bound, [&] { return task->done; });
}

int pendingBoundedTasks() {
    Pending& p = pending();
    std::lock_guard lock(p.mutex);
    return p.running;
}

} // namespace ombrix::platform
