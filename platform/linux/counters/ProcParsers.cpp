#include "platform/linux/counters/ProcParsers.h"

#include <charconv>

namespace ombrix::platform::proc {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

// Splits text into lines without copying.
class Lines {
public:
    explicit Lines(std::string_view text) : m_rest(text) {}
    bool next(std::string_view& line) {
        if (m_rest.empty())
            return false;
        const auto end = m_rest.find('\n');
        line = m_rest.substr(0, end);
        m_rest = end == std::string_view::npos ? std::string_view{} : m_rest.substr(end + 1);
        return true;
    }

private:
    std::string_view m_rest;
};

// Splits a line into fields at runs of blanks.
class Fields {
public:
    explicit Fields(std::string_view line) : m_rest(line) {}
    bool next(std::string_view& field) {
        std::size_t i = 0;
        while (i < m_rest.size() && isSpace(m_rest[i]))
            ++i;
        if (i == m_rest.size())
            return false;
        std::size_t j = i;
        while (j < m_rest.size() && !isSpace(m_rest[j]))
            ++j;
        field = m_rest.substr(i, j - i);
        m_rest = m_rest.substr(j);
        return true;
    }
    bool nextNumber(std::uint64_t& value) {
        std::string_view field;
        return next(field) && toNumber(field, value);
    }
    static bool toNumber(std::string_view field, std::uint64_t& value) {
        const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
        return ec == std::errc{} && end == field.data() + field.size();
    }

private:
    std::string_view m_rest;
};

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::optional<CpuTimes> parseCpuTimes(Fields& fields) {
    CpuTimes t;
    for (std::uint64_t* v :
         {&t.user, &t.nice, &t.system, &t.idle, &t.iowait, &t.irq, &t.softirq, &t.steal})
        if (!fields.nextNumber(*v))
            return std::nullopt;
    return t;
}

// The text after "key" on the line that starts with it, followed by ':' or a
// blank as the file's format has it.
std::optional<std::string_view> fieldText(std::string_view text, std::string_view key, char sep) {
    Lines lines(text);
    std::string_view line;
    while (lines.next(line)) {
        if (line.size() > key.size() && startsWith(line, key) && line[key.size()] == sep)
            return line.substr(key.size() + 1);
    }
    return std::nullopt;
}

std::optional<std::uint64_t> firstNumber(std::string_view rest) {
    Fields fields(rest);
    std::uint64_t value = 0;
    if (!fields.nextNumber(value))
        return std::nullopt;
    return value;
}

} // namespace

Stat parseStat(std::string_view text) {
    Stat stat;
    Lines lines(text);
    std::string_view line;
    while (lines.next(line)) {
        Fields fields(line);
        std::string_view key;
        if (!fields.next(key))
            continue;
        if (key == "cpu") {
            stat.all = parseCpuTimes(fields);
        } else if (startsWith(key, "cpu")) {
            std::uint64_t number = 0;
            if (!Fields::toNumber(key.substr(3), number) || number > 1u << 20)
                continue;
            if (auto times = parseCpuTimes(fields))
                stat.cpus.emplace_back(static_cast<int>(number), *times);
        } else if (key == "intr") {
            std::uint64_t value = 0;
            if (fields.nextNumber(value))
                stat.interrupts = value;
        } else if (key == "ctxt") {
            std::uint64_t value = 0;
            if (fields.nextNumber(value))
                stat.contextSwitches = value;
        }
    }
    return stat;
}

std::vector<std::pair<int, std::uint64_t>> parseInterrupts(std::string_view text) {
    std::vector<std::pair<int, std::uint64_t>> perCpu;
    Lines lines(text);
    std::string_view line;
    if (!lines.next(line))
        return perCpu;
    Fields header(line);
    std::string_view name;
    while (header.next(name)) {
        std::uint64_t number = 0;
        if (!startsWith(name, "CPU") || !Fields::toNumber(name.substr(3), number))
            return {};
        perCpu.emplace_back(static_cast<int>(number), 0);
    }
    std::vector<std::uint64_t> counts;
    while (lines.next(line)) {
        Fields fields(line);
        std::string_view label;
        if (!fields.next(label) || label.empty() || label.back() != ':')
            continue;
        // "ERR:" and "MIS:" carry one machine-wide total, not one count per processor.
        if (label == "ERR:" || label == "MIS:")
            continue;
        counts.clear();
        std::uint64_t value = 0;
        while (counts.size() < perCpu.size() && fields.nextNumber(value))
            counts.push_back(value);
        if (counts.size() != perCpu.size())
            continue;
        for (std::size_t i = 0; i < counts.size(); ++i)
            perCpu[i].second += counts[i];
    }
    return perCpu;
}

namespace {
// " n kB" in bytes.
std::optional<std::uint64_t> kbAmount(std::string_view rest) {
    Fields fields(rest);
    std::uint64_t value = 0;
    std::string_view unit;
    if (!fields.nextNumber(value) || !fields.next(unit) || unit != "kB" ||
        value > UINT64_MAX / 1024)
        return std::nullopt;
    return value * 1024;
}
} // namespace

