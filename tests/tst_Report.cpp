#include "app/VisibleText.h"
#include "platform/PlatformError.h"
#include "platform/Registry.h"
#include "platform/registry/MemoryRegistryStore.h"
#include "platform/registry/RegistryLayer.h"
#include "platform/remote/RemoteMachine.h"
#include "report/ComputerList.h"
#include "report/ComputerReport.h"
#include "report/Report.h"
#include "report/ReportOutput.h"
#include "report/ReportSources.h"

#include "FakeFileSystem.h"
#include "FakeMachine.h"
#include "FakePrinters.h"
#include "FakeRegistryProvider.h"
#include "FakeReportSources.h"
#include "OmbrixRun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>

using namespace ombrix;
using namespace ombrix::platform;

namespace {

// Quotes, a backslash, a tab, a line break, non-ASCII and a byte that is not UTF-8.
const std::string kHostileBytes = "q\"b\\s\tt\nn \xc3\xa9 \xe2\x98\x83 \xff!";
// The same as the machine's texts decode it: the bad byte becomes U+FFFD.
const QString kHostile = QString::fromUtf8(kHostileBytes.data(), qsizetype(kHostileBytes.size()));

std::vector<unsigned char> bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// Every section's facts from fakes that hold hostile names.
struct HostileMachine {
    FakeMachine machine;
    registry::RegistryLayer registry;
    FakeFileSystem fileSystem;
    FakePrinters printers;
    std::shared_ptr<FakeRegistryProvider> view = std::make_shared<FakeRegistryProvider>();

