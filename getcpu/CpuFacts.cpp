#include "CpuFacts.h"

#include "CpuFiles.h"
#include "CpuText.h"

namespace ombrix::cpu {
namespace {

// The first processor block is all we read; 64 KiB holds it with room for
// an absurdly long line, which is cut.
constexpr std::size_t kCpuinfoCap = 64 * 1024;

std::optional<double> firstCpuValue(const std::string& root, const char* file, double scale) {
    for (const auto& cpu : cpuDirectories(root)) {
        if (auto value = readNumberFile(cpu + "/" + file)) {
            if (plausibleMHz(*value * scale))
                return *value * scale;
            return std::nullopt; // present but zero: the kernel does not know it
        }
    }
    return std::nullopt;
}

} // namespace

CpuFacts gatherFacts(const Sources& sources) {
    const CpuinfoFields info =
        parseCpuinfo(readFile(sources.cpuinfoPath, kCpuinfoCap, true).value_or(""));

    // The kernel's names first: they are what lscpu and every other tool
    // show, and on a virtual machine restored on another host CPUID may name
    // a different processor. CPUID fills in what the kernel does not say.
    CpuFacts f;
    f.model = cpuinfoModel(info);
    f.vendor = cpuinfoVendor(info);
    f.extra = cpuinfoExtra(info);
    if (sources.cpuid) {
        if (f.model.empty())
            f.model = sources.cpuid->brand;
        if (f.vendor.empty())
            f.vendor = sources.cpuid->vendor;
        if (const auto& s = sources.cpuid->signature; f.extra.empty() && s)
            f.extra = describeSignature(s->family, s->model, s->stepping);
    }

    // The nominal clock: the first source the machine offers, most exact first.
    const std::string& root = sources.sysfsRoot;
    f.nominalMHz = firstCpuValue(root, "cpufreq/base_frequency", 1e-3);
    if (!f.nominalMHz && sources.cpuid)
        f.nominalMHz = sources.cpuid->baseMHz;
    if (!f.nominalMHz)
        f.nominalMHz = firstCpuValue(root, "acpi_cppc/nominal_freq", 1.0);
    if (!f.nominalMHz)
        f.nominalMHz = brandFrequencyMHz(
            sources.cpuid && !sources.cpuid->brand.empty() ? sources.cpuid->brand : f.model);
    if (!f.nominalMHz)
        f.nominalMHz = firstCpuValue(root, "cpufreq/cpuinfo_max_freq", 1e-3);
    if (!f.nominalMHz)
        f.nominalMHz = info.mhz;

    if (f.model.empty())
        f.model = kUnknown;
    if (f.vendor.empty())
        f.vendor = kUnknown;
    return f;
}

} // namespace ombrix::cpu
