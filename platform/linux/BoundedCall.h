#pragma once
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

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

// Runs work on a detached worker thread and waits at most `bound` for it.
// Returns false when it did not finish in time, or when it was not started:
// while an earlier worker for the same key has not returned (a hung volume
// stays hung), or when the group's most pending workers are still out. A
// worker left behind never holds up later calls or the end of the program.
bool runBoundedTask(const QString& key, std::chrono::milliseconds bound, std::function<void()> work,
                    const BoundedGroup& group = kVolumeQueries);

// Workers started and not yet returned, of every group.
int pendingBoundedTasks();

template <class T>
std::optional<T> runBounded(const QString& key, std::chrono::milliseconds bound,
                            std::function<std::optional<T>()> query,
                            const BoundedGroup& group = kVolumeQueries) {
    // Shared with the worker, which may write it after we have given up.
    auto result = std::make_shared<std::optional<T>>();
    auto work = [result, query = std::move(query)] { *result = query(); };
    if (!runBoundedTask(key, bound, std::move(work), group))
        return std::nullopt;
    return *result;
}

} // namespace ombrix::platform