    HostileMachine() {
        machine.cpu.model = kHostileBytes;
        view->keys["Tcpip\\Parameters"] = {{}, {{"Domain", REG_SZ, bytes(kHostileBytes + '\0')}}};
        view->keys["NetBT\\Adapters"] = {{"lan \"0\""}, {}};
        registry.setStore(HKEY_LOCAL_MACHINE, std::make_shared<registry::MemoryRegistryStore>());
        registry.mount(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services", view);
        // A lone surrogate can reach a text only from code of ours; it must
        // not spoil the output either.
        const QString withSurrogate = kHostile + QChar(0xDC80);
        fileSystem.drives[u'C'] = {2, 1, 2048, 4096};
        fileSystem.mountPoints[u'C'] = withSurrogate;
        printers.answer(PrinterList{
            true, {{withSurrogate, true, PrinterState::Idle, withSurrogate, kHostile, kHostile}}});
    }

    ReportSources sources() {
        return fakeReportSources(machine, registry, fileSystem, printers, QLocale::c());
    }
};

// A value of the text report read back as README tells how it is written;
// a null string for a backslash that starts no escape.
QString readBack(const QString& written) {
    QString out;
    for (qsizetype i = 0; i < written.size(); ++i) {
        if (written[i] != u'\\') {
            out += written[i];
            continue;
        }
        const QChar next = ++i < written.size() ? written[i] : QChar();
        const int digits = next == u'x' ? 2 : next == u'u' ? 4 : 0;
        if (digits) {
            bool ok = false;
            out += QChar(written.mid(i + 1, digits).toUShort(&ok, 16));
            if (!ok)
                return {};
            i += digits;
        } else if (const int at = QStringLiteral("nrt\\").indexOf(next); at >= 0) {
            out += QStringLiteral("\n\r\t\\")[at];
        } else {
            return {};
        }
    }
    return out;
}

// Whether a character reorders those after it, by its Unicode bidirectional class.
bool reorders(QChar c) {
    static const QList<QChar::Direction> controls{QChar::DirLRE, QChar::DirRLE, QChar::DirLRO,
                                                  QChar::DirRLO, QChar::DirPDF, QChar::DirLRI,
                                                  QChar::DirRLI, QChar::DirFSI, QChar::DirPDI};
    return controls.contains(c.direction());
}

QJsonValue at(QJsonValue value, const QStringList& path) {
    for (const QString& step : path) {
        bool index = false;
        const int i = step.toInt(&index);
        value = index ? value.toArray().at(i) : value.toObject().value(step);
    }
    return value;
}

} // namespace

class tst_Report : public QObject {
    Q_OBJECT

private slots:
    void hostileNamesGiveValidJson_data();
    void hostileNamesGiveValidJson();
    void failedSectionLeavesTheOthers();
    void textValuesReadBackOneWay_data();
    void textValuesReadBackOneWay();
    void unreadFactsLeaveTheOthers_data();
    void unreadFactsLeaveTheOthers();
    void unreadSerialLeavesTheSizes();
    void eachComputerKeepsItsPlace_data();
    void eachComputerKeepsItsPlace();
    void aWaitingComputerHoldsNoPlace_data();
    void aWaitingComputerHoldsNoPlace();
    void computerListsAsSysadminsKeepThem_data();
    void computerListsAsSysadminsKeepThem();
    void unavailableFactsAreNullNotFailed_data();
    void unavailableFactsAreNullNotFailed();
    void unavailableFactsAreThoseOfTheSectionsAsked_data();
    void unavailableFactsAreThoseOfTheSectionsAsked();
    void namesReadInTheirOrder_data();
    void namesReadInTheirOrder();
    void volumesWithoutLetterAreCounted();
};

void tst_Report::hostileNamesGiveValidJson_data() {
    QTest::addColumn<QString>("section");
    QTest::addColumn<QStringList>("path");
    QTest::addColumn<QString>("expected");
    const QString replaced = kHostile + QChar::ReplacementCharacter;
    QTest::newRow("processor model")
        << "summary" << QStringList{"summary", "processor"} << kHostile;
    QTest::newRow("domain") << "network" << QStringList{"network", "domain"} << kHostile;
    QTest::newRow("domain line") << "network" << QStringList{"network", "lines", "0"}
                                 << "Domain: " + kHostile;
    QTest::newRow("adapter with quotes")
        << "network" << QStringList{"network", "adapters", "0", "name"} << "lan \"0\"";
    QTest::newRow("mount point") << "drives" << QStringList{"drives", "0", "mount_point"}
                                 << replaced;
    QTest::newRow("printer name") << "printers" << QStringList{"printers", "0", "name"} << replaced;
    QTest::newRow("printer description")
        << "printers" << QStringList{"printers", "0", "description"} << kHostile;
}

void tst_Report::hostileNamesGiveValidJson() {
    QFETCH(QString, section);
    QFETCH(QStringList, path);
    QFETCH(QString, expected);
    HostileMachine machine;
    const Report report = BuildReport({*SectionNamed(section)}, machine.sources());
    QVERIFY(report.failures.empty());

    const QByteArray json = ReportJson(report);
    QStringDecoder utf8(QStringDecoder::Utf8);
    utf8.decode(json);
    QVERIFY(!utf8.hasError());
    QJsonParseError error;
    const QJsonDocument parsed = QJsonDocument::fromJson(json, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(at(parsed.object(), path).toString(), expected);
    // Written as Qt writes the document, on one line as on many.
    QCOMPARE(json, parsed.toJson());
    QCOMPARE(ReportJsonLine(report), parsed.toJson(QJsonDocument::Compact) + '\n');

    // In text a value never breaks its line: the part after the line break
    // never starts a line of its own.
    const QString text = QString::fromUtf8(ReportText(report));
    for (const QString& line : text.split(u'\n'))
        QVERIFY2(!line.startsWith(QStringLiteral("n \u00e9")), qPrintable(line));
}

void tst_Report::failedSectionLeavesTheOthers() {
    HostileMachine machine;
    machine.printers.failure = "the printers module cannot be loaded";
    const Report report = BuildReport(AllSections(), machine.sources());

    const QJsonObject json = QJsonDocument::fromJson(ReportJson(report)).object();
    QVERIFY(json.value("printers").isNull());
    QCOMPARE(json.value("errors").toObject().keys(), QStringList{"printers"});
    QCOMPARE(json.value("errors")["printers"].toString(),
             QString("the printers module cannot be loaded"));
    for (const char* kept : {"summary", "network", "drives"})
        QVERIFY2(!json.value(kept).isNull() && !json.value(kept).isUndefined(), kept);
    QVERIFY(QString::fromUtf8(ReportText(report))
                .contains("== Printers ==\nThis section could not be made: the printers module "
                          "cannot be loaded\n"));
}

void tst_Report::textValuesReadBackOneWay_data() {
    QTest::addColumn<QByteArray>("model"); // the processor library's text
    QTest::newRow("backslash and n") << QByteArray("a\\nb");
    QTest::newRow("line break") << QByteArray("a\nb");
    QTest::newRow("backslash, x and digits") << QByteArray("\\x0a\\x7f");
    QTest::newRow("control characters") << QByteArray("\x01\x1b[31m\x7f\r\t");
    QTest::newRow("backslash and u") << QByteArray("\\u2028");
    QTest::newRow("line and paragraph separators") << QByteArray("a\u2028b\u2029c");
    QTest::newRow("a backslash at the end") << QByteArray("C:\\");
    QTest::newRow("two backslashes") << QByteArray("\\\\n");
    QTest::newRow("bidirectional controls")
        << QString::fromUtf16(u"a\u202Ab\u202Bc\u202Cd\u202De\u202Ef\u2066g\u2067h\u2068i\u2069")
               .toUtf8();
}

// Every value reads back as itself from the one line it is written on, so
// two values that differ are never written alike.
void tst_Report::textValuesReadBackOneWay() {
    QFETCH(QByteArray, model);
    HostileMachine machine;
    machine.machine.cpu.model = model.toStdString();
    const QString text =
        QString::fromUtf8(ReportText(BuildReport({ReportSection::Summary}, machine.sources())));
    const QString caption = QStringLiteral("Processor: ");
    QStringList lines = text.split(u'\n').filter(QRegularExpression("^" + caption));
    QCOMPARE(lines.size(), 1);
    for (QChar c : lines.first())
        QVERIFY2(c.unicode() >= 0x20 && c.category() != QChar::Separator_Line &&
                     c.category() != QChar::Separator_Paragraph,
                 qPrintable(lines.first()));
    QCOMPARE(readBack(lines.first().mid(caption.size())), QString::fromUtf8(model));
}

void tst_Report::unreadFactsLeaveTheOthers_data() {
    QTest::addColumn<QString>("cpuFailure"); // empty: the processor library answers
    QTest::addColumn<bool>("memoryTold");
    QTest::addColumn<QStringList>("unread");
    const QString failure = QStringLiteral("libgetcpu.so: cannot open shared object file");
    const QStringList processor{"processor", "vendor", "speed_mhz"};
    const QStringList memory{"total_mb", "available_mb"};
    QTest::newRow("the processor library throws") << failure << true << processor;
    QTest::newRow("the system does not tell its memory") << QString() << false << memory;
    QTest::newRow("both") << failure << false << processor + memory;
}

void tst_Report::unreadFactsLeaveTheOthers() {
    QFETCH(QString, cpuFailure);
    QFETCH(bool, memoryTold);
    QFETCH(QStringList, unread);
    HostileMachine machine;
    if (!cpuFailure.isEmpty())
        machine.machine.cpu.failure = cpuFailure.toStdString();
    if (!memoryTold)
        machine.machine.memory.next.reset();
    const Report report = BuildReport({ReportSection::Summary}, machine.sources());
    // The section is incomplete: the report's status says so.
    QVERIFY(report.failures.count(ReportSection::Summary));

    const QJsonObject json = QJsonDocument::fromJson(ReportJson(report)).object();
    const QJsonObject summary = json.value("summary").toObject();
    QVERIFY(!summary.isEmpty());
    for (auto it = summary.begin(); it != summary.end(); ++it)
        QVERIFY2(it.value().isNull() == unread.contains(it.key()), qPrintable(it.key()));
    QCOMPARE(summary.value("computer_name").toString(), QString("PC1"));
    QCOMPARE(summary.value("os_version").toString(), QString("12"));
    const QString why = json.value("errors")["summary"].toString();
    if (!cpuFailure.isEmpty())
        QVERIFY2(why.contains(cpuFailure), qPrintable(why));

    // The text keeps the lines that were read and says why the others are empty.
    const QString text = QString::fromUtf8(ReportText(report));
    QVERIFY2(text.contains(QStringLiteral(": PC1\n")), qPrintable(text));
    QVERIFY2(text.contains(why), qPrintable(text));
}

void tst_Report::unreadSerialLeavesTheSizes() {
    HostileMachine machine;
    const std::string why = "libblkid's cache was not read within 2 s";
    machine.fileSystem.drives[u'C'].serialFailure = why;
    machine.fileSystem.drives[u'E'] = machine.fileSystem.drives[u'C'];
    const Report report = BuildReport({ReportSection::Drives}, machine.sources());

    const QJsonObject json = QJsonDocument::fromJson(ReportJson(report)).object();
    const QJsonObject c = json.value("drives")[0].toObject();
    QVERIFY(c.value("serial").isNull());
    QCOMPARE(c.value("total_bytes").toInteger(), 4096);
    QCOMPARE(json.value("errors")["drives"].toString(),
             "C:, E: serial number: " + QString::fromStdString(why));
    QVERIFY(QString::fromUtf8(ReportText(report))
                .contains("\nSome facts could not be read: C:, E: serial number: "));
}

void tst_Report::eachComputerKeepsItsPlace_data() {
    QTest::addColumn<QStringList>("computers");
    QTest::addColumn<QStringList>("failing");
    QTest::addColumn<int>("reads"); // computers read, each once
    // The room the machine has, the user's bound (0: none), and the most
    // computers that may then be asked at once.
    QTest::addColumn<int>("openFiles");
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("processors");
    QTest::addColumn<int>("parallel");
    QTest::addColumn<int>("atOnce");
    QStringList hundred;
    for (int i = 0; i < 100; ++i)
        hundred << QString::number(i);
    QTest::newRow("one computer") << QStringList{"0"} << QStringList{} << 1 << 1000 << 1000 << 8
                                  << 0 << 1;
    QTest::newRow("more computers than open files allow, some failing")
        << hundred << QStringList{"0", "17", "99"} << 100 << 16 << 1000 << 8 << 0 << 16;
    QTest::newRow("every computer failing, as many as there are")
        << QStringList{"0", "1", "2"} << QStringList{"0", "1", "2"} << 3 << 1000 << 1000 << 8 << 0
        << 3;
    QTest::newRow("one computer under several names, no thread to spare")
        << QStringList{"web", "Web:44321", "db", "\\web ", "db:44321"} << QStringList{"db"} << 2
        << 1000 << 0 << 8 << 0 << 1;
    QTest::newRow("other ports are other computers, the user's bound")
        << QStringList{"web", "web:44322", "web:1"} << QStringList{} << 3 << 1000 << 1000 << 8 << 2
        << 2;
    QTest::newRow("the user's bound past the room")
        << hundred << QStringList{} << 100 << 10 << 1000 << 8 << 50 << 10;
    QStringList many;
    for (int i = 0; i < 300; ++i)
        many << QString::number(i);
    QTest::newRow("more computers than the processors keep busy")
        << many << QStringList{} << 300 << 1000 << 1000 << 2 << 0
        << int(2 * kComputersPerProcessor);
    QTest::newRow("the user's bound past the processors' share")
        << many << QStringList{} << 300 << 1000 << 1000 << 1 << 200 << 200;
}

// Each computer's report, or why it failed, stands in the place it was
// named, however many there are; never more than the pool's workers ask at
// once; a computer named twice is asked once and reported under each name.
void tst_Report::eachComputerKeepsItsPlace() {
    QFETCH(QStringList, computers);
    QFETCH(QStringList, failing);
    QFETCH(int, reads);
    QFETCH(int, openFiles);
    QFETCH(int, threads);
    QFETCH(int, processors);
    QFETCH(int, parallel);
    QFETCH(int, atOnce);
    const std::size_t workers = ComputersAtOnce(
        std::size_t(reads), {std::size_t(openFiles), std::size_t(threads), std::size_t(processors)},
        std::size_t(parallel));
    QCOMPARE(workers, std::size_t(atOnce));
    std::atomic<int> asking{0}, most{0}, read{0};
    const auto computerOf = [](const QString& name) {
        return ComputerKey(name).section(':', 0, 0);
    };
    const auto reports = ReportEachComputer(
        computers,
        [&](const QString& computer) {
            ++read;
            const int now = ++asking;
            for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
            }
            QThread::msleep(1); // as a computer far away would, so the workers overlap
            --asking;
            if (failing.contains(computerOf(computer)))
                throw PlatformError("no answer from " + computerOf(computer).toStdString());
            ComputerReport report;
            report.computer = computer;
            report.unavailable = {ComputerKey(computer)};
            return report;
        },
        {workers});
    QCOMPARE(read.load(), reads);
    QCOMPARE(reports.size(), std::size_t(computers.size()));
    for (qsizetype i = 0; i < computers.size(); ++i) {
        const ComputerReport& report = reports[std::size_t(i)];
        QCOMPARE(report.computer, computers[i]);
        const bool failed = failing.contains(computerOf(computers[i]));
        QCOMPARE(report.connectionFailure,
                 failed ? std::optional("no answer from " + computerOf(computers[i]))
                        : std::nullopt);
        QCOMPARE(report.unavailable,
                 failed ? QStringList() : QStringList{ComputerKey(computers[i])});
    }
    QVERIFY(most <= atOnce);
}

void tst_Report::aWaitingComputerHoldsNoPlace_data() {
    QTest::addColumn<int>("most"); // workers in all (0: the bound of one)
    QTest::addColumn<QStringList>("order");
    QTest::newRow("room for more workers") << 2 << QStringList{"a", "b", "c", "silent"};
    QTest::newRow("the user's bound") << 0 << QStringList{"silent", "a", "b", "c"};
}

// One computer at a time, the first silent until the others are read (or
// for a while): where the machine has room, the silent one gives its place
// up once it is slow, and the others are read while it waits.
void tst_Report::aWaitingComputerHoldsNoPlace() {
    QFETCH(int, most);
    QFETCH(QStringList, order);
    const QStringList computers{"silent", "a", "b", "c"};
    std::mutex mutex;
    std::condition_variable changed;
    QStringList read;
    const auto reports = ReportEachComputer(
        computers,
        [&](const QString& computer) {
            std::unique_lock lock(mutex);
            if (computer == "silent")
                changed.wait_for(lock, std::chrono::milliseconds(most ? 30000 : 200),
                                 [&] { return read.size() == 3; });
            read << computer;
            changed.notify_all();
            return ComputerReport{computer, {}, {}, std::nullopt};
        },
        {1, std::size_t(most), std::chrono::milliseconds(20)});
    QCOMPARE(read, order);
    for (qsizetype i = 0; i < computers.size(); ++i)
        QCOMPARE(reports[std::size_t(i)].computer, computers[i]);
}

void tst_Report::computerListsAsSysadminsKeepThem_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("comments, blanks and spaces")
        << "# the web farm\n\n  web1  \nweb2:44322 # on another port\n\t\n#db1\n"
        << QStringList{"web1", "web2:44322"};
    QTest::newRow("written on Windows, no newline at the end")
        << "web1\r\n\\\\web2\r\n[::1]:44321" << QStringList{"web1", "\\\\web2", "[::1]:44321"};
    QTest::newRow("the same name twice is listed twice") << "a\na\n" << QStringList{"a", "a"};
}

