#include "CpuFacts.h"
#include "CpuFiles.h"
#include "CpuText.h"
#include "Cpuid.h"
#include "SpeedSampler.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <atomic>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace ombrix::cpu;

namespace {

QString fixture(const char* name) {
    return QStringLiteral(OMBRIX_FIXTURES_DIR "/") + name;
}

std::string fixtureText(const char* name) {
    QFile file(fixture(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

void writeFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

struct Library {
    struct Close {
        void operator()(void* h) const { dlclose(h); }
    };
    std::unique_ptr<void, Close> handle{dlopen(OMBRIX_BIN_DIR "/libgetcpu.so", RTLD_NOW)};
    int (*getProcessor)(char*, char*, char*) = nullptr;
    int (*rawSpeed)(char*) = nullptr;
    int (*normSpeed)(char*) = nullptr;
    Library() {
        if (!handle)
            return;
        getProcessor =
            reinterpret_cast<int (*)(char*, char*, char*)>(dlsym(handle.get(), "GetProcessor"));
        rawSpeed = reinterpret_cast<int (*)(char*)>(dlsym(handle.get(), "GetProcessorRawSpeed"));
        normSpeed = reinterpret_cast<int (*)(char*)>(dlsym(handle.get(), "GetProcessorNormSpeed"));
    }
    bool ok() const { return getProcessor && rawSpeed && normSpeed; }
};

// lscpu's "Key: value" lines, read in the C locale.
QMap<QString, QString> lscpu() {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C");
    process.setProcessEnvironment(env);
    process.start("lscpu", {});
    QMap<QString, QString> fields;
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return fields;
    for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            fields.insert(line.left(colon).trimmed(), line.mid(colon + 1).trimmed());
    }
    return fields;
}

// The first processor's "model name" and "vendor_id", under lscpu's keys.
QMap<QString, QString> kernelCpuinfo() {
    QMap<QString, QString> fields;
    QFile file("/proc/cpuinfo");
    if (!file.open(QIODevice::ReadOnly))
        return fields;
    const QString block = QString::fromUtf8(file.read(64 * 1024)).section("\n\n", 0, 0);
    for (const QString& line : block.split('\n')) {
        const QString key = line.section(':', 0, 0).trimmed();
        const QString value = line.section(':', 1).trimmed();
        if (key == "model name" && !fields.contains("Model name"))
            fields.insert("Model name", value);
        else if (key == "vendor_id" && !fields.contains("Vendor ID"))
            fields.insert("Vendor ID", value);
    }
    return fields;
}

} // namespace

class tst_getcpu : public QObject {
    Q_OBJECT

private slots:
    void cpuinfoNamesTheProcessor_data();
    void cpuinfoNamesTheProcessor();
    void aHugeLineIsCutTo255Bytes();
    void brandStringsAreTrimmed_data();
    void brandStringsAreTrimmed();
    void brandStringNamesTheClock_data();
    void brandStringNamesTheClock();
    void signatureFoldsInExtendedFields_data();
    void signatureFoldsInExtendedFields();
    void copyOutNeverPassesByte255_data();
    void copyOutNeverPassesByte255();
    void nominalClockTakesTheFirstSourceOffered_data();
    void nominalClockTakesTheFirstSourceOffered();
    void kernelNamesTheProcessorBeforeCpuid_data();
    void kernelNamesTheProcessorBeforeCpuid();
    void currentClockIsTheMeanOfTheCores();
    void samplerWakesUpWhenAskedAgain();
    void samplerStopsAWorkerThatIsReading();
    void samplerStopsAWorkerAtRest();

    void libraryExportsTheThreeFunctions();
    void libraryNeverWritesPastTheZero();
    void libraryToleratesMissingBuffers();
    void libraryAgreesWithLscpu();
    void libraryKeepsTheCoresClockFreshAndStopsItsWorkerOnUnload();
};

void tst_getcpu::cpuinfoNamesTheProcessor_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("vendor");
    QTest::addColumn<QString>("extra");
    QTest::addColumn<double>("mhz"); // 0: none

    QTest::newRow("x86: the first processor's facts")
        << "cpuinfo_x86.txt"
        << "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz"
        << "GenuineIntel"
        << "Family 6 Model 158 Stepping 10" << 4299.812;
    QTest::newRow("padded model name is trimmed") << "cpuinfo_padded.txt"
                                                  << "Intel(R) Xeon(R) CPU E5-2670 0 @ 2.60GHz"
                                                  << "GenuineIntel"
                                                  << "Family 6 Model 45 Stepping 7" << 1200.0;
    QTest::newRow("arm64 without model name: part and implementer names")
        << "cpuinfo_arm64.txt"
        << "Cortex-A72"
        << "ARM"
        << "Family 8 Model 0xd08 Stepping r0p3" << 0.0;
    QTest::newRow("arm64 part not in the table") << "cpuinfo_apple.txt"
                                                 << "Apple part 0x22"
                                                 << "Apple"
                                                 << "Family 8 Model 0x22 Stepping r1p1" << 0.0;
    QTest::newRow("32-bit ARM names it Processor") << "cpuinfo_arm32.txt"
                                                   << "ARMv7 Processor rev 10 (v7l)"
                                                   << ""
                                                   << "" << 0.0;
    QTest::newRow("POWER names cpu and clock") << "cpuinfo_power.txt"
                                               << "POWER9 (architected), altivec supported"
                                               << ""
                                               << "" << 2900.0;
    QTest::newRow("cut off inside model name") << "cpuinfo_truncated.txt"
                                               << ""
                                               << "AuthenticAMD"
                                               << "Family 25 Model 17" << 0.0;
    QTest::newRow("nothing to name it by") << "cpuinfo_riscv_bare.txt"
                                           << ""
                                           << ""
                                           << "" << 0.0;
}

void tst_getcpu::cpuinfoNamesTheProcessor() {
    QFETCH(QString, file);
    QFETCH(QString, model);
    QFETCH(QString, vendor);
    QFETCH(QString, extra);
    QFETCH(double, mhz);
    const std::string text = fixtureText(file.toUtf8().constData());
    QVERIFY(!text.empty());
    const CpuinfoFields f = parseCpuinfo(text);
    QCOMPARE(QString::fromStdString(cpuinfoModel(f)), model);
    QCOMPARE(QString::fromStdString(cpuinfoVendor(f)), vendor);
    QCOMPARE(QString::fromStdString(cpuinfoExtra(f)), extra);
    QCOMPARE(f.mhz.value_or(0.0), mhz);
}

void tst_getcpu::aHugeLineIsCutTo255Bytes() {
    const std::string text = "processor\t: 0\nmodel name\t: " + std::string(200000, 'X') +
                             "\nvendor_id\t: " + std::string(100000, 'V') + "\n";
    const CpuinfoFields f = parseCpuinfo(text);
    std::array<char, 512> buffer;
    buffer.fill('\x5a');
    copyOut(buffer.data(), cpuinfoModel(f));
    QCOMPARE(std::strlen(buffer.data()), std::size_t(255));
    QCOMPARE(buffer[256], '\x5a');
    copyOut(buffer.data(), cpuinfoVendor(f));
    QCOMPARE(std::strlen(buffer.data()), std::size_t(255));
}

void tst_getcpu::brandStringsAreTrimmed_data() {
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("trimmed");
    QTest::newRow("leading blanks and zero padding")
        << QByteArray("       Intel(R) Xeon(R) CPU E5-2670 0 @ 2.60GHz\0\0\0\0", 52)
        << "Intel(R) Xeon(R) CPU E5-2670 0 @ 2.60GHz";
    QTest::newRow("trailing blanks before the zero")
        << QByteArray("AMD EPYC                \0garbage", 33) << "AMD EPYC";
    QTest::newRow("control characters become blanks") << QByteArray("AMD\tRyzen\x01"
                                                                    "7\n")
                                                      << "AMD Ryzen 7";
    QTest::newRow("nothing but padding") << QByteArray("   \0\0\0", 6) << "";
}

void tst_getcpu::brandStringsAreTrimmed() {
    QFETCH(QByteArray, raw);
    QFETCH(QString, trimmed);
    QCOMPARE(QString::fromStdString(trimBrand(std::string_view(raw.data(), raw.size()))), trimmed);
}

void tst_getcpu::brandStringNamesTheClock_data() {
    QTest::addColumn<QString>("brand");
    QTest::addColumn<double>("mhz"); // 0: none
    QTest::newRow("Intel's @ GHz") << "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz" << 3200.0;
    QTest::newRow("blank before the unit") << "Some CPU 2.4 GHz" << 2400.0;
    QTest::newRow("MHz") << "Pentium(R) III 1000MHz" << 1000.0;
    QTest::newRow("the last clock named wins") << "1.0GHz bus, core @ 2.5GHz" << 2500.0;
    QTest::newRow("no clock named") << "AMD Ryzen 9 7950X 16-Core Processor" << 0.0;
    QTest::newRow("a zero clock is none") << "Engineering Sample @ 0.00GHz" << 0.0;
    QTest::newRow("Hz without a number") << "GHz" << 0.0;
}

void tst_getcpu::brandStringNamesTheClock() {
    QFETCH(QString, brand);
    QFETCH(double, mhz);
    QCOMPARE(brandFrequencyMHz(brand.toStdString()).value_or(0.0), mhz);
}

void tst_getcpu::signatureFoldsInExtendedFields_data() {
    QTest::addColumn<uint>("eax");
    QTest::addColumn<uint>("family");
    QTest::addColumn<uint>("model");
    QTest::addColumn<uint>("stepping");
    QTest::newRow("AMD family 25 (base 15 + extended 10)") << 0x00A10F11u << 25u << 17u << 1u;
    QTest::newRow("Intel family 6 takes the extended model") << 0x000906EAu << 6u << 158u << 10u;
    QTest::newRow("family 5 ignores the extended model") << 0x00010543u << 5u << 4u << 3u;
    QTest::newRow("Pentium 4 family 15") << 0x00000F29u << 15u << 2u << 9u;
}

void tst_getcpu::signatureFoldsInExtendedFields() {
    QFETCH(uint, eax);
    const Signature s = decodeSignature(eax);
    QTEST(s.family, "family");
    QTEST(s.model, "model");
    QTEST(s.stepping, "stepping");
}

void tst_getcpu::copyOutNeverPassesByte255_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("written");
    QTest::newRow("short text whole") << QByteArray("AMD EPYC") << 8;
    QTest::newRow("exactly 255 bytes whole") << QByteArray(255, 'a') << 255;
    QTest::newRow("256 bytes cut to 255") << QByteArray(256, 'a') << 255;
    QTest::newRow("a two-byte character across the cut is left out")
        << QByteArray(254, 'a') + QByteArray("\xc3\xa9tail") << 254;
    QTest::newRow("a three-byte character across the cut is left out")
        << QByteArray(253, 'a') + QByteArray("\xe2\x82\xac tail") << 253;
    QTest::newRow("empty text") << QByteArray() << 0;
}

