#include "CpuText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

namespace ombrix::cpu {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::optional<unsigned> parseUnsigned(std::string_view s) {
    s = trimmed(s);
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        base = 16;
    }
    unsigned value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    if (ec != std::errc() || end == s.data())
        return std::nullopt;
    return value;
}

std::optional<double> parseLeadingDouble(std::string_view s) {
    s = trimmed(s);
    double value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end == s.data() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

void keepFirst(std::string& field, std::string_view value) {
    if (field.empty())
        field.assign(value.substr(0, 4 * kMaxText)); // a huge line is cut when it is kept
}

void keepFirst(std::optional<unsigned>& field, std::string_view value) {
    if (!field)
        field = parseUnsigned(value);
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

} // namespace

CpuinfoFields parseCpuinfo(std::string_view text) {
    CpuinfoFields f;
    std::string legacyProcessor, cpu, cpuModel, uarch;
    while (!text.empty()) {
        const auto eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view key = trimmed(line.substr(0, colon));
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (key == "model name")
            keepFirst(f.modelName, value);
        else if (key == "vendor_id")
            keepFirst(f.vendorId, value);
        else if (key == "cpu family")
            keepFirst(f.cpuFamily, value);
        else if (key == "model")
            keepFirst(f.model, value);
        else if (key == "stepping")
            keepFirst(f.stepping, value);
        else if (key == "CPU implementer")
            keepFirst(f.armImplementer, value);
        else if (key == "CPU architecture")
            keepFirst(f.armArchitecture, value);
        else if (key == "CPU variant")
            keepFirst(f.armVariant, value);
        else if (key == "CPU part")
            keepFirst(f.armPart, value);
        else if (key == "CPU revision")
            keepFirst(f.armRevision, value);
        else if (key == "Processor") // 32-bit ARM kernels before "model name"
            keepFirst(legacyProcessor, value);
        else if (key == "cpu") // POWER
            keepFirst(cpu, value);
        else if (key == "cpu model") // MIPS
            keepFirst(cpuModel, value);
        else if (key == "uarch") // RISC-V
            keepFirst(uarch, value);
        else if ((key == "cpu MHz" || key == "cpu MHz static" || key == "clock") && !f.mhz) {
            if (auto mhz = parseLeadingDouble(value); mhz && plausibleMHz(*mhz))
                f.mhz = mhz;
        }
    }
    for (std::string* alternative : {&cpuModel, &legacyProcessor, &cpu, &uarch})
        keepFirst(f.modelName, *alternative);
    return f;
}

std::string trimBrand(std::string_view raw) {
    raw = raw.substr(0, raw.find('\0'));
    std::string text(raw);
    std::replace_if(
        text.begin(), text.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }, ' ');
    return std::string(trimmed(text));
}

std::optional<double> brandFrequencyMHz(std::string_view brand) {
    std::optional<double> found;
    for (std::size_t i = 1; i + 1 < brand.size(); ++i) {
        if (lower(brand[i]) != 'h' || lower(brand[i + 1]) != 'z')
            continue;
        const char unit = lower(brand[i - 1]);
        const double scale = unit == 'g' ? 1000.0 : unit == 'm' ? 1.0 : unit == 't' ? 1e6 : 0.0;
        if (scale == 0.0)
            continue;
        std::size_t end = i - 1;
        while (end > 0 && brand[end - 1] == ' ')
            --end;
        std::size_t start = end;
        while (start > 0 &&
               ((brand[start - 1] >= '0' && brand[start - 1] <= '9') || brand[start - 1] == '.'))
            --start;
        if (start == end)
            continue;
        if (auto number = parseLeadingDouble(brand.substr(start, end - start))) {
            if (plausibleMHz(*number * scale))
                found = *number * scale; // the last one named wins: it follows the '@'
        }
    }
    return found;
}

std::string_view armImplementerName(unsigned implementer) {
    static constexpr std::array<std::pair<unsigned, std::string_view>, 19> names{{
        {0x41, "ARM"},       {0x42, "Broadcom"},  {0x43, "Cavium"},   {0x44, "DEC"},
        {0x46, "FUJITSU"},   {0x48, "HiSilicon"}, {0x49, "Infineon"}, {0x4d, "Motorola/Freescale"},
        {0x4e, "NVIDIA"},    {0x50, "APM"},       {0x51, "Qualcomm"}, {0x53, "Samsung"},
        {0x56, "Marvell"},   {0x61, "Apple"},     {0x66, "Faraday"},  {0x69, "Intel"},
        {0x6d, "Microsoft"}, {0x70, "Phytium"},   {0xc0, "Ampere"},
    }};
    for (const auto& [code, name] : names)
        if (code == implementer)
            return name;
    return {};
}

