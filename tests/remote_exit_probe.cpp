// Names another computer through the machine's services, as the program makes
// them, and ends while that computer's link is still connecting: prints how
// long the end took, then returns 0.
#include "platform/linux/LinuxMachine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

using namespace ombrix;

namespace {

// Whether a TCP socket of this network namespace is in SYN-SENT.
bool connecting() {
    std::ifstream table("/proc/self/net/tcp");
    std::string line;
    std::getline(table, line); // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        if (fields >> slot >> local >> remote >> state && state == "02")
            return true;
    }
    return false;
}

} // namespace

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
    // Until the link's thread is in its connection: this process, alone in
    // its network namespace, has a TCP socket waiting for the answer to its SYN.
    QElapsedTimer waiting;
    waiting.start();
    while (!connecting()) {
        if (waiting.elapsed() > 10000) {
            std::fputs("remote_exit_probe: the link never began its connection\n", stderr);
            return 1;
        }
        QThread::msleep(10);
    }
    QCoreApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    machine.reset();
    std::printf("%s after %lld ms\n", answered ? "answered" : "ended", clock.elapsed());
    return 0;
}
