// How another computer's answers become our counters' readings and reasons,
// fed answers recorded from a pmcd (descriptors as PCP 6.0 gives them), with
// no collector: the sums, totals, units and 64-bit sizes, and the words for
// libpcp's error codes.
#include "fakes/RecordedAnswer.h"
#include "platform/pcp/PcpMapping.h"

#include <QTest>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include <netdb.h>
#include <unistd.h>

using namespace ombrix::platform;
using namespace ombrix::platform::pcp;

namespace {

pmUnits units(int space, int time, int count) {
    pmUnits u{};
    u.dimSpace = space ? 1 : 0;
    u.scaleSpace = space > 0 ? static_cast<unsigned>(space) : 0;
    u.dimTime = time ? 1 : 0;
    u.scaleTime = time > 0 ? static_cast<unsigned>(time) : 0;
    u.dimCount = count;
    return u;
}
const pmUnits kKbyte = units(PM_SPACE_KBYTE, 0, 0);
const pmUnits kByte = units(-1, 0, 0); // bytes: scale 0
const pmUnits kMsec = units(0, PM_TIME_MSEC, 0);
const pmUnits kSec = units(0, PM_TIME_SEC, 0);
const pmUnits kCount = units(0, 0, 1);
constexpr pmInDom kCpus = 60 << 22 | 0, kDisks = 60 << 22 | 1, kInterfaces = 60 << 22 | 3,
                  kProcesses = 3 << 22 | 9;

// The instance that stands for _Total in these tests.
constexpr int kTotal = std::numeric_limits<int>::min();

const CounterMap& mapOf(const QString& object, const QString& counter) {
    for (const auto& map : counterMaps())
        if (QString::fromStdString(map.object) == object &&
            QString::fromStdString(map.counter) == counter)
            return map;
    qFatal("no map for %s/%s", qPrintable(object), qPrintable(counter));
}

std::optional<RawValue> reading(const QString& object, const QString& counter, int instance,
                                const Recording& recording) {
    const Answer answer(recording);
    const Values values = fetchedValues(answer.result(), answer.metrics());
    const CounterMap& map = mapOf(object, counter);
    return instance == kTotal ? totalReading(map, answer.metrics(), values)
                              : instanceReading(map, instance, values);
}

// The processor times of a computer with two processors, in milliseconds,
// with (or without) the whole computer's own sums.
Recording processorTimes(bool withAll) {
    const char* const parts[] = {"user", "nice", "sys", "idle", "wait.total", "intr", "steal"};
    const double cpu0[] = {1000, 10, 500, 8000, 40, 20, 0};
    const double cpu1[] = {3000, 0, 700, 6000, 60, 30, 5};
    Recording recording;
    for (int i = 0; i < 7; ++i) {
        recording.push_back({std::string("kernel.percpu.cpu.") + parts[i],
                             PM_TYPE_U64,
                             kMsec,
                             kCpus,
                             {{0, cpu0[i]}, {1, cpu1[i]}}});
        if (withAll)
            recording.push_back({std::string("kernel.all.cpu.") + parts[i],
                                 PM_TYPE_U64,
                                 kMsec,
                                 PM_INDOM_NULL,
                                 {{0, cpu0[i] + cpu1[i]}}});
    }
    return recording;
}

// A process with 5 TiB of address space and 4.5 TiB resident: the 64-bit
// kilobyte counts and the 32-bit ones, which wrapped at 4 TiB.
Recording hugeProcess() {
    const double KiB = 1024, TiB = KiB * KiB * KiB * KiB;
    const auto wrapped = [&](double bytes) { return std::fmod(bytes / KiB, 4294967296.0); };
    return {{"proc.psinfo.vsize", PM_TYPE_U64, kKbyte, kProcesses, {{4242, 5 * TiB / KiB}}},
            {"proc.psinfo.rss", PM_TYPE_U64, kKbyte, kProcesses, {{4242, 4.5 * TiB / KiB}}},
            {"proc.memory.vmsize", PM_TYPE_U32, kKbyte, kProcesses, {{4242, wrapped(5 * TiB)}}},
            {"proc.memory.vmrss", PM_TYPE_U32, kKbyte, kProcesses, {{4242, wrapped(4.5 * TiB)}}}};
}

double ticksPerMillisecond() {
    return static_cast<double>(sysconf(_SC_CLK_TCK)) / 1000.0;
}

} // namespace

Q_DECLARE_METATYPE(Recording)
Q_DECLARE_METATYPE(std::optional<RawValue>)

