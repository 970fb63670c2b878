#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Readers of the /proc files behind the performance counters. Each takes the
// whole text of one file and never trusts it: a missing or garbled field
// leaves its value unknown (nullopt, or the line left out), never a guess.
namespace ombrix::platform::proc {

// Times of one processor in clock ticks, as the first eight columns of a cpu line.
struct CpuTimes {
    std::uint64_t user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0,
                  steal = 0;
    std::uint64_t total() const {
        return user + nice + system + idle + iowait + irq + softirq + steal;
    }
    std::uint64_t busy() const { return total() - idle - iowait; }
    std::uint64_t userTime() const { return user + nice; }
    std::uint64_t privilegedTime() const { return system + irq + softirq; }
};

struct Stat {
    std::optional<CpuTimes> all;
    std::vector<std::pair<int, CpuTimes>> cpus; // processor number, times
    std::optional<std::uint64_t> interrupts;
    std::optional<std::uint64_t> contextSwitches;
};
Stat parseStat(std::string_view text);

// Interrupts handled by each processor, summed over every line: (processor, count).
std::vector<std::pair<int, std::uint64_t>> parseInterrupts(std::string_view text);

// What the program reads of /proc/meminfo, in bytes. Kernels before 3.14 have
// no MemAvailable; there it is MemFree + Buffers + Cached, as free(1) counted
// it. A last line without its line end may be cut short and is not used.
struct Meminfo {
    std::optional<std::uint64_t> total;     // MemTotal
    std::optional<std::uint64_t> available; // MemAvailable
    std::optional<std::uint64_t> committed; // Committed_AS
};
Meminfo parseMeminfo(std::string_view text);

// Value of one "Key: n kB" line of /proc/meminfo or /proc/<pid>/status, in bytes.
std::optional<std::uint64_t> parseKbField(std::string_view text, std::string_view key);
// Value of one "Key: n" line without a unit (Threads in /proc/<pid>/status).
std::optional<std::uint64_t> parseNumberField(std::string_view text, std::string_view key);
// Value of one "key n" line of /proc/vmstat.
std::optional<std::uint64_t> parseVmstatField(std::string_view text, std::string_view key);

struct DiskStat {
    std::string name;
    std::uint64_t reads = 0, sectorsRead = 0, writes = 0, sectorsWritten = 0, ioMilliseconds = 0;
};
std::vector<DiskStat> parseDiskstats(std::string_view text);

struct NetDevStat {
    std::string name;
    std::uint64_t rxBytes = 0, rxPackets = 0, txBytes = 0, txPackets = 0;
};
std::vector<NetDevStat> parseNetDev(std::string_view text);

struct LoadAvg {
    std::uint64_t running = 0;
    std::uint64_t threads = 0;
};
std::optional<LoadAvg> parseLoadAvg(std::string_view text);

std::optional<double> parseUptime(std::string_view text);

struct ProcessStat {
    std::string comm;
    std::uint64_t utime = 0, stime = 0, threads = 0, startTime = 0;
};
std::optional<ProcessStat> parseProcessStat(std::string_view text);

} // namespace ombrix::platform::proc
