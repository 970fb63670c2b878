// Registry reads on the SQLite store: one value by GetRegistryValue, and the
// listing of a key with 10,000 subkeys by EnumerateRegistryKeys.
#include "platform/registry/MemoryRegistryStore.h"
#include "platform/registry/RegistryLayer.h"
#include "platform/registry/SqliteRegistryStore.h"
#include "registry/clsRegistryAccess.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

using namespace ombrix;
using namespace ombrix::platform;

namespace {

struct Fixture {
    QTemporaryDir dir;
    registry::RegistryLayer layer;
    clsRegistryAccess access{layer};

    explicit Fixture(bool sqlite) {
        std::shared_ptr<registry::RegistryStore> store;
        if (sqlite)
            store = std::make_shared<registry::SqliteRegistryStore>(
                dir.filePath(QStringLiteral("registry.db")).toStdString());
        else
            store = std::make_shared<registry::MemoryRegistryStore>();
        layer.setStore(HKEY_LOCAL_MACHINE, store);
    }
    void addKey(const std::string& path) {
        HKEY key = 0;
        layer.RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr);
        layer.RegCloseKey(key);
    }
};

const char* const kParameters = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";

void BM_GetRegistryValue(benchmark::State& state) {
    Fixture f(state.range(0) != 0);
    f.access.SetRegistryValue(kParameters, "Domain", "example.org");
    for (int i = 0; i < 50; ++i)
        f.access.SetRegistryValue(kParameters, QStringLiteral("Other%1").arg(i), "x");
    for (auto _ : state)
        benchmark::DoNotOptimize(f.access.GetRegistryValue(kParameters, "Domain"));
}
BENCHMARK(BM_GetRegistryValue)
    ->ArgName("sqlite")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_EnumerateRegistryKeys10000(benchmark::State& state) {
    Fixture f(state.range(0) != 0);
    for (int i = 0; i < 10000; ++i)
        f.addKey("SYSTEM\\Adapters\\Adapter" + std::to_string(i));
    for (auto _ : state) {
        const auto rows = f.access.EnumerateRegistryKeys("SYSTEM\\Adapters");
        if (!rows || rows->size() != 10000)
            state.SkipWithError("listing incomplete");
        benchmark::DoNotOptimize(rows);
    }
}
BENCHMARK(BM_EnumerateRegistryKeys10000)
    ->ArgName("sqlite")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
