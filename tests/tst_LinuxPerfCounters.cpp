#include "platform/linux/LinuxMemoryStatus.h"
#include "platform/linux/counters/LinuxCounterCatalogue.h"
#include "platform/linux/counters/LinuxPerfCounters.h"
#include "platform/linux/counters/ProcParsers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ombrix::platform;
Q_DECLARE_METATYPE(std::optional<ombrix::platform::RawValue>)

namespace {

std::string fixture(const char* name) {
    QFile file(QStringLiteral(OMBRIX_FIXTURES_DIR "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", name);
    return file.readAll().toStdString();
}

std::optional<RawValue> raw(double value, double base = 0, std::uint64_t identity = 0) {
    return RawValue{value, base, identity};
}

// The path of a counter named as the user reads it; unknown names stay as they are.
CounterPath named(const QString& object, const QString& counter, const QString& instance) {
    CounterPath path{object, counter, instance, {}};
    for (const auto& o : linuxCounterCatalogue())
        if (o.name == object) {
            path.object = o.id;
            for (const auto& c : o.counters)
                if (c.name == counter)
                    path.counter = c.id;
        }
    return path;
}

const CounterInfo& counterOf(PerfCounters& counters, const QString& object, const QString& name) {
    const CounterInfo* info = findCounter(counters.objects(), {object, name, {}, {}});
    if (!info)
        qFatal("no counter %s", qPrintable(name));
    return *info;
}

// The value a counter shows over the time between two samples.
std::optional<double> valueBetween(PerfCounters& counters, const CounterPath& path,
                                   const RawSample& before, const RawSample& after,
                                   std::size_t i = 0) {
    return counterValue(counterOf(counters, path.object, path.counter), before.values[i],
                        before.seconds, after.values[i], after.seconds);
}

// A copy of the /proc and /sys files the counters read, which a test can change.
class FakeTree {
public:
    FakeTree() {
        QDir(m_dir.path()).mkpath("proc/4242");
        QDir(m_dir.path()).mkpath("sys/block/vda/device");
        QDir(m_dir.path()).mkpath("sys/block/nvme0n1/device");
        QDir(m_dir.path()).mkpath("sys/block/loop0");
        write("proc/stat", fixture("stat_twocpus.txt"));
        write("proc/interrupts", fixture("interrupts_twocpus.txt"));
        write("proc/meminfo", fixture("meminfo_normal.txt"));
        write("proc/vmstat", fixture("vmstat_normal.txt"));
        write("proc/diskstats", fixture("diskstats_normal.txt"));
        write("proc/net/dev", fixture("netdev_normal.txt"));
        write("proc/loadavg", fixture("loadavg_normal.txt"));
        write("proc/uptime", fixture("uptime_normal.txt"));
        write("proc/4242/stat", fixture("pidstat_normal.txt"));
        write("proc/4242/status", fixture("pidstatus_normal.txt"));
    }
    void write(const QString& relative, const std::string& text) {
        const QString path = m_dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.data(), static_cast<qint64>(text.size()));
    }
    void remove(const QString& relative) { QFile::remove(m_dir.filePath(relative)); }
    std::string proc() const { return m_dir.filePath("proc").toStdString(); }
    std::string sys() const { return m_dir.filePath("sys").toStdString(); }

private:
    QTemporaryDir m_dir;
};

std::string readText(const char* path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Busy and total ticks of the whole machine, read independently of the reader under test.
std::pair<double, double> statBusyTotal() {
    std::istringstream in(readText("/proc/stat"));
    std::string cpu;
    double v[8] = {};
    in >> cpu >> v[0] >> v[1] >> v[2] >> v[3] >> v[4] >> v[5] >> v[6] >> v[7];
    double total = 0;
    for (double x : v)
        total += x;
    return {total - v[3] - v[4], total};
}

double statusKb(const std::string& key) {
    std::istringstream in(readText("/proc/self/status"));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + ":", 0) == 0)
            return std::stod(line.substr(key.size() + 1));
    return -1;
}

} // namespace