void tst_getcpu::copyOutNeverPassesByte255() {
    QFETCH(QByteArray, text);
    QFETCH(int, written);
    std::array<char, 400> buffer;
    buffer.fill('\x5a');
    copyOut(buffer.data(), std::string_view(text.data(), text.size()));
    QCOMPARE(int(std::strlen(buffer.data())), written);
    QCOMPARE(QByteArray(buffer.data(), written), text.left(written));
    for (std::size_t i = 256; i < buffer.size(); ++i)
        QCOMPARE(buffer[i], '\x5a');
}

void tst_getcpu::nominalClockTakesTheFirstSourceOffered_data() {
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<double>("nominal");
    const QStringList all{"base", "cpuid", "cppc", "brand", "max", "cpuinfo"};
    QTest::newRow("sysfs base_frequency first") << all << 2100.0;
    QTest::newRow("then CPUID leaf 0x16") << all.mid(1) << 2200.0;
    QTest::newRow("then ACPI CPPC nominal_freq") << all.mid(2) << 2500.0;
    QTest::newRow("then the brand string's clock") << all.mid(3) << 3200.0;
    QTest::newRow("then cpuinfo_max_freq") << all.mid(4) << 4500.0;
    QTest::newRow("then cpu MHz of /proc/cpuinfo") << all.mid(5) << 4299.812;
    QTest::newRow("a zero CPPC value is passed over") << QStringList{"cppc0", "max"} << 4500.0;
    QTest::newRow("nothing at all") << QStringList{} << 0.0;
}

