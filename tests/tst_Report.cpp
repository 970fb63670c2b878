#include "platform/Registry.h"
#include "platform/registry/MemoryRegistryStore.h"
#include "platform/registry/RegistryLayer.h"
#include "report/Report.h"
#include "report/ReportJson.h"
#include "report/ReportSources.h"
#include "report/ReportText.h"

#include "FakeFileSystem.h"
#include "FakeMachine.h"
#include "FakePrinters.h"
#include "FakeRegistryProvider.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QStringDecoder>
#include <QTest>

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

    HostileMachine() {
        machine.cpu.model = kHostileBytes;
        auto view = std::make_shared<FakeRegistryProvider>();
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
        ReportSources s;
        s.summary = [this] {
            return ReadSummary({machine.memory, machine.version, machine.cpu, machine.host,
                                machine.systemInfo, machine.floppy},
                               QLocale::c());
        };
        s.network = [this] { return ReadNetwork(registry); };
        s.drives = [this] { return readEveryDrive(fileSystem, QLocale::c()); };
        s.printers = [this] { return printers.query(); };
        return s;
    }
};

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

QTEST_GUILESS_MAIN(tst_Report)
#include "tst_Report.moc"
