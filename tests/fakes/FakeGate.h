#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>

// A service that does not answer: callers wait until the gate opens, or
// until `bound` has passed (the real services give up then, too).
class FakeGate {
public:
    // True when opened, false when the bound passed first.
    bool pass(std::chrono::milliseconds bound) {
        std::unique_lock lock(m_mutex);
        ++m_waiting;
        const bool opened = m_changed.wait_for(lock, bound, [this] { return m_open; });
        --m_waiting;
        return opened;
    }
    void open() {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }
    int waiting() {
        std::lock_guard lock(m_mutex);
        return m_waiting;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
    int m_waiting = 0;
};