void tst_getcpu::nominalClockTakesTheFirstSourceOffered() {
    QFETCH(QStringList, present);
    QFETCH(double, nominal);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString cpu0 = dir.path() + "/cpu0";
    QDir().mkpath(cpu0);
    QDir().mkpath(dir.path() + "/cpu1");
    if (present.contains("base"))
        writeFile(cpu0 + "/cpufreq/base_frequency", "2100000\n");
    if (present.contains("cppc"))
        writeFile(cpu0 + "/acpi_cppc/nominal_freq", "2500\n");
    if (present.contains("cppc0"))
        writeFile(cpu0 + "/acpi_cppc/nominal_freq", "0\n");
    if (present.contains("max"))
        writeFile(cpu0 + "/cpufreq/cpuinfo_max_freq", "4500000\n");
    writeFile(dir.path() + "/cpuinfo",
              present.contains("cpuinfo")
                  ? QByteArray::fromStdString(fixtureText("cpuinfo_x86.txt"))
                  : "processor\t: 0\n");

    Sources sources{dir.path().toStdString(), (dir.path() + "/cpuinfo").toStdString(), {}};
    CpuidFacts cpuid;
    cpuid.vendor = "GenuineIntel";
    cpuid.brand = present.contains("brand") ? "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz" : "Intel";
    if (present.contains("cpuid"))
        cpuid.baseMHz = 2200;
    sources.cpuid = cpuid;
    QCOMPARE(gatherFacts(sources).nominalMHz.value_or(0.0), nominal);
}

