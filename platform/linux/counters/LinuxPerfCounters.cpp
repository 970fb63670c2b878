#include "platform/linux/counters/LinuxPerfCounters.h"

#include "platform/linux/KernelFile.h"
#include "platform/linux/counters/LinuxCounterCatalogue.h"
#include "platform/linux/counters/ProcParsers.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

namespace ombrix::platform {
namespace {

using namespace catalogue;

// Reads a whole /proc file; false when it cannot be opened or read. A
// machine with thousands of processors writes megabytes of /proc/interrupts.
bool readFile(const std::string& path, std::string& out) {
    return readKernelFile(path, out, std::size_t{64} << 20);
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// Process ids present in the proc tree now.
std::vector<int> processIds(const std::string& procRoot) {
    std::vector<int> pids;
    std::unique_ptr<DIR, DirCloser> dir(opendir(procRoot.c_str()));
    if (!dir)
        return pids;
    while (const dirent* entry = readdir(dir.get())) {
        int pid = 0;
        const char* name = entry->d_name;
        const char* end = name + std::char_traits<char>::length(name);
        const auto [last, ec] = std::from_chars(name, end, pid);
        if (ec == std::errc{} && last == end && pid > 0)
            pids.push_back(pid);
    }
    return pids;
}

double monotonicSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// A process instance is named "command#pid", which stays unique while both last.
QString processInstance(const std::string& comm, int pid) {
    return QString::fromStdString(comm) + QLatin1Char('#') + QString::number(pid);
}

bool splitProcessInstance(const QString& instance, std::string& comm, int& pid) {
    const auto hash = instance.lastIndexOf(QLatin1Char('#'));
    if (hash < 0)
        return false;
    bool ok = false;
    pid = instance.mid(hash + 1).toInt(&ok);
    comm = instance.left(hash).toStdString();
    return ok && pid > 0;
}

std::uint64_t nameHash(const std::vector<std::string>& names) {
    std::uint64_t hash = 1469598103934665603ull;
    for (const auto& name : names)
        hash = hash * 1099511628211ull ^ std::hash<std::string>{}(name);
    return hash;
}

// Each source is read at most once per sample, and only when a counter needs it.
template <class T> struct Lazy {
    bool done = false;
    T value{};
    template <class Load> T& get(Load load) {
        if (!done) {
            value = load();
            done = true;
        }
        return value;
    }
};

struct ProcessFacts {
    std::optional<proc::ProcessStat> stat;
    std::optional<std::string> status;
};

struct ProcessTotals {
    double workingSet = 0, privateBytes = 0, virtualBytes = 0, threads = 0;
};

std::optional<RawValue> value(double v, double base = 0, std::uint64_t identity = 0) {
    return RawValue{v, base, identity};
}

double d(std::uint64_t v) {
    return static_cast<double>(v);
}

double statusBytes(const std::string& status, std::string_view key) {
    return static_cast<double>(proc::parseKbField(status, key).value_or(0));
}

} // namespace

struct LinuxPerfCounters::Snapshot {
    std::string buffer;
    Lazy<std::optional<proc::Stat>> stat;
    Lazy<std::vector<std::pair<int, std::uint64_t>>> interrupts;
    Lazy<std::optional<proc::Meminfo>> meminfo;
    Lazy<std::optional<std::string>> vmstat;
    Lazy<std::optional<std::vector<proc::DiskStat>>> disks;
    Lazy<std::optional<std::vector<proc::NetDevStat>>> net;
    Lazy<std::optional<proc::LoadAvg>> load;
    Lazy<std::optional<double>> uptime;
    Lazy<std::optional<double>> processCount;
    Lazy<std::optional<ProcessTotals>> processTotals;
    std::map<int, ProcessFacts> processes;

