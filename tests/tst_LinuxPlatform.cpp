#include "platform/PlatformError.h"
#include "platform/linux/KernelFile.h"
#include "platform/linux/KernelRelease.h"
#include "platform/linux/LinuxCpuLibrary.h"
#include "platform/linux/LinuxFloppyDrive.h"
#include "platform/linux/LinuxHostInfo.h"
#include "platform/linux/LinuxMemoryStatus.h"
#include "platform/linux/LinuxSystemInfo.h"
#include "platform/linux/LinuxVersionQuery.h"
#include "platform/linux/OsRelease.h"
#include "platform/linux/counters/ProcParsers.h"
#include "platform/linux/drives/LinuxFileSystem.h"
#include "platform/linux/network/DhcpLeases.h"
#include "platform/linux/network/LiveNetworkView.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <fcntl.h>
#include <functional>
#include <future>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ombrix::platform;

namespace {

QString fixture(const QString& name) {
    return QStringLiteral(OMBRIX_FIXTURES_DIR "/") + name;
}

QByteArray fixtureText(const QString& name) {
    QFile file(fixture(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The standard output of a command, trimmed; a null string when it cannot run.
QString run(const QString& program, const QStringList& args) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C");
    process.setProcessEnvironment(env);
    process.start(program, args);
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

bool validUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    return !decoder.hasError();
}

// Runs body in a child process with its own network and host-name namespaces,
// and answers the lines it printed; "SKIP ..." when the machine forbids them.
QStringList inFreshNamespaces(const std::function<QStringList()>& body) {
    int fds[2];
    if (::pipe(fds) != 0)
        return {"SKIP pipe failed"};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        QByteArray out;
        if (::unshare(CLONE_NEWNET | CLONE_NEWUTS) != 0)
            out = "SKIP unshare: " + QByteArray(std::strerror(errno)) + "\n";
        else
            out = body().join('\n').toUtf8() + "\n";
        const ssize_t written = ::write(fds[1], out.constData(), out.size());
        ::_exit(written == out.size() ? 0 : 1);
    }
    ::close(fds[1]);
    QByteArray in;
    char chunk[512];
    for (ssize_t n; (n = ::read(fds[0], chunk, sizeof chunk)) > 0;)
        in.append(chunk, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return QString::fromUtf8(in).trimmed().split('\n');
}

bool shell(const char* command) {
    return std::system(command) == 0;
}

// A reader of facts given a path in place of its file; true when it answered
// that the file cannot be read.
using PathReader = std::function<bool(const std::string& path)>;

} // namespace

Q_DECLARE_METATYPE(PathReader)

class tst_LinuxPlatform : public QObject {
    Q_OBJECT

private slots:
    void meminfoGivesByteCounts_data();
    void meminfoGivesByteCounts();
    void memoryMatchesFree();

    void osReleaseValuesAreUnquoted_data();
    void osReleaseValuesAreUnquoted();
    void servicePackTextFits127Bytes_data();
    void servicePackTextFits127Bytes();
    void kernelReleaseGivesUpstreamVersion_data();
    void kernelReleaseGivesUpstreamVersion();

    void versionRecordMatchesUnameAndOsRelease();
    void versionRecordIsLeftAloneOnAWrongSize();
    void withoutOsReleaseTheNameIsLinux();
    void osVersionIsWrittenAsTheSystemWritesIt_data();
    void osVersionIsWrittenAsTheSystemWritesIt();

    void hostMatchesHostnameAndIpRoute();
    void addressWithoutDefaultRoute_data();
    void addressWithoutDefaultRoute();
    void hostWithoutNameOrNetwork();
    void hostNameOfAnyLength_data();
    void hostNameOfAnyLength();

    void floppyDriveNeedsAPresentBlockDevice();

    void factReadersNeverWaitOnAFifo_data();
    void factReadersNeverWaitOnAFifo();

    void cpuLibraryFailuresNameWhatIsMissing();
    void cpuLibraryIsFoundBesideTheProgram();
};

void tst_LinuxPlatform::meminfoGivesByteCounts_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("known");
    QTest::addColumn<quint64>("total");
    QTest::addColumn<quint64>("available");
    QTest::newRow("a full file") << "meminfo_full.txt" << true << 24683772ull * 1024
                                 << 23576576ull * 1024;
    QTest::newRow("no MemAvailable: free + buffers + cached")
        << "meminfo_no_available.txt" << true << 8048832ull * 1024
        << (512000ull + 102400 + 1024000) * 1024;
    QTest::newRow("a last line cut short is not used")
        << "meminfo_truncated.txt" << true << 24683772ull * 1024 << 23155232ull * 1024;
    QTest::newRow("128 TiB: far beyond 32 bits")
        << "meminfo_huge.txt" << true << 137438953472ull * 1024 << 68719476736ull * 1024;
    QTest::newRow("no MemTotal") << "meminfo_no_total.txt" << false << 0ull << 0ull;
    QTest::newRow("a count beyond 64 bits") << "meminfo_overflow.txt" << false << 0ull << 0ull;
    QTest::newRow("an empty file") << "" << false << 0ull << 0ull;
}

void tst_LinuxPlatform::meminfoGivesByteCounts() {
    QFETCH(QString, file);
    QFETCH(bool, known);
    const auto info =
        proc::parseMeminfo(file.isEmpty() ? std::string() : fixtureText(file).toStdString());
    QCOMPARE(info.total && info.available, known);
    if (known) {
        QTEST(quint64(*info.total), "total");
        QTEST(quint64(*info.available), "available");
    }
}

void tst_LinuxPlatform::memoryMatchesFree() {
    const auto status = LinuxMemoryStatus().query();
    QVERIFY(status);
    const QString free = run("free", {"-b"});
    if (free.isNull())
        QSKIP("free (procps) is not available");
    const QStringList mem =
        free.split('\n').filter(QRegularExpression("^Mem:")).value(0).simplified().split(' ');
    QVERIFY(mem.size() >= 7);
    QCOMPARE(quint64(status->totalPhysBytes), mem[1].toULongLong());
    const double available = mem[6].toDouble(); // moves a little between the two reads
    QVERIFY(std::abs(double(status->availPhysBytes) - available) < available * 0.1);

    QVERIFY(!LinuxMemoryStatus(fixture("no_such_meminfo")).query());
}

void tst_LinuxPlatform::osReleaseValuesAreUnquoted_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("prettyName");
    QTest::addColumn<QString>("versionId");
    QTest::newRow("Debian") << "osrelease_debian.txt"
                            << "Debian GNU/Linux 12 (bookworm)"
                            << "12";
    QTest::newRow("Ubuntu 24.10 keeps its zero") << "osrelease_ubuntu.txt"
                                                 << "Ubuntu 24.10"
                                                 << "24.10";
    QTest::newRow("escapes, single quotes, comments, junk") << "osrelease_quoting.txt"
                                                            << "Say \"hi\" $HOME and \\ back`tick"
                                                            << "3.10";
    QTest::newRow("no PRETTY_NAME: NAME, a bare value with a blank") << "osrelease_no_pretty.txt"
                                                                     << "Alpine Linux"
                                                                     << "3.20.1";
    QTest::newRow("an unterminated quote") << "osrelease_truncated.txt"
                                           << "Cut off in the mid"
                                           << "";
    QTest::newRow("an empty file: Linux") << "osrelease_empty.txt"
                                          << "Linux"
                                          << "";
}