void tst_getcpu::kernelNamesTheProcessorBeforeCpuid_data() {
    QTest::addColumn<QString>("cpuinfo");
    QTest::addColumn<bool>("cpuid");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("vendor");
    QTest::addColumn<QString>("extra");
    // A virtual machine restored on another host: CPUID names that host's processor.
    QTest::newRow("kernel and CPUID disagree: the kernel's")
        << "cpuinfo_restored_vm.txt" << true << "AMD EPYC"
        << "AuthenticAMD"
        << "Family 26 Model 2 Stepping 1";
    QTest::newRow("arm64 without CPUID") << "cpuinfo_arm64.txt" << false << "Cortex-A72"
                                         << "ARM"
                                         << "Family 8 Model 0xd08 Stepping r0p3";
    QTest::newRow("the kernel names nothing: CPUID's")
        << "cpuinfo_riscv_bare.txt" << true << "Oxide Virtual Turin-like Processor"
        << "GenuineIntel"
        << "Family 6 Model 143 Stepping 8";
    QTest::newRow("nobody names it")
        << "cpuinfo_riscv_bare.txt" << false << kUnknown << kUnknown << "";
}

void tst_getcpu::kernelNamesTheProcessorBeforeCpuid() {
    QFETCH(QString, cpuinfo);
    QFETCH(bool, cpuid);
    QTemporaryDir dir;
    Sources sources{
        dir.path().toStdString(), fixture(cpuinfo.toUtf8().constData()).toStdString(), {}};
    if (cpuid)
        sources.cpuid = CpuidFacts{"GenuineIntel", "Oxide Virtual Turin-like Processor",
                                   Signature{6, 143, 8}, std::nullopt};
    const CpuFacts f = gatherFacts(sources);
    QTEST(QString::fromStdString(f.model), "model");
    QTEST(QString::fromStdString(f.vendor), "vendor");
    QTEST(QString::fromStdString(f.extra), "extra");
}

void tst_getcpu::currentClockIsTheMeanOfTheCores() {
    QTemporaryDir dir;
    writeFile(dir.path() + "/cpu0/cpufreq/scaling_cur_freq", "1000000\n");
    writeFile(dir.path() + "/cpu1/cpufreq/scaling_cur_freq", "3000000\n");
    QDir().mkpath(dir.path() + "/cpu2"); // offline: no cpufreq
    writeFile(dir.path() + "/cpu3/cpufreq/scaling_cur_freq", "garbage\n");
    QDir().mkpath(dir.path() + "/cpufreq"); // not a processor
    QVERIFY(hasCurrentFrequency(dir.path().toStdString()));
    QCOMPARE(averageCurrentMHz(dir.path().toStdString()).value_or(0.0), 2000.0);

    QTemporaryDir none;
    QVERIFY(!hasCurrentFrequency(none.path().toStdString()));
    QVERIFY(!averageCurrentMHz(none.path().toStdString()));
}

void tst_getcpu::samplerWakesUpWhenAskedAgain() {
    std::atomic<int> reads{0};
    // Idle as soon as a reading is taken: every later one needs a new request.
    SpeedSampler sampler([&](std::stop_token) { return std::optional<double>(++reads); },
                         std::chrono::milliseconds(0), std::chrono::milliseconds(0));
    QTRY_VERIFY(sampler.latest().has_value());
    const double first = *sampler.latest();
    QTRY_VERIFY(sampler.latest().value_or(0) > first);
}

void tst_getcpu::samplerStopsAWorkerThatIsReading() {
    std::atomic<bool> reading{false};
    {
        SpeedSampler sampler(
            [&](std::stop_token stop) -> std::optional<double> {
                reading = true;
                while (!stop.stop_requested())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                return std::nullopt;
            },
            std::chrono::seconds(1), std::chrono::seconds(15));
        QTRY_VERIFY(reading.load());
        QVERIFY(!sampler.latest()); // a reading under way does not block the caller
    }                               // the destructor stops and joins the worker, or this test hangs
    QVERIFY(reading.load());
}

