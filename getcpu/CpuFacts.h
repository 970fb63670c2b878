#pragma once
#include "Cpuid.h"

#include <optional>
#include <string>

namespace ombrix::cpu {

// Where the facts come from; tests point these at sample trees.
struct Sources {
    std::string sysfsRoot = "/sys/devices/system/cpu";
    std::string cpuinfoPath = "/proc/cpuinfo";
    std::optional<CpuidFacts> cpuid; // nullopt: no CPUID on this machine
};

// The processor facts that do not change while the machine runs.
struct CpuFacts {
    std::string model;
    std::string vendor;
    std::string extra;
    std::optional<double> nominalMHz;
};

inline constexpr const char* kUnknown = "Unknown";

CpuFacts gatherFacts(const Sources& sources);

} // namespace ombrix::cpu