class tst_LinuxPerfCounters : public QObject {
    Q_OBJECT
private slots:
    void statKeepsEveryProcessorLine();
    void statSurvivesBadInput_data();
    void statSurvivesBadInput();
    void interruptsSumPerProcessor();
    void kbFieldsInBytes_data();
    void kbFieldsInBytes();
    void diskAndNetworkLinesSkipGarbage();
    void loadAverageNeedsBothNumbers();
    void processStat_data();
    void processStat();

    void counterValue_data();
    void counterValue();

    void instancesOfEachObject_data();
    void instancesOfEachObject();
    void valuesFromTheTree_data();
    void valuesFromTheTree();
    void ratesBetweenTwoReadings();
    void changesGiveGapsNotSpikes_data();
    void changesGiveGapsNotSpikes();

    void busyCoreNearHundredPercent();
    void totalProcessorTimeMatchesStat();
    void availableBytesMatchesMeminfo();
    void availableMemoryAgreesWithTheMainWindow_data();
    void availableMemoryAgreesWithTheMainWindow();
    void loopbackBytesReceivedMatchesTransfer();
    void diskWriteBytesMatchesSyncedFile();
    void workingSetMatchesStatus();
    void endedProcessStopsItsLine();
};

void tst_LinuxPerfCounters::statKeepsEveryProcessorLine() {
    const auto stat = proc::parseStat(fixture("stat_twocpus.txt"));
    QVERIFY(stat.all);
    QCOMPARE(stat.all->busy(), 4072u + 10 + 2982 + 5 + 58 + 5);
    QCOMPARE(stat.all->total(), 4072u + 10 + 2982 + 73370 + 408 + 5 + 58 + 5);
    QCOMPARE(stat.cpus.size(), 2u);
    QCOMPARE(stat.cpus[1].first, 1);
    QCOMPARE(stat.cpus[1].second.privilegedTime(), 1903u + 3 + 51);
    QCOMPARE(stat.interrupts.value_or(0), 338469u);
    QCOMPARE(stat.contextSwitches.value_or(0), 606383u);
}

void tst_LinuxPerfCounters::statSurvivesBadInput_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("cpus");
    QTest::addColumn<bool>("interrupts");
    QTest::newRow("cut in the middle of a processor line") << "stat_truncated.txt" << 1 << false;
    QTest::newRow("an offline processor and garbled lines") << "stat_offlinecpu.txt" << 2 << false;
}

void tst_LinuxPerfCounters::statSurvivesBadInput() {
    QFETCH(QString, name);
    QFETCH(int, cpus);
    QFETCH(bool, interrupts);
    const auto stat = proc::parseStat(fixture(qPrintable(name)));
    QVERIFY(stat.all);
    QCOMPARE(static_cast<int>(stat.cpus.size()), cpus);
    QCOMPARE(stat.interrupts.has_value(), interrupts);
    if (name == "stat_offlinecpu.txt")
        QCOMPARE(stat.cpus[1].first, 2);
}

void tst_LinuxPerfCounters::interruptsSumPerProcessor() {
    const auto perCpu = proc::parseInterrupts(fixture("interrupts_twocpus.txt"));
    QCOMPARE(perCpu.size(), 2u);
    // ERR and MIS carry one machine-wide number and must not land on CPU0.
    QCOMPARE(perCpu[0].second, 33u + 0 + 1000 + 1 + 50000);
    QCOMPARE(perCpu[1].second, 0u + 9 + 2000 + 2 + 60000);
    QVERIFY(proc::parseInterrupts("").empty());
}

void tst_LinuxPerfCounters::kbFieldsInBytes_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key");
    QTest::addColumn<qlonglong>("bytes"); // -1: unknown
    QTest::newRow("available memory") << "meminfo_normal.txt"
                                      << "MemAvailable" << 6012344LL * 1024;
    QTest::newRow("value past 32 bits") << "meminfo_normal.txt"
                                        << "VmallocTotal" << 34359738367LL * 1024;
    QTest::newRow("no line of that name, only a longer one") << "meminfo_noavailable.txt"
                                                             << "MemAvailable" << -1LL;
    QTest::newRow("line without its unit") << "meminfo_noavailable.txt"
                                           << "Committed_AS" << -1LL;
    QTest::newRow("kernel thread has no resident set") << "pidstatus_kthread.txt"
                                                       << "VmRSS" << -1LL;
    QTest::newRow("process resident set") << "pidstatus_normal.txt"
                                          << "VmRSS" << 6000LL * 1024;
}