void tst_getcpu::samplerStopsAWorkerAtRest() {
    std::atomic<int> reads{0};
    {
        SpeedSampler sampler([&](std::stop_token) { return std::optional<double>(++reads); },
                             std::chrono::hours(1), std::chrono::hours(1));
        QTRY_VERIFY(sampler.latest().has_value());
    } // resting an hour between readings, it still goes at once
    QCOMPARE(reads.load(), 1);
}

void tst_getcpu::libraryExportsTheThreeFunctions() {
    Library lib;
    QVERIFY2(lib.handle, dlerror());
    QVERIFY(lib.ok());
    // Only the three functions are visible; the readers stay inside.
    QProcess nm;
    nm.start("nm", {"-D", "--defined-only", OMBRIX_BIN_DIR "/libgetcpu.so"});
    if (!nm.waitForFinished(10000) || nm.exitCode() != 0)
        QSKIP("nm (binutils) is not available to list the library's symbols");
    QStringList symbols;
    for (const QString& line : QString::fromUtf8(nm.readAllStandardOutput()).split('\n'))
        if (const QStringList parts = line.split(' '); parts.size() == 3)
            symbols << parts[2];
    symbols.sort();
    QCOMPARE(symbols,
             QStringList({"GetProcessor", "GetProcessorNormSpeed", "GetProcessorRawSpeed"}));
}

void tst_getcpu::libraryNeverWritesPastTheZero() {
    Library lib;
    QVERIFY(lib.ok());
    std::array<std::array<char, 512>, 5> buffers;
    for (auto& b : buffers)
        b.fill('\xa5');
    // The program's order: model, vendor, extra, then raw and normalised speed.
    QCOMPARE(lib.getProcessor(buffers[0].data(), buffers[1].data(), buffers[2].data()), 0);
    QCOMPARE(lib.rawSpeed(buffers[3].data()), 0);
    QCOMPARE(lib.normSpeed(buffers[4].data()), 0);
    for (const auto& b : buffers) {
        QVERIFY(std::memchr(b.data(), '\0', 256) != nullptr);
        for (std::size_t i = 256; i < b.size(); ++i)
            QCOMPARE(b[i], '\xa5');
    }
}

void tst_getcpu::libraryToleratesMissingBuffers() {
    Library lib;
    QVERIFY(lib.ok());
    char vendor[256] = {};
    QVERIFY(lib.getProcessor(nullptr, vendor, nullptr) != 0);
    QVERIFY(std::strlen(vendor) > 0);
    QVERIFY(lib.rawSpeed(nullptr) != 0);
    QVERIFY(lib.normSpeed(nullptr) != 0);
}

void tst_getcpu::libraryAgreesWithLscpu() {
    Library lib;
    QVERIFY(lib.ok());
    char model[256], vendor[256], extra[256], raw[256], norm[256];
    lib.getProcessor(model, vendor, extra);
    lib.rawSpeed(raw);
    lib.normSpeed(norm);
    QVERIFY(std::strlen(model) > 0);
    QVERIFY(std::strlen(vendor) > 0);
    bool ok = false;
    const double nominal = QByteArray(norm).toDouble(&ok);
    QVERIFY2(ok && nominal > 0, norm);
    const double measured = QByteArray(raw).toDouble(&ok);
    QVERIFY2(ok && measured > 0, raw);
    QVERIFY2(measured > nominal / 4 && measured < nominal * 4, raw);

    // What the machine itself says: lscpu, else the kernel's own lines.
    auto fields = lscpu();
    if (fields.isEmpty())
        fields = kernelCpuinfo();
    if (!fields.contains("Model name"))
        QSKIP("neither lscpu nor /proc/cpuinfo names the processor");
    QCOMPARE(QString::fromUtf8(model), fields.value("Model name"));
    if (fields.contains("Vendor ID"))
        QCOMPARE(QString::fromUtf8(vendor), fields.value("Vendor ID"));
    if (fields.contains("CPU family") && fields.contains("Model") && fields.contains("Stepping"))
        QCOMPARE(
            QString::fromUtf8(extra),
            QString("Family %1 Model %2 Stepping %3")
                .arg(fields.value("CPU family"), fields.value("Model"), fields.value("Stepping")));

    // The nominal clock, from a source independent of the library's own order.
    double expected = 0;
    QFile base("/sys/devices/system/cpu/cpu0/cpufreq/base_frequency");
    const QRegularExpression brandClock(R"(@\s*([0-9.]+)\s*GHz)");
    if (base.open(QIODevice::ReadOnly))
        expected = base.readAll().trimmed().toDouble() / 1000;
    else if (const auto m = brandClock.match(fields.value("Model name")); m.hasMatch())
        expected = m.captured(1).toDouble() * 1000;
    else if (!QFile::exists("/sys/devices/system/cpu/cpu0/cpufreq")) {
        // Without frequency scaling the kernel's cpu MHz is the fixed clock.
        QFile cpuinfo("/proc/cpuinfo");
        QVERIFY(cpuinfo.open(QIODevice::ReadOnly));
        const QRegularExpression mhz(R"(cpu MHz\s*:\s*([0-9.]+))");
        expected = mhz.match(QString::fromLatin1(cpuinfo.read(64 * 1024))).captured(1).toDouble();
    }
    if (expected <= 0)
        QSKIP("this machine names its nominal clock nowhere the test can read independently");
    QVERIFY2(std::abs(nominal - expected) <= expected * 0.05,
             qPrintable(QString("%1 MHz against %2 MHz").arg(nominal).arg(expected)));
}

