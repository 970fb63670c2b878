#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace ombrix::platform {

// Threads one owner starts, each running one body and ending; the owner joins
// them: those that ended as it starts more or is waited on, and all of them
// when it goes, waiting at most `mostEndWait` then.
class KeptThreads {
public:
    explicit KeptThreads(std::chrono::milliseconds mostEndWait) : m_mostEndWait(mostEndWait) {}
    KeptThreads(const KeptThreads&) = delete;
    KeptThreads& operator=(const KeptThreads&) = delete;

    ~KeptThreads() {
        waitUntilNoneRuns(m_mostEndWait);
        // A thread stuck in a system call (a volume or a print service that
        // never answers) cannot be joined: waiting on it would keep the
        // program for ever. It is left running instead. It touches only what
        // its body owns and the record it shares with us, which it keeps
        // alive itself, never this object.
        const std::lock_guard threadsLock(m_threadsLock);
        for (auto& [id, thread] : m_threads)
            thread.detach();
    }

    // Runs body on a thread of its own; throws std::system_error where no
    // thread can be started. What body throws is dropped: bodies report
    // through what they own.
    void start(std::function<void()> body) {
        const std::lock_guard threadsLock(m_threadsLock);
        joinEnded();
        {
            const std::lock_guard lock(m_shared->mutex);
            ++m_shared->running;
        }
        try {
            std::thread thread([shared = m_shared, body = std::move(body)] {
                try {
                    body();
                } catch (...) {
                }
                {
                    const std::lock_guard lock(shared->mutex);
                    shared->ended.push_back(std::this_thread::get_id());
                    --shared->running;
                }
                shared->changed.notify_all();
            });
            const std::thread::id id = thread.get_id();
            m_threads.emplace(id, std::move(thread));
        } catch (...) {
            const std::lock_guard lock(m_shared->mutex);
            --m_shared->running;
            throw;
        }
    }

    // Threads started and not yet ended.
    int running() const {
        const std::lock_guard lock(m_shared->mutex);
        return m_shared->running;
    }

    // Waits until every body has returned, or at most `bound`; false when
    // some still run then. The threads that ended are joined.
    bool waitUntilNoneRuns(std::chrono::milliseconds bound) {
        bool none = false;
        {
            std::unique_lock lock(m_shared->mutex);
            none = m_shared->changed.wait_for(lock, bound, [&] { return m_shared->running == 0; });
        }
        const std::lock_guard threadsLock(m_threadsLock);
        joinEnded();
        return none;
    }

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        int running = 0;
        std::vector<std::thread::id> ended; // returned, not yet joined
    };

    // With m_threadsLock held. A thread named here has left its body and
    // only notifies, so joining it is at once.
    void joinEnded() {
        std::vector<std::thread::id> ended;
        {
            const std::lock_guard lock(m_shared->mutex);
            ended.swap(m_shared->ended);
        }
        for (const std::thread::id id : ended)
            if (auto node = m_threads.extract(id))
                node.mapped().join();
    }

    std::chrono::milliseconds m_mostEndWait;
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
    std::mutex m_threadsLock; // guards m_threads; taken before m_shared->mutex
    std::map<std::thread::id, std::thread> m_threads;
};

} // namespace ombrix::platform
