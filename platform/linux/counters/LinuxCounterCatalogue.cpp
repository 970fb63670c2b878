#include "platform/linux/counters/LinuxCounterCatalogue.h"

#include <QObject>

#include <unistd.h>

namespace ombrix::platform {
namespace {

CounterInfo gauge(const char* id, const QString& name, const QString& explanation,
                  double factor = 1.0, double scale = 1.0) {
    return {QLatin1String(id), name, explanation, CounterKind::Gauge, factor, scale};
}
CounterInfo rate(const char* id, const QString& name, const QString& explanation,
                 double factor = 1.0, double scale = 1.0) {
    return {QLatin1String(id), name, explanation, CounterKind::Rate, factor, scale};
}
CounterInfo fraction(const char* id, const QString& name, const QString& explanation) {
    return {QLatin1String(id), name, explanation, CounterKind::Fraction, 1.0, 1.0};
}

std::vector<ObjectInfo> build() {
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK) > 0 ? sysconf(_SC_CLK_TCK) : 100);
    std::vector<ObjectInfo> objects;

    objects.push_back(
        {QStringLiteral("processor"),
         QObject::tr("Processor"),
         QObject::tr("The processors of the computer, each logical processor one instance, "
                     "from /proc/stat."),
         {fraction("processor_time", QObject::tr("% Processor Time"),
                   QObject::tr("The share of the interval in which the processor did work: all "
                               "time except idle and waiting for I/O, in percent.")),
          fraction("user_time", QObject::tr("% User Time"),
                   QObject::tr("The share of the interval the processor spent running programs "
                               "in user mode (including lowered-priority ones), in percent.")),
          fraction("privileged_time", QObject::tr("% Privileged Time"),
                   QObject::tr("The share of the interval the processor spent in the kernel, "
                               "including interrupt handling, in percent.")),
          rate("interrupts", QObject::tr("Interrupts/sec"),
               QObject::tr("Hardware interrupts the processor handled per second; _Total from "
                           "/proc/stat, each processor from /proc/interrupts."),
               1.0, 0.01)},
         true,
         true,
         {}});

    objects.push_back(
        {QStringLiteral("memory"),
         QObject::tr("Memory"),
         QObject::tr("Physical and virtual memory of the computer, from /proc/meminfo and "
                     "/proc/vmstat."),
         {gauge("available_bytes", QObject::tr("Available Bytes"),
                QObject::tr("Physical memory available to programs without swapping "
                            "(MemAvailable), in bytes."),
                1.0, 1e-8),
          gauge("available_mbytes", QObject::tr("Available MBytes"),
                QObject::tr("Physical memory available to programs without swapping "
                            "(MemAvailable), in mebibytes."),
                1.0 / (1024 * 1024), 0.001),
          gauge("committed_bytes", QObject::tr("Committed Bytes"),
                QObject::tr("Virtual memory the system has promised to processes "
                            "(Committed_AS), in bytes."),
                1.0, 1e-8),
          rate("page_faults", QObject::tr("Page Faults/sec"),
               QObject::tr("Page faults per second, both those served from memory and those "
                           "that had to read from disk (pgfault)."),
               1.0, 0.01),
          rate("pages", QObject::tr("Pages/sec"),
               QObject::tr("Pages read from disk to resolve hard page faults plus pages written "
                           "out to swap, per second (pgmajfault + pswpout)."),
               1.0, 1.0)},
         false,
         false,
         {}});

    objects.push_back(
        {QStringLiteral("physical_disk"),
         QObject::tr("PhysicalDisk"),
         QObject::tr("The disks of the computer (block devices backed by hardware), from "
                     "/proc/diskstats; _Total sums them."),
         {rate("read_bytes", QObject::tr("Disk Read Bytes/sec"),
               QObject::tr("Bytes read from the disk per second."), 512.0, 1e-6),
          rate("write_bytes", QObject::tr("Disk Write Bytes/sec"),
               QObject::tr("Bytes written to the disk per second."), 512.0, 1e-6),
          rate("transfers", QObject::tr("Disk Transfers/sec"),
               QObject::tr("Completed read and write operations on the disk per second."), 1.0,
               0.1),
          rate("reads", QObject::tr("Disk Reads/sec"),
               QObject::tr("Completed read operations on the disk per second."), 1.0, 0.1),
          rate("writes", QObject::tr("Disk Writes/sec"),
               QObject::tr("Completed write operations on the disk per second."), 1.0, 0.1),
          rate("disk_time", QObject::tr("% Disk Time"),
               QObject::tr("The share of the interval in which the disk was busy with at least "
                           "one request, in percent."),
               0.1, 1.0)},
         true,
         true,
         {}});