class tst_PcpMapping : public QObject {
    Q_OBJECT
private slots:
    void readingOfOneAnswer_data();
    void readingOfOneAnswer();
    void totalsIdentityFollowsItsInstances();
    void ratesFromTwoAnswers();
    void connectFailureSaysWhatHappened_data();
    void connectFailureSaysWhatHappened();
    void hostAndPortApart_data();
    void hostAndPortApart();
    void processRefusalSaysHowToAllowIt();
};

void tst_PcpMapping::readingOfOneAnswer_data() {
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("counter");
    QTest::addColumn<int>("instance");
    QTest::addColumn<Recording>("recording");
    QTest::addColumn<std::optional<RawValue>>("expected");
    const double TiB = 1024.0 * 1024 * 1024 * 1024;
    const auto value = [](double v, double base = 0) {
        return std::optional(RawValue{v, base, 0});
    };

    QTest::newRow("virtual bytes of a process past 4 TiB")
        << "process"
        << "virtual_bytes" << 4242 << hugeProcess() << value(5 * TiB);
    QTest::newRow("working set of a process past 4 TiB")
        << "process"
        << "working_set" << 4242 << hugeProcess() << value(4.5 * TiB);
    QTest::newRow("processor time in clock ticks, as /proc counts it")
        << "process"
        << "processor_time" << 7
        << Recording{{"proc.psinfo.utime", PM_TYPE_U64, kMsec, kProcesses, {{7, 2000}}},
                     {"proc.psinfo.stime", PM_TYPE_U64, kMsec, kProcesses, {{7, 500}}}}
        << value(2500 * ticksPerMillisecond());
    QTest::newRow("a processor's busy time over its whole time")
        << "processor"
        << "processor_time" << 1 << processorTimes(true)
        << value(3000 + 0 + 700 + 30 + 5, 3000 + 0 + 700 + 6000 + 60 + 30 + 5);
    QTest::newRow("_Total from the computer's own sums")
        << "processor"
        << "processor_time" << kTotal << processorTimes(true)
        << value(4000 + 10 + 1200 + 50 + 5, 4000 + 10 + 1200 + 14000 + 100 + 50 + 5);
    // A collector without kernel.all: the sum of the processors stands in.
    std::optional<RawValue> summed =
        RawValue{4000 + 10 + 1200 + 50 + 5, 4000 + 10 + 1200 + 14000 + 100 + 50 + 5,
                 (1 * 0x9E3779B97F4A7C15ull) + (2 * 0x9E3779B97F4A7C15ull)};
    QTest::newRow("_Total summed where the computer has no sums of its own")
        << "processor"
        << "processor_time" << kTotal << processorTimes(false) << summed;
    std::optional<RawValue> mean =
        RawValue{200, 0, (1 * 0x9E3779B97F4A7C15ull) + (2 * 0x9E3779B97F4A7C15ull)};
    QTest::newRow("disk time's _Total is the mean of the disks")
        << "physical_disk"
        << "disk_time" << kTotal
        << Recording{{"disk.dev.avactive", PM_TYPE_U32, kMsec, kDisks, {{0, 100}, {1, 300}}}}
        << mean;
    QTest::newRow("disk kilobytes in 512-byte sectors")
        << "physical_disk"
        << "read_bytes" << 0
        << Recording{{"disk.dev.read_bytes", PM_TYPE_U64, kKbyte, kDisks, {{0, 1000}}}}
        << value(2000);
    QTest::newRow("memory kilobytes in bytes")
        << "memory"
        << "available_bytes" << static_cast<int>(PM_IN_NULL)
        << Recording{{"mem.util.available", PM_TYPE_U64, kKbyte, PM_INDOM_NULL, {{0, 3000000}}}}
        << value(3000000.0 * 1024);
    QTest::newRow("up time in seconds")
        << "system"
        << "up_time" << static_cast<int>(PM_IN_NULL)
        << Recording{{"kernel.all.uptime", PM_TYPE_U32, kSec, PM_INDOM_NULL, {{0, 86400}}}}
        << value(86400);
    QTest::newRow("bytes and packets as counted")
        << "network_interface"
        << "bytes_total" << 3
        << Recording{{"network.interface.in.bytes", PM_TYPE_U64, kByte, kInterfaces, {{3, 5e12}}},
                     {"network.interface.out.bytes", PM_TYPE_U64, kByte, kInterfaces, {{3, 7}}}}
        << value(5e12 + 7);
    QTest::newRow("no value for an instance the answer lacks")
        << "network_interface"
        << "bytes_total" << 4
        << Recording{{"network.interface.in.bytes", PM_TYPE_U64, kByte, kInterfaces, {{3, 5}}},
                     {"network.interface.out.bytes", PM_TYPE_U64, kByte, kInterfaces, {{3, 7}}}}
        << std::optional<RawValue>();
    QTest::newRow("no value where one term is missing")
        << "network_interface"
        << "bytes_total" << 3
        << Recording{{"network.interface.in.bytes", PM_TYPE_U64, kByte, kInterfaces, {{3, 5}}}}
        << std::optional<RawValue>();
    QTest::newRow("no value for a metric the computer refused")
        << "process"
        << "virtual_bytes" << 4242
        << Recording{{"proc.psinfo.vsize", PM_TYPE_U64, kKbyte, kProcesses, {}, PM_ERR_PERMISSION}}
        << std::optional<RawValue>();
    QTest::newRow("no _Total for the process id")
        << "process"
        << "id_process" << kTotal
        << Recording{{"proc.psinfo.pid", PM_TYPE_U32, kCount, kProcesses, {{1, 1}, {7, 7}}}}
        << std::optional<RawValue>();
}