void tst_LinuxPerfCounters::kbFieldsInBytes() {
    QFETCH(QString, name);
    QFETCH(QString, key);
    QFETCH(qlonglong, bytes);
    const auto value = proc::parseKbField(fixture(qPrintable(name)), key.toStdString());
    QCOMPARE(value ? static_cast<qlonglong>(*value) : -1LL, bytes);
}

void tst_LinuxPerfCounters::diskAndNetworkLinesSkipGarbage() {
    const auto disks = proc::parseDiskstats(fixture("diskstats_normal.txt"));
    QCOMPARE(disks.size(), 5u); // sdb's two numbers are not a disk line
    QCOMPARE(disks[1].name, std::string("vda"));
    QCOMPARE(disks[1].sectorsWritten, 1716808u);
    QCOMPARE(disks[1].ioMilliseconds, 9560u);
    QCOMPARE(disks[3].name, std::string("nvme0n1")); // the older, shorter line form
    QCOMPARE(disks[3].writes, 200u);

    const auto devices = proc::parseNetDev(fixture("netdev_normal.txt"));
    QCOMPARE(devices.size(), 2u);
    QCOMPARE(devices[1].name, std::string("eth0"));
    QCOMPARE(devices[1].rxBytes, 100762445u);
    QCOMPARE(devices[1].txPackets, 1094u);

    QCOMPARE(proc::parseVmstatField(fixture("vmstat_normal.txt"), "pgfault").value_or(0), 9876543u);
}

void tst_LinuxPerfCounters::loadAverageNeedsBothNumbers() {
    const auto load = proc::parseLoadAvg(fixture("loadavg_normal.txt"));
    QVERIFY(load);
    QCOMPARE(load->running, 3u);
    QCOMPARE(load->threads, 122u);
    QVERIFY(!proc::parseLoadAvg(fixture("loadavg_garbled.txt")));
    QVERIFY(!proc::parseLoadAvg("0.1 0.2"));
}

void tst_LinuxPerfCounters::processStat_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("comm");
    QTest::addColumn<qulonglong>("ticks");
    QTest::addColumn<qulonglong>("start");
    QTest::newRow("command with a blank")
        << "pidstat_normal.txt" << true << "tmux: server" << 375ULL << 987654ULL;
    QTest::newRow("command holding parentheses")
        << "pidstat_parenthesis.txt" << true << "we ird) (name" << 10ULL << 555ULL;
    QTest::newRow("cut before the start time")
        << "pidstat_truncated.txt" << false << "" << 0ULL << 0ULL;
}

void tst_LinuxPerfCounters::processStat() {
    QFETCH(QString, name);
    QFETCH(bool, valid);
    QFETCH(QString, comm);
    QFETCH(qulonglong, ticks);
    QFETCH(qulonglong, start);
    const auto stat = proc::parseProcessStat(fixture(qPrintable(name)));
    QCOMPARE(stat.has_value(), valid);
    if (!stat)
        return;
    QCOMPARE(QString::fromStdString(stat->comm), comm);
    QCOMPARE(stat->utime + stat->stime, ticks);
    QCOMPARE(stat->startTime, start);
}

