// Another computer's report built from facts its collector has told (PCP's
// default agents, as a Linux server with four adapters and a dozen volumes
// tells them): the program's own work for each computer of a fleet report,
// without the network's, written as JSON; and for each row of the Computers
// window at each of its readings.
#include "program/Program.h"
#include "program/ReportCommand.h"
#include "report/ReportOutput.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

using namespace ombrix;
using namespace ombrix::platform;

namespace {

RemoteFacts serverFacts() {
    RemoteFacts facts;
    facts.address = "192.0.2.2";
    RemoteSummary& summary = facts.summary;
    summary.nodeName = "build-17.example.org";
    summary.kernelRelease = "6.1.0-27-amd64";
    summary.kernelVersion = "#1 SMP PREEMPT_DYNAMIC Debian 6.1.115-1 (2024-11-01)";
    summary.distribution = "Debian GNU/Linux 12 (bookworm)";
    summary.processorModel = "Intel(R) Xeon(R) Gold 6230 CPU @ 2.10GHz";
    summary.processorVendor = "GenuineIntel";
    summary.processorMHz = 2100.0;
    summary.totalMemory = 67'108'864'000;
    summary.availableMemory = 40'265'318'400;
    summary.timeZone = "Europe/Berlin";
    facts.adapters = std::vector<RemoteAdapter>{
        {"lo", {"127.0.0.1"}, {"::1/128"}, "00:00:00:00:00:00", true},
        {"eth0", {"192.0.2.2"}, {"fd00::2/64", "fe80::fc:ff:fe00:1/64"}, "02:fc:00:00:00:01"},
        {"eth1", {"10.1.0.2", "10.1.0.3"}, {}, "02:fc:00:00:00:02"},
        {"docker0", {"172.17.0.1"}, {}, "02:42:ac:11:00:01"}};
    std::vector<RemoteVolume> volumes;
    for (const char* mount : {"/", "/boot", "/boot/efi", "/home", "/var", "/srv/data"})
        volumes.push_back({QStringLiteral("/dev/sda%1").arg(volumes.size() + 1), mount, false,
                           500'000'000'000ull, 200'000'000'000ull});
    for (const char* mount : {"/run", "/dev/shm", "/run/lock", "/tmp", "/run/user/1000"})
        volumes.push_back({QString(), mount, true, 3'000'000'000ull, 2'900'000'000ull});
    facts.volumes = std::move(volumes);
    return facts;
}

void BM_ComputerReportAsJson(benchmark::State& state) {
    const RemoteFacts facts = serverFacts();
    const std::vector<ReportSection> sections{ReportSection::Summary, ReportSection::Network,
                                              ReportSection::Drives};
    for (auto _ : state) {
        const ComputerReport report =
            ComputerReportOf("build-17", "build-17.example.org", facts, sections);
        benchmark::DoNotOptimize(ComputerReportJsonEntry(report));
    }
}
BENCHMARK(BM_ComputerReportAsJson)->Unit(benchmark::kMicrosecond);

void BM_ComputersWindowRow(benchmark::State& state) {
    const RemoteFacts facts = serverFacts();
    for (auto _ : state)
        benchmark::DoNotOptimize(program::ComputerSummary("build-17.example.org", facts));
}
BENCHMARK(BM_ComputersWindowRow)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