void tst_LinuxPlatform::osReleaseValuesAreUnquoted() {
    QFETCH(QString, file);
    const OsRelease release = parseOsRelease(fixtureText(file));
    QTEST(release.prettyName, "prettyName");
    QTEST(release.versionId, "versionId");
}

void tst_LinuxPlatform::servicePackTextFits127Bytes_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("expected"); // empty: only the rules are checked
    QTest::newRow("a name and one space")
        << "Debian GNU/Linux 12 (bookworm)" << QByteArray("Debian GNU/Linux 12 (bookworm) ");
    QTest::newRow("126 bytes fit whole") << QString(126, 'a') << QByteArray(126, 'a') + ' ';
    QTest::newRow("127 bytes lose one") << QString(127, 'a') << QByteArray(126, 'a') + ' ';
    QTest::newRow("cut between two-byte letters")
        << parseOsRelease(fixtureText("osrelease_long.txt")).prettyName << QByteArray();
    QTest::newRow("a four-byte character across the cut")
        << QString(125, 'a') + QString::fromUtf8("\xf0\x9f\x90\xa7") << QByteArray(125, 'a') + ' ';
}

void tst_LinuxPlatform::servicePackTextFits127Bytes() {
    QFETCH(QString, name);
    QFETCH(QByteArray, expected);
    const QByteArray text = servicePackText(name);
    QVERIFY(text.size() <= 127);
    QVERIFY(text.endsWith(' '));
    QVERIFY(validUtf8(text));
    QVERIFY(name.toUtf8().startsWith(text.chopped(1)));
    if (!expected.isEmpty())
        QCOMPARE(text, expected);
}