    std::optional<std::string> text(const std::string& path) {
        if (!readFile(path, buffer))
            return std::nullopt;
        return buffer;
    }
    // A file parsed at most once per sample; nullopt when it cannot be read.
    template <class T, class Parse>
    const std::optional<T>& parsed(Lazy<std::optional<T>>& slot, const std::string& path,
                                   Parse parse) {
        return slot.get([&]() -> std::optional<T> {
            const auto content = text(path);
            if (!content)
                return std::nullopt;
            return parse(*content);
        });
    }
};

LinuxPerfCounters::LinuxPerfCounters(std::string procRoot, std::string sysRoot)
    : m_proc(std::move(procRoot)), m_sys(std::move(sysRoot)) {}

LinuxPerfCounters::~LinuxPerfCounters() = default;

const std::vector<ObjectInfo>& LinuxPerfCounters::objects() const {
    return linuxCounterCatalogue();
}

bool LinuxPerfCounters::isPhysicalDisk(const std::string& name) {
    auto it = m_physicalDisks.find(name);
    if (it == m_physicalDisks.end()) {
        // Whole disks backed by hardware have a device link; partitions, loop,
        // RAM, device-mapper and zram devices do not.
        const std::string link = m_sys + "/block/" + name + "/device";
        it = m_physicalDisks.emplace(name, ::access(link.c_str(), F_OK) == 0).first;
    }
    return it->second;
}

QStringList LinuxPerfCounters::instances(const QString& object, qsizetype* count) {
    if (count)
        *count = 0;
    const auto& objects = linuxCounterCatalogue();
    QStringList names;
    std::string buffer;
    if (object == objects[Processor].id) {
        if (!readFile(m_proc + "/stat", buffer))
            return names;
        names << totalInstance();
        for (const auto& [cpu, times] : proc::parseStat(buffer).cpus)
            names << QString::number(cpu);
    } else if (object == objects[PhysicalDisk].id) {
        m_physicalDisks.clear();
        if (!readFile(m_proc + "/diskstats", buffer))
            return names;
        names << totalInstance();
        for (const auto& disk : proc::parseDiskstats(buffer))
            if (isPhysicalDisk(disk.name))
                names << QString::fromStdString(disk.name);
    } else if (object == objects[NetworkInterface].id) {
        if (!readFile(m_proc + "/net/dev", buffer))
            return names;
        for (const auto& device : proc::parseNetDev(buffer))
            names << QString::fromStdString(device.name);
    } else if (object == objects[Process].id) {
        for (int pid : processIds(m_proc)) {
            if (!readFile(m_proc + "/" + std::to_string(pid) + "/stat", buffer))
                continue; // ended while we looked
            if (auto stat = proc::parseProcessStat(buffer))
                names << processInstance(stat->comm, pid);
        }
        std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
            return QString::compare(a, b, Qt::CaseInsensitive) < 0;
        });
        names.prepend(totalInstance());
    }
    if (count)
        *count = instanceCount(names);
    return names;
}

RawSample LinuxPerfCounters::sample(const std::vector<CounterPath>& paths) {
    Snapshot snapshot;
    RawSample result;
    result.seconds = monotonicSeconds();
    result.values.reserve(paths.size());
    for (const auto& path : paths)
        result.values.push_back(read(path, snapshot));
    return result;
}

std::optional<RawValue> LinuxPerfCounters::read(const CounterPath& path, Snapshot& s) {
    const auto& objects = linuxCounterCatalogue();
    for (std::size_t object = 0; object < objects.size(); ++object) {
        if (objects[object].id != path.object)
            continue;
        const auto& counters = objects[object].counters;
        for (std::size_t index = 0; index < counters.size(); ++index) {
            if (counters[index].id != path.counter)
                continue;
            // One reader per object, by the catalogue's order.
            const int counter = static_cast<int>(index);
            switch (object) {
            case Processor:
                return readProcessor(counter, path.instance, s);
            case Memory:
                return readMemory(counter, path.instance, s);
            case PhysicalDisk:
                return readDisk(counter, path.instance, s);
            case NetworkInterface:
                return readNetwork(counter, path.instance, s);
            case System:
                return readSystem(counter, path.instance, s);
            case Process:
                return readProcess(counter, path.instance, s);
            }
        }
    }
    return std::nullopt;
}