// A list is read as it is written; duplicates are the report's to fold.
void tst_Report::computerListsAsSysadminsKeepThem() {
    QFETCH(QString, text);
    QFETCH(QStringList, names);
    QCOMPARE(ComputerNamesIn(text), names);
}

void tst_Report::unavailableFactsAreThoseOfTheSectionsAsked_data() {
    QTest::addColumn<QStringList>("sections");
    QTest::addColumn<QStringList>("unavailable");
    QTest::newRow("the summary") << QStringList{"summary"} << QStringList{"summary.fdd_present"};
    QTest::newRow("network and drives")
        << QStringList{"drives", "network"}
        << QStringList{"network.domain", "network.adapters.gateways", "drives"};
    QTest::newRow("printers") << QStringList{"printers"} << QStringList();
}

// Of what another computer's services cannot give, the report names what
// the sections asked for would show, in the services' order.
void tst_Report::unavailableFactsAreThoseOfTheSectionsAsked() {
    QFETCH(QStringList, sections);
    QFETCH(QStringList, unavailable);
    std::vector<ReportSection> asked;
    for (const QString& name : sections)
        asked.push_back(*SectionNamed(name));
    const QStringList notCarried{"summary.fdd_present", "network.domain",
                                 "network.adapters.gateways", "drives"};
    QCOMPARE(UnavailableFacts(notCarried, asked), unavailable);
}