void tst_LinuxPlatform::kernelReleaseGivesUpstreamVersion_data() {
    QTest::addColumn<QString>("release");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("signature");
    QTest::addColumn<QString>("expected"); // "major.minor.patch", empty: unreadable
    QTest::newRow("Debian hides the patch level in uname -r")
        << "6.1.0-27-amd64"
        << "#1 SMP PREEMPT_DYNAMIC Debian 6.1.115-1 (2024-11-01)"
        << ""
        << "6.1.115";
    QTest::newRow("Ubuntu names it in version_signature")
        << "5.15.0-91-generic"
        << "#101-Ubuntu SMP Tue Nov 14 13:30:08 UTC 2023"
        << "Ubuntu 5.15.0-91.101-generic 5.15.131"
        << "5.15.131";
    QTest::newRow("a plain release") << "6.18.44-fc-v1300"
                                     << "#1 SMP PREEMPT_DYNAMIC @0"
                                     << ""
                                     << "6.18.44";
    QTest::newRow("a two-digit minor stays whole") << "6.10.3-arch1-1"
                                                   << ""
                                                   << ""
                                                   << "6.10.3";
    QTest::newRow("major and minor only") << "6.10"
                                          << ""
                                          << ""
                                          << "6.10.0";
    QTest::newRow("another kernel's version is not taken") << "6.1.0-27-amd64"
                                                           << "#1 SMP Debian 6.12.5-1 (backports)"
                                                           << ""
                                                           << "6.1.0";
    QTest::newRow("not a version") << "linux"
                                   << ""
                                   << ""
                                   << "";
    QTest::newRow("a number beyond 32 bits") << "99999999999.1.1"
                                             << ""
                                             << ""
                                             << "";
}

void tst_LinuxPlatform::kernelReleaseGivesUpstreamVersion() {
    QFETCH(QString, release);
    QFETCH(QString, version);
    QFETCH(QString, signature);
    QFETCH(QString, expected);
    const auto v =
        parseKernelRelease(release.toStdString(), version.toStdString(), signature.toStdString());
    QCOMPARE(v ? QString("%1.%2.%3").arg(v->major).arg(v->minor).arg(v->patch) : QString(),
             expected);
}

void tst_LinuxPlatform::versionRecordMatchesUnameAndOsRelease() {
    OSVERSIONINFOA record;
    record.dwOSVersionInfoSize = 148;
    QVERIFY(LinuxVersionQuery().GetVersionExA(record));
    QCOMPARE(record.dwOSVersionInfoSize, 148u);
    QVERIFY(record.dwPlatformId != 1 && record.dwPlatformId != 2);

    const QString release = run("uname", {"-r"});
    const auto m = QRegularExpression(R"(^(\d+)\.(\d+)(?:\.(\d+))?)").match(release);
    QVERIFY(m.hasMatch());
    QCOMPARE(record.dwMajorVersion, m.captured(1).toUInt());
    QCOMPARE(record.dwMinorVersion, m.captured(2).toUInt());
    if (m.captured(3).toUInt() != 0) // a distribution's 0 hides the upstream level
        QCOMPARE(record.dwBuildNumber, m.captured(3).toUInt());

    const QString pretty = run("sh", {"-c", ". /etc/os-release && printf %s \"$PRETTY_NAME\""});
    if (!pretty.isEmpty())
        QCOMPARE(QString::fromUtf8(record.szCSDVersion), pretty + ' ');
    QCOMPARE(record.szCSDVersion[127], '\0');
}