    objects.push_back(
        {QStringLiteral("network_interface"),
         QObject::tr("Network Interface"),
         QObject::tr("The network interfaces of the computer, loopback included, from "
                     "/proc/net/dev."),
         {rate("bytes_received", QObject::tr("Bytes Received/sec"),
               QObject::tr("Bytes received on the interface per second."), 1.0, 1e-4),
          rate("bytes_sent", QObject::tr("Bytes Sent/sec"),
               QObject::tr("Bytes sent on the interface per second."), 1.0, 1e-4),
          rate("bytes_total", QObject::tr("Bytes Total/sec"),
               QObject::tr("Bytes received and sent on the interface per second."), 1.0, 1e-4),
          rate("packets", QObject::tr("Packets/sec"),
               QObject::tr("Packets received and sent on the interface per second."), 1.0, 0.1),
          rate("packets_received", QObject::tr("Packets Received/sec"),
               QObject::tr("Packets received on the interface per second."), 1.0, 0.1),
          rate("packets_sent", QObject::tr("Packets Sent/sec"),
               QObject::tr("Packets sent on the interface per second."), 1.0, 0.1)},
         true,
         false,
         {}});

    objects.push_back(
        {QStringLiteral("system"),
         QObject::tr("System"),
         QObject::tr("The system as a whole, from /proc/stat, /proc/loadavg and /proc/uptime."),
         {gauge("processes", QObject::tr("Processes"), QObject::tr("Processes that exist now."),
                1.0, 0.1),
          gauge("threads", QObject::tr("Threads"),
                QObject::tr("Threads that exist now, counting each process's threads."), 1.0, 0.1),
          rate("context_switches", QObject::tr("Context Switches/sec"),
               QObject::tr("Switches of the processors from one thread to another per second."),
               1.0, 0.01),
          gauge("queue_length", QObject::tr("Processor Queue Length"),
                QObject::tr("Threads that are ready to run or running now (the first number of "
                            "the fourth field of /proc/loadavg)."),
                1.0, 10.0),
          gauge("up_time", QObject::tr("System Up Time"),
                QObject::tr("Seconds since the computer started."), 1.0, 1e-4)},
         false,
         false,
         {}});

    objects.push_back(
        {QStringLiteral("process"),
         QObject::tr("Process"),
         QObject::tr("The running processes, each named by its command and process id, from "
                     "/proc/<pid>/stat and /proc/<pid>/status; _Total sums all processes."),
         {rate("processor_time", QObject::tr("% Processor Time"),
               QObject::tr("Processor time the process used in user and kernel mode, in percent "
                           "of one processor; it can pass 100 on a computer with several."),
               100.0 / ticks, 1.0),
          gauge("working_set", QObject::tr("Working Set"),
                QObject::tr("Physical memory the process occupies now (VmRSS), in bytes."), 1.0,
                1e-6),
          gauge("private_bytes", QObject::tr("Private Bytes"),
                QObject::tr("Memory that belongs to the process alone: its anonymous resident "
                            "pages and its swapped-out pages (RssAnon + VmSwap), in bytes."),
                1.0, 1e-6),
          gauge("virtual_bytes", QObject::tr("Virtual Bytes"),
                QObject::tr("Address space the process has reserved (VmSize), in bytes."), 1.0,
                1e-8),
          gauge("thread_count", QObject::tr("Thread Count"),
                QObject::tr("Threads the process has now."), 1.0, 1.0),
          gauge("id_process", QObject::tr("ID Process"), QObject::tr("The process id."), 1.0,
                0.001)},
         true,
         true,
         {}});
    return objects;
}

} // namespace

const std::vector<ObjectInfo>& linuxCounterCatalogue() {
    static const std::vector<ObjectInfo> catalogue = build();
    return catalogue;
}

} // namespace ombrix::platform