void tst_LinuxPerfCounters::counterValue_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("factor");
    QTest::addColumn<std::optional<RawValue>>("previous");
    QTest::addColumn<double>("previousSeconds");
    QTest::addColumn<std::optional<RawValue>>("current");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<double>("expected"); // NaN: no value
    const double none = std::nan("");
    const int gauge = int(CounterKind::Gauge), rate = int(CounterKind::Rate),
              fraction = int(CounterKind::Fraction);
    const std::optional<RawValue> nothing;
    QTest::newRow("gauge on the first reading")
        << gauge << 2.0 << nothing << 0.0 << raw(21) << 1.0 << 42.0;
    QTest::newRow("rate has no first reading")
        << rate << 1.0 << nothing << 0.0 << raw(500) << 1.0 << none;
    QTest::newRow("rate over two seconds")
        << rate << 512.0 << raw(100) << 1.0 << raw(300) << 3.0 << 51200.0;
    QTest::newRow("rate going backwards")
        << rate << 1.0 << raw(300) << 1.0 << raw(100) << 2.0 << none;
    QTest::newRow("rate after a 32-bit wrap")
        << rate << 1.0 << raw(4294967000.0) << 1.0 << raw(200) << 2.0 << none;
    QTest::newRow("rate without time passing")
        << rate << 1.0 << raw(1) << 5.0 << raw(2) << 5.0 << none;
    QTest::newRow("rate of a reused process id")
        << rate << 1.0 << raw(10, 0, 111) << 1.0 << raw(20, 0, 222) << 2.0 << none;
    QTest::newRow("rate of a vanished instance")
        << rate << 1.0 << raw(10) << 1.0 << nothing << 2.0 << none;
    QTest::newRow("fraction of busy ticks")
        << fraction << 1.0 << raw(100, 1000) << 1.0 << raw(150, 1200) << 2.0 << 25.0;
    QTest::newRow("fraction with no ticks between")
        << fraction << 1.0 << raw(100, 1000) << 1.0 << raw(100, 1000) << 2.0 << none;
    QTest::newRow("fraction a hair above its base: fully busy")
        << fraction << 1.0 << raw(100, 1000) << 1.0 << raw(203, 1100) << 2.0 << 100.0;
    QTest::newRow("fraction above its base")
        << fraction << 1.0 << raw(100, 1000) << 1.0 << raw(400, 1100) << 2.0 << none;
}

void tst_LinuxPerfCounters::counterValue() {
    QFETCH(int, kind);
    QFETCH(double, factor);
    QFETCH(std::optional<RawValue>, previous);
    QFETCH(double, previousSeconds);
    QFETCH(std::optional<RawValue>, current);
    QFETCH(double, seconds);
    QFETCH(double, expected);
    const CounterInfo info{"c", "c", "", CounterKind(kind), factor, 1.0};
    const auto value =
        ombrix::platform::counterValue(info, previous, previousSeconds, current, seconds);
    if (std::isnan(expected))
        QVERIFY(!value);
    else
        QCOMPARE(value.value_or(-1), expected);
}

void tst_LinuxPerfCounters::instancesOfEachObject_data() {
    QTest::addColumn<QString>("object");
    QTest::addColumn<QStringList>("instances");
    QTest::newRow("processors") << "Processor" << QStringList{"_Total", "0", "1"};
    QTest::newRow("disks: no partitions, loop or mapped devices")
        << "PhysicalDisk" << QStringList{"_Total", "vda", "nvme0n1"};
    QTest::newRow("network interfaces") << "Network Interface" << QStringList{"lo", "eth0"};
    QTest::newRow("processes by command and id")
        << "Process" << QStringList{"_Total", "tmux: server#4242"};
    QTest::newRow("memory has none") << "Memory" << QStringList{};
}

void tst_LinuxPerfCounters::instancesOfEachObject() {
    QFETCH(QString, object);
    QFETCH(QStringList, instances);
    FakeTree tree;
    LinuxPerfCounters counters(tree.proc(), tree.sys());
    QCOMPARE(counters.instances(named(object, {}, {}).object), instances);
}