std::optional<RawValue> LinuxPerfCounters::readProcessor(int counter, const QString& instance,
                                                         Snapshot& s) {
    const bool total = instance == totalInstance();
    const auto& stat = s.parsed(s.stat, m_proc + "/stat", proc::parseStat);
    if (!stat)
        return std::nullopt;
    int cpu = -1;
    if (!total) {
        bool ok = false;
        cpu = instance.toInt(&ok);
        if (!ok || cpu < 0)
            return std::nullopt;
    }
    if (counter == Interrupts) {
        if (total)
            return stat->interrupts ? value(d(*stat->interrupts)) : std::nullopt;
        const auto& perCpu = s.interrupts.get([&] {
            auto text = s.text(m_proc + "/interrupts");
            return text ? proc::parseInterrupts(*text)
                        : std::vector<std::pair<int, std::uint64_t>>{};
        });
        for (const auto& [number, count] : perCpu)
            if (number == cpu)
                return value(d(count));
        return std::nullopt;
    }
    std::optional<proc::CpuTimes> times = total ? stat->all : std::nullopt;
    for (const auto& [number, t] : stat->cpus)
        if (!total && number == cpu)
            times = t;
    if (!times)
        return std::nullopt;
    const double base = d(times->total());
    switch (counter) {
    case ProcessorTime:
        return value(d(times->busy()), base);
    case UserTime:
        return value(d(times->userTime()), base);
    case PrivilegedTime:
        return value(d(times->privilegedTime()), base);
    }
    return std::nullopt;
}

std::optional<RawValue> LinuxPerfCounters::readMemory(int counter, const QString& /*instance*/,
                                                      Snapshot& s) {
    if (counter == PageFaults || counter == Pages) {
        const auto& vmstat = s.vmstat.get([&] { return s.text(m_proc + "/vmstat"); });
        if (!vmstat)
            return std::nullopt;
        if (counter == PageFaults) {
            const auto faults = proc::parseVmstatField(*vmstat, "pgfault");
            return faults ? value(d(*faults)) : std::nullopt;
        }
        const auto major = proc::parseVmstatField(*vmstat, "pgmajfault");
        const auto out = proc::parseVmstatField(*vmstat, "pswpout");
        return major && out ? value(d(*major) + d(*out)) : std::nullopt;
    }
    const auto& meminfo = s.parsed(s.meminfo, m_proc + "/meminfo", proc::parseMeminfo);
    if (!meminfo)
        return std::nullopt;
    const auto bytes = counter == CommittedBytes ? meminfo->committed : meminfo->available;
    return bytes ? value(d(*bytes)) : std::nullopt;
}

std::optional<RawValue> LinuxPerfCounters::readDisk(int counter, const QString& instance,
                                                    Snapshot& s) {
    const bool total = instance == totalInstance();
    const auto& disks = s.parsed(s.disks, m_proc + "/diskstats", proc::parseDiskstats);
    if (!disks)
        return std::nullopt;
    proc::DiskStat sum;
    std::vector<std::string> included;
    for (const auto& disk : *disks) {
        const bool wanted =
            total ? isPhysicalDisk(disk.name) : QString::fromStdString(disk.name) == instance;
        if (!wanted)
            continue;
        sum.reads += disk.reads;
        sum.sectorsRead += disk.sectorsRead;
        sum.writes += disk.writes;
        sum.sectorsWritten += disk.sectorsWritten;
        sum.ioMilliseconds += disk.ioMilliseconds;
        included.push_back(disk.name);
    }
    if (included.empty())
        return std::nullopt;
    // A disk joining or leaving _Total changes the identity, so the sum's
    // jump shows as a gap rather than as a burst of transfers.
    const std::uint64_t identity = total ? nameHash(included) : 0;
    switch (counter) {
    case ReadBytes:
        return value(d(sum.sectorsRead), 0, identity);
    case WriteBytes:
        return value(d(sum.sectorsWritten), 0, identity);
    case Transfers:
        return value(d(sum.reads + sum.writes), 0, identity);
    case Reads:
        return value(d(sum.reads), 0, identity);
    case Writes:
        return value(d(sum.writes), 0, identity);
    case DiskTime:
        return value(d(sum.ioMilliseconds) / static_cast<double>(included.size()), 0, identity);
    }
    return std::nullopt;
}

std::optional<RawValue> LinuxPerfCounters::readNetwork(int counter, const QString& instance,
                                                       Snapshot& s) {
    const auto& devices = s.parsed(s.net, m_proc + "/net/dev", proc::parseNetDev);
    if (!devices)
        return std::nullopt;
    for (const auto& dev : *devices) {
        if (QString::fromStdString(dev.name) != instance)
            continue;
        switch (counter) {
        case BytesReceived:
            return value(d(dev.rxBytes));
        case BytesSent:
            return value(d(dev.txBytes));
        case BytesTotal:
            return value(d(dev.rxBytes) + d(dev.txBytes));
        case Packets:
            return value(d(dev.rxPackets) + d(dev.txPackets));
        case PacketsReceived:
            return value(d(dev.rxPackets));
        case PacketsSent:
            return value(d(dev.txPackets));
        }
    }
    return std::nullopt;
}

