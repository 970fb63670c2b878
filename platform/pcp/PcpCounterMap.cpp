#include "platform/pcp/PcpCounterMap.h"

#include <algorithm>

#include <unistd.h>

namespace ombrix::platform::pcp {
namespace {

CounterMap map(std::string object, std::string counter, std::vector<Term> value,
               std::vector<Term> base = {}, std::vector<Term> totalValue = {},
               std::vector<Term> totalBase = {}, bool averageTotal = false, bool hasTotal = true) {
    return {std::move(object),     std::move(counter),   std::move(value), std::move(base),
            std::move(totalValue), std::move(totalBase), averageTotal,     hasTotal};
}

std::vector<CounterMap> build() {
    // PCP gives processor times in milliseconds; the /proc reader counts clock ticks.
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK) > 0 ? sysconf(_SC_CLK_TCK) : 100);
    const double tick = ticks / 1000.0;
    const std::vector<Term> cpuTotal = {
        {"kernel.percpu.cpu.user"}, {"kernel.percpu.cpu.nice"},       {"kernel.percpu.cpu.sys"},
        {"kernel.percpu.cpu.idle"}, {"kernel.percpu.cpu.wait.total"}, {"kernel.percpu.cpu.intr"},
        {"kernel.percpu.cpu.steal"}};
    const std::vector<Term> allTotal = {{"kernel.all.cpu.user"},       {"kernel.all.cpu.nice"},
                                        {"kernel.all.cpu.sys"},        {"kernel.all.cpu.idle"},
                                        {"kernel.all.cpu.wait.total"}, {"kernel.all.cpu.intr"},
                                        {"kernel.all.cpu.steal"}};
    const std::vector<Term> cpuBusy = {{"kernel.percpu.cpu.user"},
                                       {"kernel.percpu.cpu.nice"},
                                       {"kernel.percpu.cpu.sys"},
                                       {"kernel.percpu.cpu.intr"},
                                       {"kernel.percpu.cpu.steal"}};
    const std::vector<Term> allBusy = {{"kernel.all.cpu.user"},
                                       {"kernel.all.cpu.nice"},
                                       {"kernel.all.cpu.sys"},
                                       {"kernel.all.cpu.intr"},
                                       {"kernel.all.cpu.steal"}};
    std::vector<Term> allBusyTicks = allBusy;
    for (auto& term : allBusyTicks)
        term.weight = tick;
    const double sector = 1.0 / 512; // the /proc reader counts 512-byte sectors

    // object, counter, value, base, _Total value, _Total base, _Total is a mean, has a _Total
    return {
        map("processor", "processor_time", cpuBusy, cpuTotal, allBusy, allTotal),
        map("processor", "user_time", {{"kernel.percpu.cpu.user"}, {"kernel.percpu.cpu.nice"}},
            cpuTotal, {{"kernel.all.cpu.user"}, {"kernel.all.cpu.nice"}}, allTotal),
        map("processor", "privileged_time", {{"kernel.percpu.cpu.sys"}, {"kernel.percpu.cpu.intr"}},
            cpuTotal, {{"kernel.all.cpu.sys"}, {"kernel.all.cpu.intr"}}, allTotal),
        map("processor", "interrupts", {{"kernel.percpu.intr"}}, {}, {{"kernel.all.intr"}}, {}),

        map("memory", "available_bytes", {{"mem.util.available"}}),
        map("memory", "available_mbytes", {{"mem.util.available"}}),
        map("memory", "committed_bytes", {{"mem.util.committed_AS"}}),
        map("memory", "page_faults", {{"mem.vmstat.pgfault"}}),
        map("memory", "pages", {{"mem.vmstat.pgmajfault"}, {"mem.vmstat.pswpout"}}),

        map("physical_disk", "read_bytes", {{"disk.dev.read_bytes", sector}}),
        map("physical_disk", "write_bytes", {{"disk.dev.write_bytes", sector}}),
        map("physical_disk", "transfers", {{"disk.dev.read"}, {"disk.dev.write"}}),
        map("physical_disk", "reads", {{"disk.dev.read"}}),
        map("physical_disk", "writes", {{"disk.dev.write"}}),
        map("physical_disk", "disk_time", {{"disk.dev.avactive"}}, {}, {}, {}, true),

        map("network_interface", "bytes_received", {{"network.interface.in.bytes"}}),
        map("network_interface", "bytes_sent", {{"network.interface.out.bytes"}}),
        map("network_interface", "bytes_total",
            {{"network.interface.in.bytes"}, {"network.interface.out.bytes"}}),
        map("network_interface", "packets",
            {{"network.interface.in.packets"}, {"network.interface.out.packets"}}),
        map("network_interface", "packets_received", {{"network.interface.in.packets"}}),
        map("network_interface", "packets_sent", {{"network.interface.out.packets"}}),

        map("system", "processes", {{"proc.nprocs"}}),
        map("system", "threads", {{"kernel.all.nprocs"}}), // PCP counts threads as processes
        map("system", "context_switches", {{"kernel.all.pswitch"}}),
        map("system", "queue_length", {{"kernel.all.runnable"}}),
        map("system", "up_time", {{"kernel.all.uptime", 1.0 / 1000}}),

        map("process", "processor_time", {{"proc.psinfo.utime", tick}, {"proc.psinfo.stime", tick}},
            {}, allBusyTicks, {}),
        // The 64-bit sizes: proc.memory.vmrss and vmsize are 32-bit kilobyte
        // counts, which wrap at 4 TiB.
        map("process", "working_set", {{"proc.psinfo.rss"}}),
        map("process", "virtual_bytes", {{"proc.psinfo.vsize"}}),
        map("process", "thread_count", {{"proc.psinfo.threads"}}),
        map("process", "id_process", {{"proc.psinfo.pid"}}, {}, {}, {}, false, false),
    };
}

