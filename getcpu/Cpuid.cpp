#include "Cpuid.h"

#include "CpuText.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace ombrix::cpu {

Signature decodeSignature(std::uint32_t eax) {
    const unsigned baseFamily = (eax >> 8) & 0xf;
    const unsigned baseModel = (eax >> 4) & 0xf;
    Signature s;
    s.stepping = eax & 0xf;
    s.family = baseFamily == 0xf ? baseFamily + ((eax >> 20) & 0xff) : baseFamily;
    s.model = (baseFamily == 0x6 || baseFamily == 0xf) ? (((eax >> 16) & 0xf) << 4) | baseModel
                                                       : baseModel;
    return s;
}

std::string brandFromRegisters(const std::array<std::uint32_t, 12>& regs) {
    char raw[48];
    std::memcpy(raw, regs.data(), sizeof raw);
    return trimBrand(std::string_view(raw, sizeof raw));
}

std::string vendorFromRegisters(std::uint32_t ebx, std::uint32_t edx, std::uint32_t ecx) {
    char raw[12];
    std::memcpy(raw, &ebx, 4);
    std::memcpy(raw + 4, &edx, 4);
    std::memcpy(raw + 8, &ecx, 4);
    return trimBrand(std::string_view(raw, sizeof raw));
}

std::optional<CpuidFacts> readCpuid() {
#if defined(__x86_64__) || defined(__i386__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(0, &a, &b, &c, &d))
        return std::nullopt;
    const unsigned maxLeaf = a;
    CpuidFacts facts;
    facts.vendor = vendorFromRegisters(b, d, c);
    if (maxLeaf >= 1 && __get_cpuid(1, &a, &b, &c, &d))
        facts.signature = decodeSignature(a);
    if (maxLeaf >= 0x16 && __get_cpuid(0x16, &a, &b, &c, &d) && plausibleMHz(a & 0xffff))
        facts.baseMHz = a & 0xffff;
    if (__get_cpuid_max(0x80000000, nullptr) >= 0x80000004) {
        std::array<std::uint32_t, 12> regs{};
        for (unsigned leaf = 0; leaf < 3; ++leaf)
            __get_cpuid(0x80000002 + leaf, &regs[leaf * 4], &regs[leaf * 4 + 1],
                        &regs[leaf * 4 + 2], &regs[leaf * 4 + 3]);
        facts.brand = brandFromRegisters(regs);
    }
    return facts;
#else
    return std::nullopt;
#endif
}

} // namespace ombrix::cpu