void tst_LinuxPlatform::versionRecordIsLeftAloneOnAWrongSize() {
    OSVERSIONINFOA record;
    record.dwOSVersionInfoSize = 100;
    record.dwMajorVersion = 77;
    std::strcpy(record.szCSDVersion, "kept");
    const OSVERSIONINFOA before = record;
    QVERIFY(!LinuxVersionQuery().GetVersionExA(record));
    QVERIFY(std::memcmp(&before, &record, sizeof record) == 0);
}

void tst_LinuxPlatform::withoutOsReleaseTheNameIsLinux() {
    OSVERSIONINFOA record;
    record.dwOSVersionInfoSize = sizeof record;
    QVERIFY(LinuxVersionQuery({fixture("no_such_os_release")}).GetVersionExA(record));
    QCOMPARE(QByteArray(record.szCSDVersion), QByteArray("Linux "));
}

void tst_LinuxPlatform::osVersionIsWrittenAsTheSystemWritesIt_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected"); // empty: the kernel's major.minor
    QTest::newRow("Debian 12") << "osrelease_debian.txt"
                               << "12";
    QTest::newRow("24.10 never becomes 24.1") << "osrelease_ubuntu.txt"
                                              << "24.10";
    QTest::newRow("no VERSION_ID: the kernel's") << "osrelease_truncated.txt"
                                                 << "";
    QTest::newRow("no file: the kernel's") << "no_such_os_release"
                                           << "";
}

void tst_LinuxPlatform::osVersionIsWrittenAsTheSystemWritesIt() {
    QFETCH(QString, file);
    QFETCH(QString, expected);
    const LinuxSystemInfo info({fixture(file)});
    const QString release = run("uname", {"-r"});
    const auto m = QRegularExpression(R"(^(\d+\.\d+)(?:\.(\d+))?)").match(release);
    QVERIFY(m.hasMatch());
    QCOMPARE(info.osVersion(), expected.isEmpty() ? m.captured(1) : expected);
    if (m.captured(2).toLongLong() != 0)
        QCOMPARE(info.osBuild(), m.captured(2).toLongLong());
}

void tst_LinuxPlatform::hostMatchesHostnameAndIpRoute() {
    const LinuxHostInfo host;
    const QString hostname = run("hostname", {});
    if (hostname.isNull())
        QSKIP("hostname is not available");
    QCOMPARE(host.hostName(), hostname);

    const QString route = run("ip", {"route", "get", "1.1.1.1"});
    if (route.isNull())
        QSKIP("this machine has no route to an outside address, or no ip command");
    const auto m = QRegularExpression(R"(\bsrc (\S+))").match(route);
    QVERIFY(m.hasMatch());
    QCOMPARE(host.ipAddress(), m.captured(1));
}

void tst_LinuxPlatform::addressWithoutDefaultRoute_data() {
    QTest::addColumn<std::vector<HostInterfaceAddress>>("addresses");
    QTest::addColumn<QString>("expected");
    QTest::newRow("the first interface that is up")
        << std::vector<HostInterfaceAddress>{{"lo", true, true, "127.0.0.1"},
                                             {"eth0", false, false, "10.0.0.5"},
                                             {"wlan0", true, false, "192.168.1.20"},
                                             {"eth1", true, false, "172.16.0.3"}}
        << "192.168.1.20";
    QTest::newRow("loopback when nothing else is up")
        << std::vector<HostInterfaceAddress>{{"lo", true, true, "127.0.0.1"},
                                             {"eth0", false, false, "10.0.0.5"}}
        << "127.0.0.1";
    QTest::newRow("no interface: empty") << std::vector<HostInterfaceAddress>{} << "";
}

void tst_LinuxPlatform::addressWithoutDefaultRoute() {
    QFETCH(std::vector<HostInterfaceAddress>, addresses);
    QTEST(pickAddress(addresses), "expected");
}