void tst_Report::unavailableFactsAreNullNotFailed_data() {
    QTest::addColumn<QStringList>("unavailable");
    QTest::addColumn<QStringList>("failed"); // sections left under "errors"
    QTest::newRow("facts no collector carries")
        << QStringList{"summary.fdd_present", "network.domain", "network.adapters.gateways",
                       "drives.serial"}
        << QStringList();
    QTest::newRow("a memory the collector does not tell")
        << QStringList{"summary.total_mb", "summary.available_mb"} << QStringList();
    QTest::newRow("the memory, and the processor library failing")
        << QStringList{"summary.total_mb", "summary.available_mb"} << QStringList{"summary"};
    QTest::newRow("no drives told") << QStringList{"drives"} << QStringList();
}

// A fact another computer's collector does not carry is null in the JSON
// and named, and no failure; the facts beside it keep their values.
void tst_Report::unavailableFactsAreNullNotFailed() {
    QFETCH(QStringList, unavailable);
    QFETCH(QStringList, failed);
    HostileMachine machine;
    if (unavailable.contains("summary.total_mb"))
        machine.machine.memory.next.reset();
    if (!failed.isEmpty())
        machine.machine.cpu.failure = "libgetcpu.so cannot be loaded";
    if (unavailable.contains("drives"))
        machine.fileSystem.unavailable = true;
    ComputerReport far{"far:44321", BuildReport(AllSections(), machine.sources()), unavailable,
                       std::nullopt};
    SetAsideUnavailable(far);
    const ComputerReport silent{"silent", {}, {}, QStringLiteral("it did not answer")};
    const QByteArray written = ComputersReportJson({far, silent});
    // Pieced together from each computer's entry, as Qt writes it whole.
    QCOMPARE(written, QJsonDocument::fromJson(written).toJson());
    QCOMPARE(ComputersReportJson(std::vector<ComputerReport>()),
             QJsonDocument(QJsonObject{{"computers", QJsonArray()}}).toJson());
    const QJsonObject json = QJsonDocument::fromJson(written).object();
    const QJsonArray computers = json["computers"].toArray();
    QCOMPARE(computers.size(), 2);
    const QJsonObject entry = computers[0].toObject();
    QCOMPARE(entry["computer"].toString(), QString("far:44321"));
    QCOMPARE(ComputerReportJsonLine(far),
             QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
    QCOMPARE(entry["errors"].toObject().keys(), failed);
    QCOMPARE(entry["unavailable"].toVariant().toStringList(), unavailable);
    for (const QString& key : unavailable) {
        const QJsonArray values = valuesAt(entry, key.split('.'));
        QVERIFY2(!values.isEmpty(), qPrintable(key));
        for (const QJsonValue& value : values)
            QVERIFY2(value.isNull(), qPrintable(key));
    }
    QCOMPARE(entry["summary"]["computer_name"].toString(), QString("PC1"));
    QVERIFY(!entry["network"]["host_name"].isNull());
    QCOMPARE(computers[1]["errors"]["connection"].toString(), QString("it did not answer"));
}

void tst_Report::namesReadInTheirOrder_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("path"); // where the JSON report holds it
    const std::pair<const char*, QStringList> kinds[] = {
        {"an interface name", {"network", "adapters", "0", "name"}},
        {"a mount point", {"drives", "0", "mount_point"}},
        {"a printer name", {"printers", "0", "name"}},
        {"a collector's text", {"computers", "0", "summary", "computer_name"}}};
    for (const char16_t control :
         {0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0x2066, 0x2067, 0x2068, 0x2069}) {
        for (const auto& [kind, path] : kinds)
            QTest::addRow("U+%04X in %s", unsigned(control), kind)
                << QStringLiteral("ab") + QChar(control) + QStringLiteral("cd.exe") << path;
    }
}

