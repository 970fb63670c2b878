#include "performance_monitor/ComputerLink.h"

#include <QMetaObject>
#include <QPointer>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace ombrix {

// Shared by the link and its thread: the thread outlives a link closed while
// a request is under way, and then ends by itself.
struct ComputerLink::Worker {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    bool stop = false;
    ComputerLink* link = nullptr; // null once the link is gone
    std::unique_ptr<platform::PerfCounters> counters;

    void run() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return stop || !jobs.empty(); });
                if (stop)
                    break;
                job = std::move(jobs.front());
                jobs.pop_front();
            }
            job();
        }
        counters.reset(); // on this thread, which may wait for the network
    }
    void post(std::function<void()> job) {
        const std::lock_guard lock(mutex);
        jobs.push_back(std::move(job));
        wake.notify_one();
    }
    // Hands an answer to the link's thread, unless the link is gone.
    void answer(std::function<void(ComputerLink&)> deliver) {
        const std::lock_guard lock(mutex);
        if (!link)
            return;
        QMetaObject::invokeMethod(
            link,
            [link = QPointer<ComputerLink>(link), deliver = std::move(deliver)] {
                if (link)
                    deliver(*link);
            },
            Qt::QueuedConnection);
    }
};

ComputerLink::ComputerLink(platform::CounterSources& sources, const QString& computer,
                           QObject* parent)
    : QObject(parent), m_computer(computer), m_worker(std::make_shared<Worker>()) {
    m_worker->link = this;
    std::thread([worker = m_worker] { worker->run(); }).detach();
    m_worker->post([worker = m_worker.get(), &sources, address = computerAddress(computer)] {
        try {
            worker->counters = sources.connect(address);
            auto objects = worker->counters->objects();
            worker->answer([objects = std::move(objects)](ComputerLink& link) {
                link.m_objects = objects;
                link.m_connected = true;
                emit link.connected();
            });
        } catch (const std::exception& e) {
            const QString reason = QString::fromUtf8(e.what());
            worker->answer([reason](ComputerLink& link) { emit link.failed(reason); });
        }
    });
}

ComputerLink::~ComputerLink() {
    const std::lock_guard lock(m_worker->mutex);
    m_worker->link = nullptr;
    m_worker->stop = true;
    m_worker->jobs.clear();
    m_worker->wake.notify_one();
}

void ComputerLink::requestInstances(const QString& object) {
    m_worker->post([worker = m_worker.get(), object] {
        if (!worker->counters)
            return;
        const QStringList instances = worker->counters->instances(object);
        worker->answer([object, instances](ComputerLink& link) {
            emit link.instancesReady(object, instances);
        });
    });
}

void ComputerLink::requestExplanation(const QString& object, const QString& counter) {
    m_worker->post([worker = m_worker.get(), object, counter] {
        if (!worker->counters)
            return;
        const QString text = worker->counters->explanation(object, counter);
        worker->answer([object, counter, text](ComputerLink& link) {
            emit link.explanationReady(object, counter, text);
        });
    });
}

bool ComputerLink::requestSample(const std::vector<platform::CounterPath>& paths) {
    if (m_sampling)
        return false;
    m_sampling = true;
    m_worker->post([worker = m_worker.get(), paths] {
        platform::RawSample sample;
        if (worker->counters)
            sample = worker->counters->sample(paths);
        else
            sample.values.assign(paths.size(), std::nullopt), sample.reachable = false;
        worker->answer([sample = std::move(sample)](ComputerLink& link) {
            link.m_sampling = false;
            emit link.sampled(sample);
        });
    });
    return true;
}

QString computerAddress(const QString& typed) {
    QString address = typed.trimmed();
    while (address.startsWith(QLatin1Char('\\')))
        address.remove(0, 1);
    return address.trimmed();
}

} // namespace ombrix
