// Another computer's services as the windows read them, while fresh facts
// from its collector replace the ones they read.
#include "platform/linux/RemoteMachine.h"

#include <QTest>

#include <atomic>
#include <thread>

using namespace ombrix;

class tst_RemoteWindows : public QObject {
    Q_OBJECT

private slots:
    void drivesReadWhileFreshFactsArrive();
};

// The drive window asks the drives off the user-interface thread while fresh
// facts replace the ones it reads: it reads whole facts, old or new.
void tst_RemoteWindows::drivesReadWhileFreshFactsArrive() {
    platform::RemoteFacts facts;
    facts.volumes.emplace();
    for (int i = 0; i < 20; ++i)
        facts.volumes->push_back({"/dev/sd" + QString(QChar('a' + i)),
                                  i ? "/m" + QString::number(i) : "/", false, 1000u * (i + 1),
                                  10u * (i + 1)});
    platform::RemoteMachine remote("far", facts);
    std::atomic<bool> done = false;
    std::atomic<int> wrong = 0;
    std::thread reader([&] {
        while (!done) {
            const auto files = remote.fileSystem.create();
            if (!files || files->DriveLetters().size() != 20)
                ++wrong;
        }
    });
    for (int i = 0; i < 2000; ++i) {
        platform::RemoteFacts fresh = facts;
        fresh.volumes->front().availableBytes = i;
        remote.snapshot.update(std::move(fresh));
        platform::RemoteFacts summaryOnly;
        summaryOnly.summary.nodeName = "far";
        remote.snapshot.update(std::move(summaryOnly)); // keeps the volumes
    }
    done = true;
    reader.join();
    QCOMPARE(wrong.load(), 0);
    QCOMPARE(remote.fileSystem.create()->DriveLetters().size(), 20);
}

QTEST_MAIN(tst_RemoteWindows)
#include "tst_RemoteWindows.moc"