void tst_LinuxPerfCounters::valuesFromTheTree_data() {
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("counter");
    QTest::addColumn<QString>("instance");
    QTest::addColumn<double>("value"); // the raw reading, NaN: none
    QTest::newRow("available bytes") << "Memory"
                                     << "Available Bytes"
                                     << "" << 6012344.0 * 1024;
    QTest::newRow("committed bytes") << "Memory"
                                     << "Committed Bytes"
                                     << "" << 3145728.0 * 1024;
    QTest::newRow("pages: major faults and swap-outs") << "Memory"
                                                       << "Pages/sec"
                                                       << "" << 1234.0 + 17;
    QTest::newRow("interrupts of processor 1") << "Processor"
                                               << "Interrupts/sec"
                                               << "1" << 62011.0;
    QTest::newRow("processor that does not exist") << "Processor"
                                                   << "% Processor Time"
                                                   << "7" << std::nan("");
    QTest::newRow("disk total leaves partitions out") << "PhysicalDisk"
                                                      << "Disk Write Bytes/sec"
                                                      << "_Total" << 1716808.0 + 1600;
    QTest::newRow("threads from loadavg") << "System"
                                          << "Threads"
                                          << "" << 122.0;
    QTest::newRow("up time") << "System"
                             << "System Up Time"
                             << "" << 12345.67;
    QTest::newRow("process count") << "System"
                                   << "Processes"
                                   << "" << 1.0;
    QTest::newRow("working set") << "Process"
                                 << "Working Set"
                                 << "tmux: server#4242" << 6000.0 * 1024;
    QTest::newRow("private bytes include swapped pages") << "Process"
                                                         << "Private Bytes"
                                                         << "tmux: server#4242" << 2100.0 * 1024;
    QTest::newRow("process id taken by another command") << "Process"
                                                         << "Working Set"
                                                         << "bash#4242" << std::nan("");
    QTest::newRow("unknown counter") << "Memory"
                                     << "Bogus"
                                     << "" << std::nan("");
}

void tst_LinuxPerfCounters::valuesFromTheTree() {
    QFETCH(QString, object);
    QFETCH(QString, counter);
    QFETCH(QString, instance);
    QFETCH(double, value);
    FakeTree tree;
    LinuxPerfCounters counters(tree.proc(), tree.sys());
    const auto sample = counters.sample({named(object, counter, instance)});
    QCOMPARE(sample.values.size(), 1u);
    if (std::isnan(value))
        QVERIFY(!sample.values[0]);
    else
        QCOMPARE(sample.values[0].value_or(RawValue{-1, 0, 0}).value, value);
}

void tst_LinuxPerfCounters::ratesBetweenTwoReadings() {
    FakeTree tree;
    LinuxPerfCounters counters(tree.proc(), tree.sys());
    const std::vector<CounterPath> paths = {
        named("Processor", "% Processor Time", "0"),
        named("Network Interface", "Bytes Received/sec", "lo"),
        named("Process", "% Processor Time", "tmux: server#4242")};
    const auto before = counters.sample(paths);
    tree.write("proc/stat", "cpu  0 0 0 0 0 0 0 0\ncpu0 1777 4 1078 37650 13 2 7 1 0 0\n");
    tree.write("proc/net/dev", "lo: 5267 30 0 0 0 0 0 0 3267 29 0 0 0 0 0 0\n");
    tree.write("proc/4242/stat", "4242 (tmux: server) S 1 4242 4242 0 -1 4194624 1234 0 0 0 300 "
                                 "175 0 0 20 0 3 0 987654 1 1\n");
    auto after = counters.sample(paths);
    after.seconds = before.seconds + 2;
    QCOMPARE(valueBetween(counters, paths[0], before, after, 0).value_or(-1), 50.0);
    QCOMPARE(valueBetween(counters, paths[1], before, after, 1).value_or(-1), 1000.0);
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    QCOMPARE(valueBetween(counters, paths[2], before, after, 2).value_or(-1),
             100.0 / ticks / 2 * 100);
}