void tst_PcpMapping::readingOfOneAnswer() {
    QFETCH(QString, object);
    QFETCH(QString, counter);
    QFETCH(int, instance);
    QFETCH(Recording, recording);
    QFETCH(std::optional<RawValue>, expected);
    const auto got = reading(object, counter, instance, recording);
    QCOMPARE(got.has_value(), expected.has_value());
    if (!expected)
        return;
    QCOMPARE(got->value, expected->value);
    QCOMPARE(got->base, expected->base);
    QCOMPARE(got->identity, expected->identity);
}

void tst_PcpMapping::totalsIdentityFollowsItsInstances() {
    // The same processes in another order are the same _Total; one gone is not.
    const auto memory = [](std::vector<std::pair<int, double>> values) {
        return reading("process", "working_set", kTotal,
                       {{"proc.psinfo.rss", PM_TYPE_U64, kKbyte, kProcesses, std::move(values)}});
    };
    const auto before = memory({{1, 10}, {7, 20}, {9, 30}});
    const auto reordered = memory({{9, 30}, {1, 10}, {7, 20}});
    const auto oneGone = memory({{1, 10}, {9, 30}});
    QVERIFY(before && reordered && oneGone);
    QCOMPARE(before->value, 60 * 1024.0);
    QCOMPARE(reordered->identity, before->identity);
    QVERIFY(oneGone->identity != before->identity);
}

void tst_PcpMapping::ratesFromTwoAnswers() {
    // Two answers a second apart: a processor busy for a quarter of it, an
    // interface that received 1 MB.
    const CounterInfo busy{"processor_time", "", "", CounterKind::Fraction, 1.0, 1.0};
    const CounterInfo received{"bytes_received", "", "", CounterKind::Rate, 1.0, 1.0};
    const auto interface = [](double bytes) {
        return Recording{
            {"network.interface.in.bytes", PM_TYPE_U64, kByte, kInterfaces, {{2, bytes}}}};
    };
    Recording later = processorTimes(true);
    for (Metric& metric : later) {
        if (metric.name == "kernel.all.cpu.user")
            metric.values[0].second += 500;
        if (metric.name == "kernel.all.cpu.idle")
            metric.values[0].second += 1500;
    }
    const auto first = reading("processor", "processor_time", kTotal, processorTimes(true));
    const auto second = reading("processor", "processor_time", kTotal, later);
    QCOMPARE(counterValue(busy, first, 10, second, 11), std::optional(25.0));
    QCOMPARE(counterValue(received,
                          reading("network_interface", "bytes_received", 2, interface(5e6)), 10,
                          reading("network_interface", "bytes_received", 2, interface(6e6)), 11),
             std::optional(1e6));
}