void addOnce(std::vector<std::string>& names, const std::string& name) {
    if (std::find(names.begin(), names.end(), name) == names.end())
        names.push_back(name);
}

} // namespace

const std::vector<CounterMap>& counterMaps() {
    static const std::vector<CounterMap> maps = build();
    return maps;
}

const std::vector<FactMetric>& factMetricTable() {
    // domain, cluster, item: 60 is the Linux agent, 2 pmcd's own, kAgentDomain
    // the collector agent's, whose items are its table's rows.
    using enum FactPart;
    static const std::vector<FactMetric> table{
        {kNodeName, pmID_build(60, 12, 4), Summary, true},
        {kRelease, pmID_build(60, 12, 0), Summary, true},
        {kVersion, pmID_build(60, 12, 1), Summary, true},
        {kDistro, pmID_build(60, 12, 7), Summary, true},
        {kModel, pmID_build(60, 18, 9), Summary, true},
        {kVendor, pmID_build(60, 18, 1), Summary, true},
        {kClock, pmID_build(60, 18, 0), Summary, false},
        {kPhysmem, pmID_build(60, 1, 0), Summary, false},
        {kAvailable, pmID_build(60, 1, 58), Summary, false},
        {kZoneInfo, pmID_build(2, 0, 26), Summary, true},
        {kTimeZone, pmID_build(2, 0, 5), Summary, true},
        {kInet, pmID_build(60, 33, 0), Network, true},
        {kInet6, pmID_build(60, 33, 1), Network, true},
        {kHardware, pmID_build(60, 33, 3), Network, true},
        {kMountDir, pmID_build(60, 5, 7), Drives, true},
        {kCapacity, pmID_build(60, 5, 1), Drives, false},
        {kAvail, pmID_build(60, 5, 10), Drives, false},
        {kTmpfsCapacity, pmID_build(60, 34, 1), Drives, false},
        {kTmpfsFree, pmID_build(60, 34, 3), Drives, false},
        {kAgentVersion, pmID_build(kAgentDomain, 0, 0), Summary, true},
        {kAgentOsName, pmID_build(kAgentDomain, 0, 1), Summary, true},
        {kAgentOsVersion, pmID_build(kAgentDomain, 0, 2), Summary, true},
        {kAgentOsBuild, pmID_build(kAgentDomain, 0, 3), Summary, false},
        {kAgentFloppy, pmID_build(kAgentDomain, 0, 4), Summary, false},
        {kAgentPrimaryAddress, pmID_build(kAgentDomain, 0, 5), Summary, true},
        {kAgentDnsDomain, pmID_build(kAgentDomain, 0, 6), Network, true},
        {kAgentDnsServers, pmID_build(kAgentDomain, 0, 7), Network, true},
        {kAgentAddressAdapter, pmID_build(kAgentDomain, 0, 8), Network, true},
        {kAgentAddress, pmID_build(kAgentDomain, 0, 9), Network, true},
        {kAgentPrefix, pmID_build(kAgentDomain, 0, 10), Network, false},
        {kAgentAdapter, pmID_build(kAgentDomain, 0, 11), Network, true},
        {kAgentGateways, pmID_build(kAgentDomain, 0, 12), Network, true},
        {kAgentDhcp, pmID_build(kAgentDomain, 0, 13), Network, false},
        {kAgentWinsPrimary, pmID_build(kAgentDomain, 0, 14), Network, true},
        {kAgentWinsBackup, pmID_build(kAgentDomain, 0, 15), Network, true},
        {kAgentLetter, pmID_build(kAgentDomain, 0, 16), Drives, true},
        {kAgentMountPoint, pmID_build(kAgentDomain, 0, 17), Drives, true},
        {kAgentDriveType, pmID_build(kAgentDomain, 0, 18), Drives, false},
        {kAgentSerial, pmID_build(kAgentDomain, 0, 19), Drives, false},
        {kAgentFreeBytes, pmID_build(kAgentDomain, 0, 20), Drives, false},
        {kAgentTotalBytes, pmID_build(kAgentDomain, 0, 21), Drives, false},
        {kAgentPrintService, pmID_build(kAgentDomain, 0, 22), Printers, false},
        {kAgentQueue, pmID_build(kAgentDomain, 0, 23), Printers, true},
        {kAgentQueueState, pmID_build(kAgentDomain, 0, 24), Printers, false},
        {kAgentQueueDefault, pmID_build(kAgentDomain, 0, 25), Printers, false},
        {kAgentQueueLocation, pmID_build(kAgentDomain, 0, 26), Printers, true},
        {kAgentQueueModel, pmID_build(kAgentDomain, 0, 27), Printers, true},
        {kAgentQueueDescription, pmID_build(kAgentDomain, 0, 28), Printers, true}};
    return table;
}