void tst_LinuxPerfCounters::changesGiveGapsNotSpikes_data() {
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("counter");
    QTest::addColumn<QString>("instance");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("text"); // empty: the file is removed
    QTest::newRow("interface counters reset") << "Network Interface"
                                              << "Bytes Received/sec"
                                              << "lo"
                                              << "proc/net/dev"
                                              << "lo: 10 1 0 0 0 0 0 0 10 1 0 0 0 0 0 0\n";
    QTest::newRow("interface removed") << "Network Interface"
                                       << "Bytes Sent/sec"
                                       << "eth0"
                                       << "proc/net/dev"
                                       << "lo: 10 1 0 0 0 0 0 0 10 1 0 0 0 0 0 0\n";
    QTest::newRow("disk leaves the total") << "PhysicalDisk"
                                           << "Disk Read Bytes/sec"
                                           << "_Total"
                                           << "proc/diskstats"
                                           << " 254 0 vda 35400 9605 2700000 10330 31251 9104 "
                                              "1716808 7708 0 9560 18660\n";
    QTest::newRow("process ended") << "Process"
                                   << "% Processor Time"
                                   << "tmux: server#4242"
                                   << "proc/4242/stat"
                                   << "";
    QTest::newRow("process id reused by the same command")
        << "Process"
        << "% Processor Time"
        << "tmux: server#4242"
        << "proc/4242/stat"
        << "4242 (tmux: server) S 1 1 1 0 -1 0 0 0 0 0 900 900 0 0 20 0 1 0 999999 1 1\n";
    QTest::newRow("stat unreadable") << "Processor"
                                     << "% Processor Time"
                                     << "_Total"
                                     << "proc/stat"
                                     << "";
    QTest::newRow("stat garbled") << "System"
                                  << "Context Switches/sec"
                                  << ""
                                  << "proc/stat"
                                  << "ctxt many\n";
}

void tst_LinuxPerfCounters::changesGiveGapsNotSpikes() {
    QFETCH(QString, object);
    QFETCH(QString, counter);
    QFETCH(QString, instance);
    QFETCH(QString, file);
    QFETCH(QString, text);
    FakeTree tree;
    LinuxPerfCounters counters(tree.proc(), tree.sys());
    const CounterPath path = named(object, counter, instance);
    const auto before = counters.sample({path});
    QVERIFY(before.values[0]);
    if (text.isEmpty())
        tree.remove(file);
    else
        tree.write(file, text.toStdString());
    auto after = counters.sample({path});
    after.seconds = before.seconds + 1;
    QVERIFY(!valueBetween(counters, path, before, after));
}

void tst_LinuxPerfCounters::busyCoreNearHundredPercent() {
    const int cpu = sched_getcpu();
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    std::atomic<bool> stop = false;
    std::thread spinner([&] {
        pthread_setaffinity_np(pthread_self(), sizeof set, &set);
        volatile std::uint64_t n = 0;
        while (!stop)
            n = n + 1;
    });
    LinuxPerfCounters counters;
    const CounterPath path = named("Processor", "% Processor Time", QString::number(cpu));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto before = counters.sample({path});
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const auto after = counters.sample({path});
    stop = true;
    spinner.join();
    const auto busy = valueBetween(counters, path, before, after);
    QVERIFY(busy);
    QVERIFY2(*busy > 90 && *busy <= 100, qPrintable(QString::number(*busy)));
}

void tst_LinuxPerfCounters::totalProcessorTimeMatchesStat() {
    LinuxPerfCounters counters;
    const CounterPath path = named("Processor", "% Processor Time", "_Total");
    const auto [busy0, total0] = statBusyTotal();
    const auto before = counters.sample({path});
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    const auto after = counters.sample({path});
    const auto [busy1, total1] = statBusyTotal();
    const auto value = valueBetween(counters, path, before, after);
    QVERIFY(value);
    const double independent = 100 * (busy1 - busy0) / (total1 - total0);
    QVERIFY2(std::abs(*value - independent) < 10,
             qPrintable(QStringLiteral("%1 vs %2").arg(*value).arg(independent)));
}

void tst_LinuxPerfCounters::availableBytesMatchesMeminfo() {
    LinuxPerfCounters counters;
    const auto sample = counters.sample({named("Memory", "Available Bytes", "")});
    std::istringstream in(readText("/proc/meminfo"));
    std::string key;
    double kb = -1;
    std::string unit;
    while (in >> key >> kb >> unit && key != "MemAvailable:") {
    }
    QVERIFY(sample.values[0]);
    QVERIFY2(std::abs(sample.values[0]->value - kb * 1024) < 64.0 * 1024 * 1024,
             qPrintable(QStringLiteral("%1 vs %2").arg(sample.values[0]->value).arg(kb * 1024)));
}