std::optional<RawValue> LinuxPerfCounters::readSystem(int counter, const QString& /*instance*/,
                                                      Snapshot& s) {
    switch (counter) {
    case Processes: {
        const auto& count = s.processCount.get([&]() -> std::optional<double> {
            const auto pids = processIds(m_proc);
            return pids.empty() ? std::nullopt : std::optional(d(pids.size()));
        });
        return count ? value(*count) : std::nullopt;
    }
    case Threads:
    case QueueLength: {
        const auto& load = s.parsed(s.load, m_proc + "/loadavg", proc::parseLoadAvg);
        if (!load)
            return std::nullopt;
        return value(d(counter == Threads ? load->threads : load->running));
    }
    case ContextSwitches: {
        const auto& stat = s.parsed(s.stat, m_proc + "/stat", proc::parseStat);
        return stat && stat->contextSwitches ? value(d(*stat->contextSwitches)) : std::nullopt;
    }
    case UpTime: {
        const auto& uptime = s.parsed(s.uptime, m_proc + "/uptime", proc::parseUptime);
        return uptime ? value(*uptime) : std::nullopt;
    }
    }
    return std::nullopt;
}

std::optional<RawValue> LinuxPerfCounters::readProcess(int counter, const QString& instance,
                                                       Snapshot& s) {
    const bool total = instance == totalInstance();
    if (total) {
        if (counter == ProcessTime) {
            // All processes together used what the processors spent busy.
            const auto& stat = s.parsed(s.stat, m_proc + "/stat", proc::parseStat);
            return stat && stat->all ? value(d(stat->all->busy())) : std::nullopt;
        }
        if (counter == ProcessId)
            return std::nullopt;
        const auto& totals = s.processTotals.get([&]() -> std::optional<ProcessTotals> {
            ProcessTotals sum;
            std::string status;
            bool any = false;
            for (int pid : processIds(m_proc)) {
                if (!readFile(m_proc + "/" + std::to_string(pid) + "/status", status))
                    continue;
                any = true;
                sum.workingSet += statusBytes(status, "VmRSS");
                sum.privateBytes += statusBytes(status, "RssAnon") + statusBytes(status, "VmSwap");
                sum.virtualBytes += statusBytes(status, "VmSize");
                sum.threads += d(proc::parseNumberField(status, "Threads").value_or(0));
            }
            return any ? std::optional(sum) : std::nullopt;
        });
        if (!totals)
            return std::nullopt;
        switch (counter) {
        case WorkingSet:
            return value(totals->workingSet);
        case PrivateBytes:
            return value(totals->privateBytes);
        case VirtualBytes:
            return value(totals->virtualBytes);
        case ThreadCount:
            return value(totals->threads);
        }
        return std::nullopt;
    }
    std::string comm;
    int pid = 0;
    if (!splitProcessInstance(instance, comm, pid))
        return std::nullopt;
    auto& facts = s.processes[pid];
    if (!facts.stat) {
        auto text = s.text(m_proc + "/" + std::to_string(pid) + "/stat");
        if (text)
            facts.stat = proc::parseProcessStat(*text);
    }
    // Gone, or the id now belongs to another command: the line stops here.
    if (!facts.stat || facts.stat->comm != comm)
        return std::nullopt;
    if (counter == ProcessTime)
        return value(d(facts.stat->utime + facts.stat->stime), 0, facts.stat->startTime);
    if (counter == ProcessId)
        return value(pid);
    if (!facts.status)
        facts.status = s.text(m_proc + "/" + std::to_string(pid) + "/status");
    if (!facts.status)
        return std::nullopt;
    const auto& status = *facts.status;
    switch (counter) {
    case WorkingSet:
        return value(statusBytes(status, "VmRSS"));
    case PrivateBytes:
        return value(statusBytes(status, "RssAnon") + statusBytes(status, "VmSwap"));
    case VirtualBytes:
        return value(statusBytes(status, "VmSize"));
    case ThreadCount: {
        const auto threads = proc::parseNumberField(status, "Threads");
        return threads ? value(d(*threads)) : std::nullopt;
    }
    }
    return std::nullopt;
}

} // namespace ombrix::platform
