#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace ombrix::cpu {

struct Signature {
    unsigned family = 0;
    unsigned model = 0;
    unsigned stepping = 0;
};

// Family, model and stepping from CPUID leaf 1 EAX, extended fields folded in
// as both vendors document.
Signature decodeSignature(std::uint32_t eax);

// The 48-byte brand string of leaves 0x80000002..4 (EAX, EBX, ECX, EDX each).
std::string brandFromRegisters(const std::array<std::uint32_t, 12>& regs);

// The 12-character vendor id of leaf 0 (EBX, EDX, ECX).
std::string vendorFromRegisters(std::uint32_t ebx, std::uint32_t edx, std::uint32_t ecx);

// What the processor says about itself through CPUID.
struct CpuidFacts {
    std::string vendor;
    std::string brand; // trimmed; empty when the processor has none
    std::optional<Signature> signature;
    std::optional<double> baseMHz; // leaf 0x16
};

// nullopt where the machine has no CPUID.
std::optional<CpuidFacts> readCpuid();

} // namespace ombrix::cpu