void tst_LinuxPlatform::hostWithoutNameOrNetwork() {
    // A namespace of our own: no name, and the main window's name beside the
    // network report's; no interface up, then a link without a default
    // route, then one with it. Nothing is sent.
    const QStringList lines = inFreshNamespaces([] {
        const LinuxHostInfo host;
        QStringList out;
        if (::sethostname("", 0) != 0)
            return QStringList{"SKIP sethostname"};
        QString reported = "none";
        if (const auto key = LiveNetworkView().openKey("Tcpip\\Parameters")) {
            for (const RegistryValueData& value : key->values) {
                if (value.name == "HostName")
                    reported = QString::fromUtf8(reinterpret_cast<const char*>(value.data.data()));
            }
        }
        out << "names:" + host.hostName() + "|" + reported;
        out << "none:" + host.ipAddress();
        shell("ip link set lo up");
        out << "lo:" + host.ipAddress();
        const bool veth = shell("ip link add ombrix0 type veth peer name ombrix1 && "
                                "ip addr add 10.9.8.7/24 dev ombrix0 && "
                                "ip link set ombrix0 up && ip link set ombrix1 up");
        out << (veth ? "link:" + host.ipAddress() : "SKIP veth");
        const bool route = veth && shell("ip route add default via 10.9.8.1");
        out << (route ? "route:" + host.ipAddress() : "SKIP route");
        return out;
    });
    if (lines.value(0).startsWith("SKIP"))
        QSKIP(qPrintable("this machine forbids a network namespace: " + lines.value(0)));
    // One rule for both: the system's empty name, never a made-up one.
    QCOMPARE(lines.value(0), QString("names:|"));
    QCOMPARE(lines.value(1), QString("none:"));
    QCOMPARE(lines.value(2), QString("lo:127.0.0.1"));
    if (lines.value(3).startsWith("SKIP"))
        QSKIP("this kernel cannot make a veth pair");
    QCOMPARE(lines.value(3), QString("link:10.9.8.7"));
    QCOMPARE(lines.value(4), QString("route:10.9.8.7"));
}

void tst_LinuxPlatform::hostNameOfAnyLength_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("one character") << QByteArray("h");
    QTest::newRow("63 characters") << QByteArray(63, 'h');
    QTest::newRow("64, the longest the kernel allows") << QByteArray(64, 'h');
    QTest::newRow("64 with domain parts")
        << QByteArray("host-").append(QByteArray(54, 'a')) + ".test";
}

void tst_LinuxPlatform::hostNameOfAnyLength() {
    QFETCH(QByteArray, name);
    const QStringList lines = inFreshNamespaces([&] {
        if (::sethostname(name.constData(), size_t(name.size())) != 0)
            return QStringList{"SKIP sethostname: " + QString::fromUtf8(std::strerror(errno))};
        QByteArray said(128, '\0'); // what hostname(1) says
        if (FILE* hostname = ::popen("hostname 2>/dev/null", "r")) {
            said.resize(qsizetype(std::fread(said.data(), 1, size_t(said.size()), hostname)));
            ::pclose(hostname);
        }
        return QStringList{LinuxHostInfo().hostName(), QString::fromLatin1(said.trimmed())};
    });
    if (lines.value(0).startsWith("SKIP"))
        QSKIP(qPrintable("a host-name namespace needs root: " + lines.value(0)));
    QCOMPARE(lines.value(0), QString::fromLatin1(name));
    if (!lines.value(1).isEmpty())
        QCOMPARE(lines.value(0), lines.value(1)); // what the machine itself says
}

void tst_LinuxPlatform::floppyDriveNeedsAPresentBlockDevice() {
    auto present = [](const std::string& path) { return LinuxFloppyDrive(path).selectDriveA(); };
    QCOMPARE(present("/dev/fd0"), run("sh", {"-c", "test -b /dev/fd0 && echo yes"}) == "yes");
    QVERIFY(!present("/dev/null")); // a character device
    QVERIFY(!present("/nonexistent/fd0"));
    QVERIFY(!present(OMBRIX_FIXTURES_DIR)); // a directory

    // Any block device whose driver is loaded counts.
    const QString block = run("sh", {"-c", "for d in /dev/loop0 /dev/sda /dev/vda /dev/nvme0n1; "
                                           "do test -b $d && echo $d && break; done"});
    if (block.isEmpty())
        QSKIP("no block device to try");
    QVERIFY(present(block.toStdString()));
}

