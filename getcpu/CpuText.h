#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ombrix::cpu {

// Every text the library hands out fits 255 bytes plus the terminating zero.
inline constexpr std::size_t kMaxText = 255;

// The facts of the first processor that /proc/cpuinfo describes. Keys differ
// between architectures; each field holds the first value found.
struct CpuinfoFields {
    std::string modelName; // "model name", else "cpu model", "Processor", "cpu", "uarch"
    std::string vendorId;  // x86 and s390 "vendor_id"
    std::string cpuFamily, model, stepping; // x86
    std::optional<unsigned> armImplementer, armArchitecture, armVariant, armPart, armRevision;
    std::optional<double> mhz; // "cpu MHz", "cpu MHz static" or POWER's "clock"
};

CpuinfoFields parseCpuinfo(std::string_view text);

// Cut at the first zero, control characters made spaces, outer blanks removed.
std::string trimBrand(std::string_view raw);

// The clock a brand string names ("@ 3.20GHz", "2400 MHz"), in MHz.
std::optional<double> brandFrequencyMHz(std::string_view brand);

// ARM implementer and part names as lscpu prints them; empty when unknown.
std::string_view armImplementerName(unsigned implementer);
std::string_view armPartName(unsigned implementer, unsigned part);

// Vendor, model and extra text from /proc/cpuinfo alone.
std::string cpuinfoVendor(const CpuinfoFields& f);
std::string cpuinfoModel(const CpuinfoFields& f);
std::string cpuinfoExtra(const CpuinfoFields& f);

std::string describeSignature(unsigned family, unsigned model, unsigned stepping);

// A clock in whole MHz; empty for a value that is not a plausible clock.
std::string formatMHz(double mhz);
bool plausibleMHz(double mhz);

// Writes at most kMaxText bytes of text and a zero, never cutting a UTF-8
// sequence in two.
void copyOut(char* buffer, std::string_view text);

} // namespace ombrix::cpu
