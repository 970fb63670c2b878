// The three exported functions; everything else in the library is hidden.
#pragma GCC visibility push(default)
#include "getcpu.h"
#pragma GCC visibility pop

#include "ClockMeasure.h"
#include "CpuFacts.h"
#include "CpuFiles.h"
#include "CpuText.h"
#include "SpeedSampler.h"

#include <chrono>
#include <string>

namespace {

using namespace ombrix::cpu;

const Sources& sources() {
    static const Sources s{.cpuid = readCpuid()};
    return s;
}

const CpuFacts& facts() {
    static const CpuFacts f = gatherFacts(sources());
    return f;
}

// The one-time measurement, taken on first use.
std::optional<double> measuredOnce() {
    static const std::optional<double> mhz = measureClockMHz();
    return mhz;
}

// The cores' current clock where the kernel tells it. Reading it is slow on
// some kernels, so while the program keeps asking a worker takes a reading
// every second; the caller gets the last one and never waits.
std::optional<double> currentClockMHz() {
    static const bool available = hasCurrentFrequency(sources().sysfsRoot);
    if (!available)
        return std::nullopt;
    static SpeedSampler sampler(
        [](std::stop_token stop) { return averageCurrentMHz(sources().sysfsRoot, stop); },
        std::chrono::seconds(1), std::chrono::seconds(15));
    return sampler.latest();
}

int writeSpeed(char* speed, std::optional<double> mhz) {
    const std::string text = mhz ? formatMHz(*mhz) : std::string();
    copyOut(speed, text);
    return text.empty() ? 1 : 0;
}

} // namespace

extern "C" int GetProcessor(char* model, char* vendor, char* extra) {
    try {
        const CpuFacts& f = facts();
        if (model)
            copyOut(model, f.model);
        if (vendor)
            copyOut(vendor, f.vendor);
        if (extra)
            copyOut(extra, f.extra);
        return (model && vendor && extra) ? 0 : 1;
    } catch (...) {
        return -1;
    }
}

extern "C" int GetProcessorRawSpeed(char* speed) {
    if (!speed)
        return 1;
    try {
        std::optional<double> mhz = currentClockMHz();
        if (!mhz)
            mhz = measuredOnce(); // no kernel reading (yet)
        if (!mhz)
            mhz = facts().nominalMHz;
        return writeSpeed(speed, mhz);
    } catch (...) {
        copyOut(speed, "");
        return -1;
    }
}

extern "C" int GetProcessorNormSpeed(char* speed) {
    if (!speed)
        return 1;
    try {
        std::optional<double> mhz = facts().nominalMHz;
        if (!mhz)
            mhz =
                measuredOnce(); // the machine names no clock: the measured one is the best there is
        return writeSpeed(speed, mhz);
    } catch (...) {
        copyOut(speed, "");
        return -1;
    }
}
