#pragma once
#include "platform/KeptThreads.h"

#include <QString>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace ombrix::platform {

// Most workers that may wait on volumes that do not answer at one time.
inline constexpr int kMaxPendingVolumeQueries = 8;

// Workers of one kind, and how many of them may be out at one time: the
// questions to one kind of service that hangs never keep another's from
// starting.
struct BoundedGroup {
    const char* name;
    int mostPending;
};
inline constexpr BoundedGroup kVolumeQueries{"volumes", kMaxPendingVolumeQueries};

// The workers of bounded calls and their owner, made once by the program
// (and by each test that reads volumes or print services): while it lives,
// runBoundedTask starts its workers here. It joins them when it goes,
// waiting at most `mostEndWait` for those still out.
class BoundedWorkers {
public:
    explicit BoundedWorkers(std::chrono::milliseconds mostEndWait);
    ~BoundedWorkers();
    BoundedWorkers(const BoundedWorkers&) = delete;
    BoundedWorkers& operator=(const BoundedWorkers&) = delete;

    bool run(const QString& key, std::chrono::milliseconds bound, std::function<void()> work,
             const BoundedGroup& group);
    // Workers started and not yet returned, of every group.
    int pending() const;

private:
    struct Busy {
        std::mutex mutex;
        std::set<std::string> keys;
        std::map<std::string, int> running; // by group
    };
    std::shared_ptr<Busy> m_busy = std::make_shared<Busy>();
    BoundedWorkers* m_before;
    KeptThreads m_threads; // last: joined before the rest goes
};

// Runs work on a worker of the program's BoundedWorkers and waits at most
// `bound` for it. Returns false when it did not finish in time, or when it
// was not started: while an earlier worker for the same key has not returned
// (a hung volume stays hung), or when the group's most pending workers are
// still out. A worker left behind never holds up later calls. Throws
// std::logic_error where no BoundedWorkers lives.
bool runBoundedTask(const QString& key, std::chrono::milliseconds bound, std::function<void()> work,
                    const BoundedGroup& group = kVolumeQueries);

// Workers started and not yet returned, of every group.
int pendingBoundedTasks();

template <class T>
std::optional<T> runBounded(const QString& key, std::chrono::milliseconds bound,
                            std::function<std::optional<T>()> query,
                            const BoundedGroup& group = kVolumeQueries) {
    // Owned by the worker as much as by us: it may write it after we have
    // given up.
    auto result = std::make_shared<std::optional<T>>();
    auto work = [result, query = std::move(query)] { *result = query(); };
    if (!runBoundedTask(key, bound, std::move(work), group))
        return std::nullopt;
    return *result;
}

} // namespace ombrix::platform