// In a mount namespace of its own, a made-up processor tree over
// /sys/devices/system/cpu gives the library a kernel clock to sample.
void tst_getcpu::libraryKeepsTheCoresClockFreshAndStopsItsWorkerOnUnload() {
#if defined(__SANITIZE_THREAD__)
    QSKIP("ThreadSanitizer cannot follow a thread started in a forked child");
#endif
    int fds[2];
    QVERIFY(::pipe(fds) == 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        std::string out;
        auto write = [](const std::string& path, const char* text) { std::ofstream(path) << text; };
        auto tasks = [] {
            int n = 0;
            for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
                (void)entry;
                ++n;
            }
            return n;
        };
        char tree[] = "/tmp/ombrix-cpu-XXXXXX";
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 || !::mkdtemp(tree)) {
            out = "SKIP no mount namespace: " + std::string(std::strerror(errno));
        } else {
            const std::string root = tree;
            std::filesystem::create_directories(root + "/cpu0/cpufreq");
            std::filesystem::create_directories(root + "/cpu1/cpufreq");
            write(root + "/cpu0/cpufreq/base_frequency", "2000000\n");
            write(root + "/cpu0/cpufreq/scaling_cur_freq", "1500000\n");
            write(root + "/cpu1/cpufreq/scaling_cur_freq", "2500000\n");
            if (::mount(tree, "/sys/devices/system/cpu", nullptr, MS_BIND, nullptr) != 0) {
                out = "SKIP bind mount: " + std::string(std::strerror(errno));
            } else {
                auto waitFor = [](const Library& lib, const char* wanted) {
                    char speed[256] = {};
                    for (int i = 0; i < 500 && std::strcmp(speed, wanted) != 0; ++i) {
                        lib.rawSpeed(speed);
                        std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    }
                    return std::string(speed);
                };
                {
                    Library lib;
                    char norm[256] = {};
                    lib.normSpeed(norm);
                    out += std::string("norm ") + norm + "\n";
                    out += "raw " + waitFor(lib, "2000") + "\n";
                    write(root + "/cpu0/cpufreq/scaling_cur_freq", "3500000\n");
                    out += "raw " + waitFor(lib, "3000") + "\n";
                    out += "threads while loaded " + std::to_string(tasks()) + "\n";
                }
                out += "threads after unload " + std::to_string(tasks());
                ::umount("/sys/devices/system/cpu");
            }
            std::filesystem::remove_all(root);
        }
        const bool ok = ::write(fds[1], out.data(), out.size()) == ssize_t(out.size());
        ::_exit(ok ? 0 : 1);
    }
    ::close(fds[1]);
    QByteArray in;
    char chunk[512];
    for (ssize_t n; (n = ::read(fds[0], chunk, sizeof chunk)) > 0;)
        in.append(chunk, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (in.startsWith("SKIP"))
        QSKIP(in.constData());
    QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the child crashed or hung up");
    QCOMPARE(QString::fromUtf8(in).split('\n'),
             QStringList({"norm 2000", "raw 2000", "raw 3000", "threads while loaded 2",
                          "threads after unload 1"}));
}

QTEST_GUILESS_MAIN(tst_getcpu)
#include "tst_getcpu.moc"