void tst_PcpMapping::connectFailureSaysWhatHappened_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<int>("lookup");
    QTest::addColumn<int>("own"); // what a connection of our own got after a refusal
    QTest::addColumn<QString>("says");
    QTest::addColumn<bool>("waited"); // in vain, rather than failing at once
    QTest::newRow("refused at once")
        << -ECONNREFUSED << 0.01 << 0 << ECONNREFUSED << "refused the connection" << false;
    QTest::newRow("refused, and taken since")
        << -ECONNREFUSED << 0.01 << 0 << 0 << "refused the connection" << false;
    QTest::newRow("no answer until libpcp gave up")
        << -ECONNREFUSED << 5.0 << 0 << 0 << "did not answer within 5 seconds" << true;
    QTest::newRow("no answer, in the kernel's words")
        << -ETIMEDOUT << 4.0 << 0 << 0 << "did not answer within 4 seconds" << true;
    QTest::newRow("a name no one knows")
        << -EHOSTUNREACH << 0.01 << EAI_NONAME << 0 << "name is known" << false;
    QTest::newRow("no name server")
        << -EHOSTUNREACH << 2.0 << EAI_AGAIN << 0 << "no name server" << false;
    QTest::newRow("a known name without a route")
        << -EHOSTUNREACH << 0.01 << 0 << 0 << "no route" << false;
    QTest::newRow("a host without a route, which libpcp calls refused")
        << -ECONNREFUSED << 0.01 << 0 << EHOSTUNREACH << "no route" << false;
    QTest::newRow("a network without a route, which libpcp calls refused")
        << -ECONNREFUSED << 0.01 << 0 << ENETUNREACH << "no route" << false;
    QTest::newRow("connected, never greeted")
        << static_cast<int>(PM_ERR_TIMEOUT) << 4.0 << 0 << 0 << "timed out" << true;
    QTest::newRow("not allowed") << static_cast<int>(PM_ERR_PERMISSION) << 0.01 << 0 << 0
                                 << "does not give this computer" << false;
}

void tst_PcpMapping::connectFailureSaysWhatHappened() {
    QFETCH(int, code);
    QFETCH(double, seconds);
    QFETCH(int, lookup);
    QFETCH(int, own);
    QFETCH(QString, says);
    QFETCH(bool, waited);
    QCOMPARE(waitedInVain(code, seconds, 5.0), waited);
    const QString reason = connectFailure(code, seconds, 5.0, lookup, own, {"far", 44321, {}});
    QVERIFY2(reason.contains(says), qPrintable(reason));
    QVERIFY(!reason.contains('\n'));
    // A refusal names the port that refused.
    QCOMPARE(reason.contains("44321"), says == "refused the connection");
}

void tst_PcpMapping::hostAndPortApart_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port"); // 0: no port, which the user is told
    QTest::newRow("name") << "far"
                          << "far" << 44321;
    QTest::newRow("name and port") << "far.example:4000"
                                   << "far.example" << 4000;
    QTest::newRow("IPv4 and the first port") << "10.1.2.3:1"
                                             << "10.1.2.3" << 1;
    QTest::newRow("the last port") << "far:65535"
                                   << "far" << 65535;
    QTest::newRow("bare IPv6") << "fe80::1"
                               << "fe80::1" << 44321;
    QTest::newRow("IPv6 in brackets") << "[::1]"
                                      << "::1" << 44321;
    QTest::newRow("IPv6 in brackets and port") << "[::1]:44321"
                                               << "::1" << 44321;
    // Nothing is read as a port that is not one, nor wraps into one.
    const std::pair<const char*, const char*> bad[] = {
        {"letters", "far:abc"},
        {"an exponent", "far:1e3"},
        {"a sign", "far:-1"},
        {"hexadecimal", "far:0x10"},
        {"a space", "far: 44321"},
        {"nothing after the colon", "far:"},
        {"past 65535", "far:99999"},
        {"65536", "far:65536"},
        {"zero", "far:0"},
        {"brackets, no colon", "[::1]44321"},
        {"brackets, nothing after the colon", "[::1]:"}};
    for (const auto& [what, typed] : bad)
        QTest::newRow(what) << typed << (typed[0] == '[' ? "::1" : "far") << 0;
}

void tst_PcpMapping::hostAndPortApart() {
    QFETCH(QString, typed);
    QFETCH(QString, host);
    QFETCH(int, port);
    const HostPort where = splitHost(typed.toStdString());
    QCOMPARE(QString::fromStdString(where.host), host);
    const QString problem = QString::fromStdString(portProblem(where));
    QCOMPARE(problem.isEmpty(), port != 0);
    QVERIFY(!problem.contains('\n'));
    if (port != 0)
        QCOMPARE(where.port, port);
}

void tst_PcpMapping::processRefusalSaysHowToAllowIt() {
    const QString refusal = processRefusal(PM_ERR_PERMISSION);
    QVERIFY(refusal.contains("-A"));
    QCOMPARE(refusal.count(". "), 0); // one sentence
    QVERIFY(processRefusal(0).isEmpty());
    QVERIFY(processRefusal(PM_ERR_INST).isEmpty()); // no process 1 there: nothing refused
}

QTEST_MAIN(tst_PcpMapping)
#include "tst_PcpMapping.moc"
