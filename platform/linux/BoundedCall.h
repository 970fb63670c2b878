#pragma once
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace ombrix::platform {

// Most workers that may wait on volumes that do not answer at one time.
inline constexpr int kMaxPendingVolumeQueries = 8;

// Runs work on a detached worker thread and waits at most `bound` for it.
// Returns false when it did not finish in time, or when it was not started:
// while an earlier worker for the same key has not returned (a hung volume
// stays hung), or when kMaxPendingVolumeQueries workers are still out. A
// worker left behind never holds up later calls or the end of the program.
bool runBoundedTask(const QString& key, std::chrono::milliseconds bound,
                    std::function<void()> work);

// Workers started and not yet returned.
int pendingBoundedTasks();

template <class T>
std::optional<T> runBounded(const QString& key, std::chrono::milliseconds bound,
                            std::function<std::optional<T>()> query) {
    // Shared with the worker, which may write it after we have given up.
    auto result = std::make_shared<std::optional<T>>();
    auto work = [result, query = std::move(query)] { *result = query(); };
    if (!runBoundedTask(key, bound, std::move(work)))
        return std::nullopt;
    return *result;
}

} // namespace ombrix::platform
