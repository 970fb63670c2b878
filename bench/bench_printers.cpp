// How long the printers query holds the window: with no scheduler, with a
// scheduler that accepts but never answers (the bound), and with whatever
// scheduler CUPS_SERVER names.
#include "platform/linux/printers/CupsPrinters.h"

#include <benchmark/benchmark.h>
#include <cups/cups.h>

#include <QByteArray>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

void useServer(const QByteArray& server) {
    setenv("CUPS_SERVER", server.constData(), 1);
    cupsSetServer(nullptr);
}

void BM_QueryNothingListening(benchmark::State& state) {
    QTemporaryDir dir;
    const QByteArray saved = qgetenv("CUPS_SERVER");
    useServer(dir.filePath("none.sock").toLocal8Bit());
    ombrix::platform::CupsPrinters printers;
    for (auto _ : state)
        benchmark::DoNotOptimize(printers.query());
    useServer(saved);
}
BENCHMARK(BM_QueryNothingListening)->Unit(benchmark::kMicrosecond);

void BM_QuerySilentScheduler(benchmark::State& state) {
    QTemporaryDir dir;
    const QByteArray path = dir.filePath("mute.sock").toLocal8Bit();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.constData(), sizeof addr.sun_path - 1);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, 16) != 0) {
        state.SkipWithError("cannot listen on a unix socket");
        return;
    }
    const QByteArray saved = qgetenv("CUPS_SERVER");
    useServer(path);
    ombrix::platform::CupsPrinters printers;
    for (auto _ : state)
        benchmark::DoNotOptimize(printers.query());
    useServer(saved);
    ::close(fd);
}
BENCHMARK(BM_QuerySilentScheduler)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_QueryConfiguredScheduler(benchmark::State& state) {
    ombrix::platform::CupsPrinters printers;
    if (!printers.query().serviceReachable) {
        state.SkipWithError("no scheduler reachable (set CUPS_SERVER)");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(printers.query());
}
BENCHMARK(BM_QueryConfiguredScheduler)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