void tst_LinuxPerfCounters::availableMemoryAgreesWithTheMainWindow_data() {
    QTest::addColumn<QString>("file");
    const QStringList files = QDir(QStringLiteral(OMBRIX_FIXTURES_DIR))
                                  .entryList({QStringLiteral("meminfo_*.txt")}, QDir::Files);
    QVERIFY(!files.isEmpty());
    for (const QString& file : files)
        QTest::newRow(qPrintable(file)) << file;
}

void tst_LinuxPerfCounters::availableMemoryAgreesWithTheMainWindow() {
    QFETCH(QString, file);
    FakeTree tree;
    tree.write("proc/meminfo", fixture(qPrintable(file)));
    const auto status = LinuxMemoryStatus(QString::fromStdString(tree.proc() + "/meminfo")).query();
    LinuxPerfCounters counters(tree.proc(), tree.sys());
    const auto sample = counters.sample({named("Memory", "Available Bytes", "")});
    // Where the main window shows a figure, the monitor shows the same one.
    if (status) {
        QVERIFY(sample.values[0]);
        QCOMPARE(sample.values[0]->value, double(status->availPhysBytes));
    }
}

void tst_LinuxPerfCounters::loopbackBytesReceivedMatchesTransfer() {
    const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    QVERIFY(server >= 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    QVERIFY(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    QVERIFY(listen(server, 1) == 0);
    QVERIFY(getsockname(server, reinterpret_cast<sockaddr*>(&address), &length) == 0);
    const int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    QVERIFY(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    const int peer = accept(server, nullptr, nullptr);
    QVERIFY(peer >= 0);

    constexpr std::size_t total = 32 * 1024 * 1024;
    std::thread reader([peer] {
        std::vector<char> buffer(1 << 16);
        std::size_t got = 0;
        while (got < total) {
            const ssize_t n = ::read(peer, buffer.data(), buffer.size());
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
    });
    // The kernel's own count of what lo received, read around each sample:
    // other programs may use loopback at the same time, and whatever they
    // send falls within the same bounds.
    const auto kernelBytes = [] {
        std::ifstream file("/sys/class/net/lo/statistics/rx_bytes");
        double bytes = -1;
        file >> bytes;
        return bytes;
    };
    LinuxPerfCounters counters;
    const CounterPath path = named("Network Interface", "Bytes Received/sec", "lo");
    const double kernelBefore = kernelBytes();
    const auto before = counters.sample({path});
    const double kernelStart = kernelBytes();
    const std::vector<char> chunk(1 << 16, 'x');
    for (std::size_t sent = 0; sent < total;) {
        const ssize_t n = ::write(client, chunk.data(), chunk.size());
        QVERIFY(n > 0);
        sent += static_cast<std::size_t>(n);
    }
    reader.join();
    const double kernelEnd = kernelBytes();
    const auto after = counters.sample({path});
    const double kernelAfter = kernelBytes();
    ::close(client);
    ::close(peer);
    ::close(server);
    if (kernelBefore < 0 || kernelEnd - kernelStart < total)
        QSKIP("/sys/class/net/lo is not this process's loopback interface");
    const auto rate = valueBetween(counters, path, before, after);
    QVERIFY(rate);
    const double bytes = *rate * (after.seconds - before.seconds);
    const QString seen = QStringLiteral("%1 bytes, the kernel between %2 and %3")
                             .arg(bytes, 0, 'f', 0)
                             .arg(kernelEnd - kernelStart, 0, 'f', 0)
                             .arg(kernelAfter - kernelBefore, 0, 'f', 0);
    const double rounding = 1 + bytes * 1e-9;
    QVERIFY2(bytes >= total, qPrintable(seen));
    QVERIFY2(bytes >= kernelEnd - kernelStart - rounding, qPrintable(seen));
    QVERIFY2(bytes <= kernelAfter - kernelBefore + rounding, qPrintable(seen));
}

void tst_LinuxPerfCounters::diskWriteBytesMatchesSyncedFile() {
    QTemporaryDir dir(QDir::currentPath() + "/diskwrite-XXXXXX");
    QVERIFY(dir.isValid());
    const QByteArray name = dir.filePath("data").toLocal8Bit();
    struct stat info {};
    QVERIFY(::stat(dir.path().toLocal8Bit().constData(), &info) == 0);
    // The disk behind this folder: the partition's parent where it is one.
    const QString device =
        QStringLiteral("/sys/dev/block/%1:%2").arg(major(info.st_dev)).arg(minor(info.st_dev));
    QString disk = QFileInfo(QFileInfo(device).canonicalFilePath()).fileName();
    if (QFile::exists(device + "/partition"))
        disk = QFileInfo(QFileInfo(device).canonicalFilePath()).dir().dirName();
    LinuxPerfCounters counters;
    if (disk.isEmpty() || !counters.instances("physical_disk").contains(disk))
        QSKIP(qPrintable("the folder's file system has no disk in /proc/diskstats (device " +
                         QString::number(major(info.st_dev)) + ":" +
                         QString::number(minor(info.st_dev)) + ")"));

    const CounterPath path = named("PhysicalDisk", "Disk Write Bytes/sec", disk);
    const auto before = counters.sample({path});
    constexpr std::size_t total = 32 * 1024 * 1024;
    {
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        QVERIFY(fd >= 0);
        std::vector<char> chunk(1 << 20);
        for (std::size_t i = 0; i < chunk.size(); ++i)
            chunk[i] = static_cast<char>(i * 7);
        for (std::size_t written = 0; written < total; written += chunk.size())
            QVERIFY(::write(fd, chunk.data(), chunk.size()) == static_cast<ssize_t>(chunk.size()));
        QVERIFY(::fsync(fd) == 0);
        ::close(fd);
    }
    const auto after = counters.sample({path});
    const auto rate = valueBetween(counters, path, before, after);
    QVERIFY(rate);
    const double bytes = *rate * (after.seconds - before.seconds);
    QVERIFY2(bytes >= total * 0.95, qPrintable(QString::number(bytes)));
}

void tst_LinuxPerfCounters::workingSetMatchesStatus() {
    std::vector<char> block(48 * 1024 * 1024, 1); // touched, so resident
    LinuxPerfCounters counters;
    QString self;
    for (const QString& instance : counters.instances("process"))
        if (instance.endsWith("#" + QString::number(getpid())))
            self = instance;
    QVERIFY(!self.isEmpty());
    const auto sample = counters.sample({named("Process", "Working Set", self)});
    const double kb = statusKb("VmRSS");
    QVERIFY(sample.values[0]);
    QVERIFY(sample.values[0]->value > block.size());
    QVERIFY2(std::abs(sample.values[0]->value - kb * 1024) < 2.0 * 1024 * 1024,
             qPrintable(QStringLiteral("%1 vs %2").arg(sample.values[0]->value).arg(kb * 1024)));
    QVERIFY(block[12345] == 1);
}

void tst_LinuxPerfCounters::endedProcessStopsItsLine() {
    const pid_t child = fork();
    if (child == 0) {
        pause();
        _exit(0);
    }
    QVERIFY(child > 0);
    LinuxPerfCounters counters;
    QString instance;
    for (int tries = 0; tries < 100 && instance.isEmpty(); ++tries) {
        for (const QString& name : counters.instances("process"))
            if (name.endsWith("#" + QString::number(child)))
                instance = name;
    }
    const CounterPath path = named("Process", "% Processor Time", instance);
    const auto before = counters.sample({path});
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    const auto after = counters.sample({path});
    QVERIFY(!instance.isEmpty());
    QVERIFY(before.values[0]);
    QVERIFY(!after.values[0]);
    QVERIFY(!valueBetween(counters, path, before, after));
}

QTEST_GUILESS_MAIN(tst_LinuxPerfCounters)
#include "tst_LinuxPerfCounters.moc"
