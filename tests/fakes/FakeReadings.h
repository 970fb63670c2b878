#pragma once
#include "platform/Machine.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <utility>

// A computer's readings as the test tells them. By default this computer's:
// it answers, and a refresh is done at once. With `held` a refresh waits,
// as one over a link does, until the test calls finish(); setAnswering()
// tells the watcher, as a link's verdict does.
class FakeReadings final : public ombrix::platform::ComputerReadings {
public:
    bool held = false;
    int refreshes = 0; // asked, whether held or not

    bool answering() const override { return m_answering; }
    void watch(QObject* receiver, std::function<void()> changed) override {
        m_watcher = receiver;
        m_changed = std::move(changed);
    }
    void refresh(QObject* receiver, std::function<void()> done) override {
        ++refreshes;
        if (!held) {
            done();
        } else if (!m_done) { // one out at a time
            m_receiver = receiver;
            m_done = std::move(done);
        }
    }

    void setAnswering(bool answering) {
        m_answering = answering;
        if (m_watcher && m_changed)
            m_changed();
    }
    // Ends the refresh that waits, if any: its receiver is told the
    // readings are in.
    bool finish() {
        auto done = std::exchange(m_done, nullptr);
        if (!done || !m_receiver)
            return false;
        done();
        return true;
    }

private:
    bool m_answering = true;
    QPointer<QObject> m_watcher;
    std::function<void()> m_changed;
    QPointer<QObject> m_receiver;
    std::function<void()> m_done;
};
