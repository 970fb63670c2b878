// The network report over the live view, for a namespace holding 32 to 256
// interfaces: built and shown in the window. Needs root (network namespaces).
#include "network_report/NetworkReport.h"
#include "network_report/frmNetCheck.h"
#include "platform/Registry.h"
#include "platform/linux/network/LiveNetworkView.h"
#include "platform/registry/MemoryRegistryStore.h"
#include "platform/registry/RegistryLayer.h"
#include "registry/clsRegistryAccess.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

using namespace ombrix;
using namespace ombrix::platform;

namespace {

std::string namespaceName(int interfaces) {
    return "ombrix-bench-" + std::to_string(getpid()) + "-" + std::to_string(interfaces);
}

// Veth pairs, each end with an address of its own and half of them leased.
bool makeNamespace(int interfaces) {
    const std::string ns = namespaceName(interfaces);
    if (std::system(("ip netns add " + ns).c_str()) != 0)
        return false;
    const std::string batch = "/tmp/" + ns + ".batch";
    FILE* f = std::fopen(batch.c_str(), "w");
    if (!f)
        return false;
    for (int i = 0; i < interfaces / 2; ++i) {
        std::fprintf(f, "link add bench%da type veth peer name bench%db\n", i, i);
        std::fprintf(f, "addr add 10.%d.%d.1/24 dev bench%da\n", i / 256, i % 256, i);
        std::fprintf(f, "addr add 10.%d.%d.2/24 dev bench%db valid_lft 3600 preferred_lft 3600\n",
                     100 + i / 256, i % 256, i);
        std::fprintf(f, "link set bench%da up\nlink set bench%db up\n", i, i);
    }
    std::fprintf(f, "route add default via 10.0.0.254 dev bench0a\n");
    std::fclose(f);
    const bool ok = std::system(("ip -n " + ns + " -batch " + batch).c_str()) == 0;
    std::remove(batch.c_str());
    return ok;
}

void removeNamespace(int interfaces) {
    std::system(("ip netns del " + namespaceName(interfaces) + " 2>/dev/null").c_str());
}

bool enterNamespace(const std::string& name) {
    const int fd = open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = setns(fd, CLONE_NEWNET) == 0;
    close(fd);
    return ok;
}

const int kSizes[] = {32, 64, 128, 256};
std::map<int, bool> g_ready;
int g_hostNamespace = -1;

void BM_NetworkReportShown(benchmark::State& state) {
    const int interfaces = static_cast<int>(state.range(0));
    if (!g_ready[interfaces] || !enterNamespace(namespaceName(interfaces))) {
        state.SkipWithError("needs root and network namespaces");
        return;
    }
    registry::RegistryLayer layer;
    layer.setStore(HKEY_LOCAL_MACHINE, std::make_shared<registry::MemoryRegistryStore>());
    layer.mount(HKEY_LOCAL_MACHINE, std::string(LiveNetworkView::kMountPath),
                std::make_shared<LiveNetworkView>());
    frmNetCheck window(layer);
    window.Form_Load();
    window.show();
    auto* button = window.findChild<QPushButton*>("cmdNetCheck");
    auto* list = window.findChild<QListWidget*>("List1");
    for (auto _ : state) {
        button->click();
        window.repaint();
        benchmark::DoNotOptimize(list->count());
    }
    // Four machine lines, then eight per adapter but the last.
    if (list->count() < 3 + 8 * interfaces)
        state.SkipWithError("the report does not list every interface");
    state.SetComplexityN(interfaces);
    state.counters["lines"] = list->count();
    setns(g_hostNamespace, CLONE_NEWNET);
}

// The report alone, without the window.
void BM_NetworkReportBuilt(benchmark::State& state) {
    const int interfaces = static_cast<int>(state.range(0));
    if (!g_ready[interfaces] || !enterNamespace(namespaceName(interfaces))) {
        state.SkipWithError("needs root and network namespaces");
        return;
    }
    registry::RegistryLayer layer;
    layer.setStore(HKEY_LOCAL_MACHINE, std::make_shared<registry::MemoryRegistryStore>());
    layer.mount(HKEY_LOCAL_MACHINE, std::string(LiveNetworkView::kMountPath),
                std::make_shared<LiveNetworkView>());
    const clsRegistryAccess access(layer);
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildNetworkReport(access));
    setns(g_hostNamespace, CLONE_NEWNET);
}

// One adapter's TCP/IP key, as each of its four reads opens it.
void BM_AdapterKeyOpened(benchmark::State& state) {
    const int interfaces = static_cast<int>(state.range(0));
    if (!g_ready[interfaces] || !enterNamespace(namespaceName(interfaces))) {
        state.SkipWithError("needs root and network namespaces");
        return;
    }
    const LiveNetworkView view;
    for (auto _ : state)
        benchmark::DoNotOptimize(view.openKey("bench1a\\Parameters\\Tcpip"));
    setns(g_hostNamespace, CLONE_NEWNET);
}

} // namespace

BENCHMARK(BM_NetworkReportBuilt)->Arg(32)->Arg(256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AdapterKeyOpened)->Arg(32)->Arg(256)->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_NetworkReportShown)
    ->Arg(32)
    ->Arg(64)
    ->Arg(128)
    ->Arg(256)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    g_hostNamespace = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    for (int size : kSizes)
        g_ready[size] = geteuid() == 0 && makeNamespace(size);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (int size : kSizes)
        removeNamespace(size);
    close(g_hostNamespace);
    return 0;
}