void tst_LinuxPlatform::factReadersNeverWaitOnAFifo_data() {
    QTest::addColumn<PathReader>("reader");
    QTest::addColumn<bool>("writerOpen"); // a writer holds the FIFO open and writes nothing
    const std::vector<std::pair<const char*, PathReader>> readers{
        {"kernel file", [](const std::string& path) { return !readKernelFile(path); }},
        {"os-release",
         [](const std::string& path) {
             const OsRelease read = readOsRelease({QString::fromStdString(path)});
             return read.prettyName == parseOsRelease({}).prettyName && read.versionId.isEmpty();
         }},
        {"meminfo",
         [](const std::string& path) {
             return !LinuxMemoryStatus(QString::fromStdString(path)).query();
         }},
        {"mount table",
         [](const std::string& path) {
             return LinuxFileSystem(std::chrono::seconds(2), QString::fromStdString(path))
                 .drives()
                 .empty();
         }},
        {"DHCP lease",
         [](const std::string& path) {
             // systemd-networkd's lease of interface 1 is the file "1" in its folder.
             DhcpLeases::Folders folders{"/nonexistent", path.substr(0, path.rfind('/')),
                                         "/nonexistent"};
             return !DhcpLeases(folders).holdsLease(1, "lo", {"127.0.0.1"});
         }},
    };
    for (const auto& [name, reader] : readers) {
        QTest::addRow("%s, no writer", name) << reader << false;
        QTest::addRow("%s, a silent writer", name) << reader << true;
    }
}

void tst_LinuxPlatform::factReadersNeverWaitOnAFifo() {
    QFETCH(PathReader, reader);
    QFETCH(bool, writerOpen);
    QTemporaryDir dir;
    const std::string fifo = QFile::encodeName(dir.filePath("1")).toStdString();
    QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
    int writer = -1;
    if (writerOpen) {
        // A reader end of our own lets the writer open without waiting.
        const int keep = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        writer = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
        ::close(keep);
        QVERIFY(writer >= 0);
    }
    auto answer = std::async(std::launch::async, reader, fifo);
    // A reader that waits is let go, so the test ends and says so: a writer
    // that comes and goes at once ends its wait with an empty text.
    const bool waited = answer.wait_for(std::chrono::seconds(10)) != std::future_status::ready;
    if (waited) {
        const int late = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (late >= 0)
            ::close(late);
    }
    if (writer >= 0)
        ::close(writer);
    const bool unreadable = answer.get();
    QVERIFY2(!waited, "the reader waited on the FIFO");
    QVERIFY(unreadable);
}

void tst_LinuxPlatform::cpuLibraryFailuresNameWhatIsMissing() {
    auto failure = [](const std::string& library) {
        LinuxCpuLibrary cpu(library);
        char model[256], vendor[256], extra[256];
        try {
            cpu.GetProcessor(model, vendor, extra);
        } catch (const PlatformError& e) {
            return QString::fromUtf8(e.what());
        }
        return QString();
    };
    QVERIFY(failure("/nonexistent/libgetcpu.so").contains("/nonexistent/libgetcpu.so"));
    QVERIFY(failure("libno-such-getcpu.so").contains("libno-such-getcpu.so"));
    // A library that loads but lacks the functions: the C library itself.
    QVERIFY(failure("libc.so.6").contains("GetProcessor"));
}

void tst_LinuxPlatform::cpuLibraryIsFoundBesideTheProgram() {
    // By name only: found through this program's RUNPATH ($ORIGIN).
    LinuxCpuLibrary cpu;
    char model[256] = {}, vendor[256] = {}, extra[256] = {}, speed[256] = {};
    cpu.GetProcessor(model, vendor, extra);
    cpu.GetProcessorNormSpeed(speed);
    QVERIFY(std::strlen(model) > 0);
    QVERIFY(QByteArray(speed).toInt() > 0);
}

QTEST_GUILESS_MAIN(tst_LinuxPlatform)
#include "tst_LinuxPlatform.moc"
