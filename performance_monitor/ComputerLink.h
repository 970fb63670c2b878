#pragma once
#include "platform/CounterSources.h"

#include <QObject>

#include <memory>
#include <vector>

namespace ombrix {

// Another computer's counters, reached on a thread of its own so that the
// user-interface thread never waits for the network. Requests run in order;
// each answer comes back as a signal on the thread that owns the link.
class ComputerLink : public QObject {
    Q_OBJECT
public:
    ComputerLink(platform::CounterSources& sources, const QString& computer,
                 QObject* parent = nullptr);
    // Returns at once; a request under way finishes on its thread and is dropped.
    ~ComputerLink() override;

    const QString& computer() const { return m_computer; }
    bool isConnected() const { return m_connected; }
    // The computer's objects, once connected.
    const std::vector<platform::ObjectInfo>& objects() const { return m_objects; }

    void requestInstances(const QString& object);
    void requestExplanation(const QString& object, const QString& counter);
    // False, and nothing asked, while the previous sample is still under way.
    bool requestSample(const std::vector<platform::CounterPath>& paths);

signals:
    void connected();
    void failed(const QString& reason);
    void instancesReady(const QString& object, const QStringList& instances);
    void explanationReady(const QString& object, const QString& counter, const QString& text);
    void sampled(const ombrix::platform::RawSample& sample);

private:
    struct Worker;
    QString m_computer;
    bool m_connected = false;
    bool m_sampling = false;
    std::vector<platform::ObjectInfo> m_objects;
    std::shared_ptr<Worker> m_worker;
};

// "\\host", "host" or "host:port" as the user typed it, as libpcp takes it.
QString computerAddress(const QString& typed);

} // namespace ombrix
