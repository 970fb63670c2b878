// Names another computer through the machine's services, as the program makes
// them, and ends while that computer's link is still connecting: prints how
// long the end took, then returns 0.
#include "platform/linux/LinuxMachine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <optional>

using namespace ombrix;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: remote_exit_probe COMPUTER\n", stderr);
        return 2;
    }
    std::optional<platform::LinuxMachine> machine(std::in_place);
    QCoreApplication app(argc, argv);
    QObject receiver;
    bool answered = false;
    const auto link = machine->remoteComputers.link(QString::fromLocal8Bit(argv[1]));
    link->ask<int>(
        &receiver,
        [](platform::PerfCounters& counters) {
            return static_cast<int>(counters.objects().size());
        },
        [&](const platform::LinkAnswer<int>&) { answered = true; });
    QThread::msleep(500); // the link's thread is in its connection by now
    QCoreApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    machine.reset();
    std::printf("%s after %lld ms\n", answered ? "answered" : "ended", clock.elapsed());
    return 0;
}