Meminfo parseMeminfo(std::string_view text) {
    const auto lastEnd = text.rfind('\n');
    Lines lines(lastEnd == std::string_view::npos ? std::string_view() : text.substr(0, lastEnd));
    Meminfo info;
    std::optional<std::uint64_t> memFree, buffers, cached;
    std::string_view line;
    while (lines.next(line)) {
        const auto colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view key = line.substr(0, colon);
        std::optional<std::uint64_t>* target = key == "MemTotal"       ? &info.total
                                               : key == "MemAvailable" ? &info.available
                                               : key == "Committed_AS" ? &info.committed
                                               : key == "MemFree"      ? &memFree
                                               : key == "Buffers"      ? &buffers
                                               : key == "Cached"       ? &cached
                                                                       : nullptr;
        if (target && !*target)
            *target = kbAmount(line.substr(colon + 1));
    }
    if (!info.available && memFree)
        info.available = *memFree + buffers.value_or(0) + cached.value_or(0);
    return info;
}

std::optional<std::uint64_t> parseKbField(std::string_view text, std::string_view key) {
    const auto rest = fieldText(text, key, ':');
    return rest ? kbAmount(*rest) : std::nullopt;
}

std::optional<std::uint64_t> parseNumberField(std::string_view text, std::string_view key) {
    const auto rest = fieldText(text, key, ':');
    return rest ? firstNumber(*rest) : std::nullopt;
}

std::optional<std::uint64_t> parseVmstatField(std::string_view text, std::string_view key) {
    const auto rest = fieldText(text, key, ' ');
    return rest ? firstNumber(*rest) : std::nullopt;
}

std::vector<DiskStat> parseDiskstats(std::string_view text) {
    std::vector<DiskStat> disks;
    Lines lines(text);
    std::string_view line;
    while (lines.next(line)) {
        Fields fields(line);
        std::string_view major, minor, name;
        if (!fields.next(major) || !fields.next(minor) || !fields.next(name))
            continue;
        std::uint64_t v[10] = {};
        bool complete = true;
        for (auto& value : v)
            complete = complete && fields.nextNumber(value);
        if (!complete)
            continue;
        // reads, merged, sectors read, ms reading, writes, merged, sectors written,
        // ms writing, in flight, ms doing I/O
        disks.push_back(DiskStat{std::string(name), v[0], v[2], v[4], v[6], v[9]});
    }
    return disks;
}

std::vector<NetDevStat> parseNetDev(std::string_view text) {
    std::vector<NetDevStat> devices;
    Lines lines(text);
    std::string_view line;
    while (lines.next(line)) {
        const auto colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        Fields nameField(line.substr(0, colon));
        std::string_view name;
        if (!nameField.next(name) || name.find('|') != std::string_view::npos)
            continue;
        Fields fields(line.substr(colon + 1));
        std::uint64_t v[10] = {};
        bool complete = true;
        for (auto& value : v)
            complete = complete && fields.nextNumber(value);
        if (!complete)
            continue;
        // receive: bytes packets errs drop fifo frame compressed multicast; transmit: bytes packets
        devices.push_back(NetDevStat{std::string(name), v[0], v[1], v[8], v[9]});
    }
    return devices;
}

std::optional<LoadAvg> parseLoadAvg(std::string_view text) {
    Fields fields(text);
    std::string_view field;
    for (int i = 0; i < 4; ++i)
        if (!fields.next(field))
            return std::nullopt;
    const auto slash = field.find('/');
    LoadAvg load;
    if (slash == std::string_view::npos ||
        !Fields::toNumber(field.substr(0, slash), load.running) ||
        !Fields::toNumber(field.substr(slash + 1), load.threads))
        return std::nullopt;
    return load;
}

std::optional<double> parseUptime(std::string_view text) {
    Fields fields(text);
    std::string_view field;
    if (!fields.next(field))
        return std::nullopt;
    double seconds = 0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), seconds);
    if (ec != std::errc{} || end != field.data() + field.size() || seconds < 0)
        return std::nullopt;
    return seconds;
}

std::optional<ProcessStat> parseProcessStat(std::string_view text) {
    // The command name sits in parentheses and may itself hold blanks and ')'.
    const auto open = text.find('(');
    const auto close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return std::nullopt;
    ProcessStat stat;
    stat.comm = std::string(text.substr(open + 1, close - open - 1));
    Fields fields(text.substr(close + 1));
    // Fields from 3 (state) on; utime 14, stime 15, num_threads 20, starttime 22.
    std::string_view field;
    for (int index = 3; index <= 22; ++index) {
        if (!fields.next(field))
            return std::nullopt;
        std::uint64_t* target = index == 14   ? &stat.utime
                                : index == 15 ? &stat.stime
                                : index == 20 ? &stat.threads
                                : index == 22 ? &stat.startTime
                                              : nullptr;
        if (target && !Fields::toNumber(field, *target))
            return std::nullopt;
    }
    return stat;
}

} // namespace ombrix::platform::proc
