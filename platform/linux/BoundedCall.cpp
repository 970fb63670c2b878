#include "platform/linux/BoundedCall.h"

#include <condition_variable>
#include <map>
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
    std::map<std::string, int> running; // by group
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

void release(const std::string& key, const std::string& group) {
    Pending& p = pending();
    std::lock_guard lock(p.mutex);
    p.busyKeys.erase(key);
    --p.running[group];
}

} // namespace

bool runBoundedTask(const QString& key, std::chrono::milliseconds bound, std::function<void()> work,
                    const BoundedGroup& group) {
    const std::string name = key.toStdString();
    const std::string groupName = group.name;
    {
        Pending& p = pending();
        std::lock_guard lock(p.mutex);
        int& running = p.running[groupName];
        if (p.busyKeys.count(name) != 0 || running >= group.mostPending)
            return false;
        p.busyKeys.insert(name);
        ++running;
    }
    auto task = std::make_shared<Task>();
    try {
        std::thread([task, name, groupName, work = std::move(work)] {
            try {
                work();
            } catch (...) {
                // Counted as no answer: the caller sees the result unset.
            }
            release(name, groupName);
            {
                std::lock_guard lock(task->mutex);
                task->done = true;
            }
            task->finished.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        release(name, groupName);
        return false;
    }
    std::unique_lock lock(task->mutex);
    return task->finished.wait_for(lock, bound, [&] { return task->done; });
}

int pendingBoundedTasks() {
    Pending& p = pending();
    std::lock_guard lock(p.mutex);
    int running = 0;
    for (const auto& [group, count] : p.running)
        running += count;
    return running;
}

} // namespace ombrix::platform