// A name from the machine or a collector that holds a bidirectional control
// reads in the order of its characters wherever it is shown: the text report
// and Copy write the control as \uXXXX, the JSON report as its escape (the
// name itself when read as JSON), the windows draw it written out.
void tst_Report::namesReadInTheirOrder() {
    QFETCH(QString, name);
    QFETCH(QStringList, path);
    HostileMachine machine;
    machine.view->keys["NetBT\\Adapters"] = {{name.toStdString()}, {}};
    machine.fileSystem.mountPoints[u'C'] = name;
    machine.printers.answer(PrinterList{true, {{name, true, PrinterState::Idle, "", "", ""}}});
    const Report report = BuildReport(AllSections(), machine.sources());
    QByteArray text = ReportText(report);
    QByteArray json = ReportJson(report);
    if (path[0] == "computers") {
        RemoteFacts facts;
        facts.summary.nodeName = name;
        RemoteMachine far(QStringLiteral("far"), std::move(facts), fakePrintersAt);
        ReportSources sources;
        sources.summary = [&far] {
            return ReadSummary(
                {far.memory, far.version, far.cpu, far.host, far.systemInfo, far.floppy},
                QLocale::c());
        };
        const ComputerReport computer{
            "far", BuildReport({ReportSection::Summary}, sources), {}, std::nullopt};
        text = ComputersReportText({computer});
        json = ComputersReportJson({computer});
    }
    for (const QString& shown : {QString::fromUtf8(text), QString::fromUtf8(json), ShownText(name)})
        QVERIFY2(std::none_of(shown.begin(), shown.end(), reorders), qPrintable(shown));
    QVERIFY2(text.contains(VisibleText(name).toUtf8()), text.constData());
    QCOMPARE(at(QJsonDocument::fromJson(json).object(), path).toString(), name);
}

// Volumes past Z: leave the drives section made in part, saying how many.
void tst_Report::volumesWithoutLetterAreCounted() {
    HostileMachine machine;
    machine.fileSystem.volumesWithoutLetter = 12;
    const Report report = BuildReport({ReportSection::Drives}, machine.sources());
    const QJsonObject json = QJsonDocument::fromJson(ReportJson(report)).object();
    QCOMPARE(json["drives"].toArray().size(), 1);
    const QString why = json["errors"]["drives"].toString();
    QVERIFY2(why.startsWith("12 mounted volumes"), qPrintable(why));
    QVERIFY(QString::fromUtf8(ReportText(report)).contains("Some facts could not be read: " + why));
}

QTEST_GUILESS_MAIN(tst_Report)
#include "tst_Report.moc"
