// The processor library through the program's loader: each call on its own,
// the sequence GetInfo makes, and loading the library and making that
// sequence the first time.
#include "platform/linux/LinuxCpuLibrary.h"

#include <benchmark/benchmark.h>

#include <array>

using ombrix::platform::LinuxCpuLibrary;

namespace {

LinuxCpuLibrary& loaded() {
    static LinuxCpuLibrary library;
    static const bool warm = [] {
        std::array<char, 256> a{}, b{}, c{};
        library.GetProcessor(a.data(), b.data(), c.data());
        library.GetProcessorRawSpeed(a.data());
        return true;
    }();
    (void)warm;
    return library;
}

void getInfoSequence(LinuxCpuLibrary& library) {
    // Five fresh zero buffers, then the three calls in the program's order.
    std::array<char, 256> model{}, raw{}, norm{}, vendor{}, extra{};
    library.GetProcessor(model.data(), vendor.data(), extra.data());
    library.GetProcessorRawSpeed(raw.data());
    library.GetProcessorNormSpeed(norm.data());
    benchmark::DoNotOptimize(model);
    benchmark::DoNotOptimize(norm);
}

// A fresh loader each time: dlopen, the facts gathered, the clock measured,
// dlclose. This is what the program's first GetInfo pays. Registered first,
// so no other handle keeps the library loaded between rounds.
void BM_LoadAndFirstGetInfoSequence(benchmark::State& state) {
    for (auto _ : state) {
        LinuxCpuLibrary library;
        getInfoSequence(library);
    }
}
BENCHMARK(BM_LoadAndFirstGetInfoSequence)->Unit(benchmark::kMicrosecond)->Iterations(50);

// One of the two speed calls, named by what follows the benchmark's name.
void BM_GetProcessorSpeed(benchmark::State& state, void (LinuxCpuLibrary::*read)(char* speed)) {
    auto& library = loaded();
    std::array<char, 256> speed{};
    for (auto _ : state) {
        (library.*read)(speed.data());
        benchmark::DoNotOptimize(speed);
    }
}
BENCHMARK_CAPTURE(BM_GetProcessorSpeed, Norm, &LinuxCpuLibrary::GetProcessorNormSpeed)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_GetProcessorSpeed, Raw, &LinuxCpuLibrary::GetProcessorRawSpeed)
    ->Unit(benchmark::kMicrosecond);

void BM_GetProcessor(benchmark::State& state) {
    auto& library = loaded();
    std::array<char, 256> model{}, vendor{}, extra{};
    for (auto _ : state) {
        library.GetProcessor(model.data(), vendor.data(), extra.data());
        benchmark::DoNotOptimize(model);
    }
}
BENCHMARK(BM_GetProcessor)->Unit(benchmark::kMicrosecond);

void BM_GetInfoSequence(benchmark::State& state) {
    auto& library = loaded();
    for (auto _ : state)
        getInfoSequence(library);
}
BENCHMARK(BM_GetInfoSequence)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