const std::vector<std::string>& factMetrics() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const FactMetric& metric : factMetricTable())
            all.push_back(metric.name);
        return all;
    }();
    return names;
}

const std::vector<std::string>& processMetrics() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all{kProcessCommand};
        for (const auto& map : counterMaps())
            if (map.object == "process")
                for (const auto* terms : {&map.value, &map.base})
                    for (const auto& term : *terms)
                        if (term.metric != kProcessId)
                            addOnce(all, term.metric);
        return all;
    }();
    return names;
}

const std::vector<std::string>& connectionMetrics() {
    static const std::vector<std::string> names = [] {
        const std::vector<std::string>& later = processMetrics();
        std::vector<std::string> all{kProcessId};
        for (const auto& map : counterMaps())
            for (const auto* terms : {&map.value, &map.base, &map.totalValue, &map.totalBase})
                for (const auto& term : *terms)
                    if (std::find(later.begin(), later.end(), term.metric) == later.end())
                        addOnce(all, term.metric);
        for (const std::string& name : factMetrics())
            addOnce(all, name);
        return all;
    }();
    return names;
}

bool ofItsType(const std::string& name, const pmDesc& desc) {
    const auto& facts = factMetricTable();
    const auto fact = std::find_if(facts.begin(), facts.end(),
                                   [&](const FactMetric& metric) { return name == metric.name; });
    if (name == kProcessCommand || (fact != facts.end() && fact->text))
        return desc.type == PM_TYPE_STRING;
    return desc.type == PM_TYPE_32 || desc.type == PM_TYPE_U32 || desc.type == PM_TYPE_64 ||
           desc.type == PM_TYPE_U64 || desc.type == PM_TYPE_FLOAT || desc.type == PM_TYPE_DOUBLE;
}

std::string ourInstance(const std::string& object, const std::string& pcpName) {
    if (object == "processor" && pcpName.rfind("cpu", 0) == 0)
        return pcpName.substr(3);
    return pcpName;
}

std::string pcpInstance(const std::string& object, const std::string& ourName) {
    return object == "processor" ? "cpu" + ourName : ourName;
}

} // namespace ombrix::platform::pcp