std::string_view armPartName(unsigned implementer, unsigned part) {
    if (implementer != 0x41)
        return {};
    static constexpr std::array<std::pair<unsigned, std::string_view>, 42> parts{{
        {0xc05, "Cortex-A5"},    {0xc07, "Cortex-A7"},   {0xc08, "Cortex-A8"},
        {0xc09, "Cortex-A9"},    {0xc0d, "Cortex-A17"},  {0xc0f, "Cortex-A15"},
        {0xc0e, "Cortex-A17"},   {0xd01, "Cortex-A32"},  {0xd02, "Cortex-A34"},
        {0xd03, "Cortex-A53"},   {0xd04, "Cortex-A35"},  {0xd05, "Cortex-A55"},
        {0xd06, "Cortex-A65"},   {0xd07, "Cortex-A57"},  {0xd08, "Cortex-A72"},
        {0xd09, "Cortex-A73"},   {0xd0a, "Cortex-A75"},  {0xd0b, "Cortex-A76"},
        {0xd0c, "Neoverse-N1"},  {0xd0d, "Cortex-A77"},  {0xd0e, "Cortex-A76AE"},
        {0xd40, "Neoverse-V1"},  {0xd41, "Cortex-A78"},  {0xd42, "Cortex-A78AE"},
        {0xd43, "Cortex-A65AE"}, {0xd44, "Cortex-X1"},   {0xd46, "Cortex-A510"},
        {0xd47, "Cortex-A710"},  {0xd48, "Cortex-X2"},   {0xd49, "Neoverse-N2"},
        {0xd4a, "Neoverse-E1"},  {0xd4b, "Cortex-A78C"}, {0xd4c, "Cortex-X1C"},
        {0xd4d, "Cortex-A715"},  {0xd4e, "Cortex-X3"},   {0xd4f, "Neoverse-V2"},
        {0xd80, "Cortex-A520"},  {0xd81, "Cortex-A720"}, {0xd82, "Cortex-X4"},
        {0xd84, "Neoverse-V3"},  {0xd85, "Cortex-X925"}, {0xd87, "Cortex-A725"},
    }};
    for (const auto& [code, name] : parts)
        if (code == part)
            return name;
    return {};
}

namespace {
std::string hex(unsigned value) {
    char buffer[16];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, 16);
    return "0x" + std::string(buffer, end);
}
} // namespace

std::string cpuinfoVendor(const CpuinfoFields& f) {
    if (!f.vendorId.empty())
        return f.vendorId;
    if (f.armImplementer) {
        const auto name = armImplementerName(*f.armImplementer);
        return name.empty() ? hex(*f.armImplementer) : std::string(name);
    }
    return {};
}

std::string cpuinfoModel(const CpuinfoFields& f) {
    if (!f.modelName.empty())
        return trimBrand(f.modelName);
    if (f.armImplementer && f.armPart) {
        const auto name = armPartName(*f.armImplementer, *f.armPart);
        if (!name.empty())
            return std::string(name);
        return cpuinfoVendor(f) + " part " + hex(*f.armPart);
    }
    return {};
}

std::string cpuinfoExtra(const CpuinfoFields& f) {
    if (!f.cpuFamily.empty() || !f.model.empty() || !f.stepping.empty()) {
        std::string extra;
        auto add = [&extra](std::string_view label, const std::string& value) {
            if (value.empty())
                return;
            if (!extra.empty())
                extra.push_back(' ');
            extra.append(label).push_back(' ');
            extra.append(value);
        };
        add("Family", f.cpuFamily);
        add("Model", f.model);
        add("Stepping", f.stepping);
        return extra;
    }
    if (f.armArchitecture || f.armPart) {
        auto number = [](const std::optional<unsigned>& v) {
            return v ? std::to_string(*v) : std::string("?");
        };
        return "Family " + number(f.armArchitecture) + " Model " +
               (f.armPart ? hex(*f.armPart) : std::string("?")) + " Stepping r" +
               number(f.armVariant) + "p" + number(f.armRevision);
    }
    return {};
}

std::string describeSignature(unsigned family, unsigned model, unsigned stepping) {
    return "Family " + std::to_string(family) + " Model " + std::to_string(model) + " Stepping " +
           std::to_string(stepping);
}

bool plausibleMHz(double mhz) {
    return std::isfinite(mhz) && mhz >= 1.0 && mhz < 1e6;
}

std::string formatMHz(double mhz) {
    if (!plausibleMHz(mhz))
        return {};
    return std::to_string(std::llround(mhz));
}

void copyOut(char* buffer, std::string_view text) {
    std::size_t n = std::min(text.size(), kMaxText);
    if (n < text.size()) {
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n; // text[n] continues a character: keep that character out whole
    }
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

} // namespace ombrix::cpu
