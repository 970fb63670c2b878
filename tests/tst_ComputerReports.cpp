// The report of other computers (--report --computer), from the program
// itself against real collectors: pmcds in network namespaces of this test,
// each with interfaces and a host name of its own, one with pmcd's own agent
// alone, and an address that never answers.
#include "HostFurniture.h"
#include "OmbrixRun.h"
#include "PcpHost.h"
#include "PmcdRequests.h"
#include "TestPmcd.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>
#include <QTest>

#include <memory>

namespace {

struct Run {
    int status = -1;
    QJsonObject json;
    QByteArray err;
};

// How the computers are named, and the form of their report: JSON, or JSON
// Lines (one object a computer, in the order they were read).
enum class Named { Arguments, ListFile, StandardInput, JsonLines };

// The report of the computers as JSON: "--computer" before each, or in a
// list as a sysadmin keeps one, with comments and blank lines.
Run reportOf(const QStringList& computers, const QStringList& sections = {},
             Named named = Named::Arguments) {
    QStringList args{"--report", "--format", named == Named::JsonLines ? "jsonl" : "json"};
    QByteArray list = "# computers to report\n\n";
    for (const QString& computer : computers) {
        args << "--computer" << computer;
        list += "  " + computer.toUtf8() + "  # a comment\n\n";
    }
    QTemporaryFile file;
    if (named == Named::ListFile || named == Named::StandardInput) {
        args = args.mid(0, 3);
        if (named == Named::ListFile &&
            (!file.open() || file.write(list) != list.size() || !file.flush()))
            return {};
        args << "--computers" << (named == Named::ListFile ? file.fileName() : QStringLiteral("-"));
    }
    for (const QString& section : sections)
        args << "--section" << section;
    const OmbrixRun run = runOmbrix(args, named == Named::StandardInput ? list : QByteArray());
    if (named == Named::JsonLines) { // each computer's line, put back in the order given
        QList<QJsonObject> lines;
        for (const QByteArray& line : run.out.split('\n'))
            if (!line.isEmpty())
                lines << QJsonDocument::fromJson(line).object();
        QJsonArray inOrder;
        for (const QString& computer : computers)
            for (qsizetype i = 0; i < lines.size(); ++i)
                if (lines[i]["computer"] == computer) {
                    inOrder.append(lines.takeAt(i));
                    break;
                }
        return {run.status, QJsonObject{{"computers", inOrder}}, run.err};
    }
    return {run.status, QJsonDocument::fromJson(run.out).object(), run.err};
}

QStringList strings(const QJsonValue& array) {
    QStringList list;
    for (const QJsonValue& v : array.toArray())
        list << v.toString();
    return list;
}

// What moves while a computer runs, so that two readings a moment apart
// differ: the memory free, the processor's present clock, the space free.
bool moves(const QString& path, const QJsonValue& near, const QJsonValue& far) {
    if (near.type() != far.type() || near.isNull())
        return false;
    return path == "summary.available_mb" || path == "summary.speed_mhz" ||
           path == "drives.free_bytes" ||
           (path == "drives.lines" && near.toString().startsWith("Free Space:"));
}

// Where a computer's report read through its collector (far) differs from
// its own (near), as key paths with both values. A fact far leaves null, or
// a line it leaves empty, is none when far names it under "unavailable".
void differences(const QJsonValue& near, const QJsonValue& far, const QString& path,
                 const QStringList& unavailable, QStringList& found) {
    // Whether the print service answered is said of the question asked from
    // here: where the printers cannot be known, it says no more than that.
    const bool listed = unavailable.contains(path) ||
                        (path == "print_service_reachable" && unavailable.contains("printers"));
    if (near.isObject() && far.isObject()) {
        QStringList keys = near.toObject().keys() + far.toObject().keys();
        keys.removeDuplicates();
        for (const QString& key : keys)
            differences(near[key], far[key], path.isEmpty() ? key : path + '.' + key, unavailable,
                        found);
    } else if (near.isArray() && far.isArray() && near.toArray().size() == far.toArray().size()) {
        for (qsizetype i = 0; i < near.toArray().size(); ++i)
            differences(near[i], far[i], path, unavailable, found);
    } else if (near != far && !((far.isNull() || far.isBool()) && listed) &&
               !moves(path, near, far) &&
               !(path.endsWith(".lines") && !unavailable.isEmpty() &&
                 far.toString().endsWith(": ") && near.toString().startsWith(far.toString()))) {
        const auto text = [](const QJsonValue& v) {
            return QString::fromUtf8(QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact));
        };
        found << path + ": " + text(near) + " here, " + text(far) + " through the collector";
    }
}

// The report as far as PCP's default agents can give it: they list the
// adapters and volumes in the collector's order, by which the drives after
// C: are lettered; the lines leave out what they do not carry; and they
// name the distribution by its own file (kernel.uname.distro: "Debian
// 12.11", where os-release says "12"). Adapters in order of their names,
// drives of their mount points, without letters, lines and the OS's name.
QJsonObject inCommonOrder(QJsonObject report) {
    const auto sorted = [](const QJsonValue& items, const char* key) {
        QMap<QString, QJsonObject> byKey;
        for (const QJsonValue& item : items.toArray()) {
            QJsonObject object = item.toObject();
            object.remove("letter");
            object.remove("lines");
            byKey.insert(object[QLatin1String(key)].toString(), object);
        }
        QJsonArray all;
        for (const QJsonObject& object : byKey)
            all.append(object);
        return all;
    };
    report["drives"] = sorted(report["drives"], "mount_point");
    QJsonObject network = report["network"].toObject(), summary = report["summary"].toObject();
    network["adapters"] = sorted(network["adapters"], "name");
    network.remove("lines");
    summary.remove("os_platform");
    summary.remove("os_version");
    report["network"] = network;
    report["summary"] = summary;
    return report;
}

} // namespace

Q_DECLARE_METATYPE(Named)
Q_DECLARE_METATYPE(TestPmcd::Agents)

class tst_ComputerReports : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void reportShowsThatComputersOwnFacts();
    void factsNotCarriedAreNullAndListed_data();
    void factsNotCarriedAreNullAndListed();
    void eachComputerAnswersForItselfInOrder_data();
    void eachComputerAnswersForItselfInOrder();
    void fewRequestsPerComputer_data();
    void fewRequestsPerComputer();
    void wholeThroughItsCollectorAsInItself_data();
    void wholeThroughItsCollectorAsInItself();

private:
    // Two other computers, each with its own host name.
    std::unique_ptr<PcpHost> m_first, m_second;
    // A collector with pmcd's own agent alone, beside the second one's.
    std::unique_ptr<TestPmcd> m_bare;
    // A computer set up as one on a network is, with a volume and printer.
    std::unique_ptr<PcpHost> m_furnished;
    std::unique_ptr<LoopVolume> m_volume;
    std::unique_ptr<PrivateCups> m_cups;
    QString host(const PcpHost& pcp) const { return pcp.address() + ":44321"; }
};

void tst_ComputerReports::initTestCase() {
    m_first = std::make_unique<PcpHost>("ombrix-far-one", 249);
    if (!m_first->why().isEmpty())
        QSKIP(qPrintable("Skipping the other computers' report: " + m_first->why()));
    m_second = std::make_unique<PcpHost>("ombrix-far-two", 253);
    QVERIFY2(m_second->why().isEmpty(), qPrintable(m_second->why()));
    m_bare = std::make_unique<TestPmcd>(QStringList{m_second->address()}, 44322, m_second->netns(),
                                        TestPmcd::Agents::PmcdOnly);
    QVERIFY2(m_bare->why().isEmpty(), qPrintable(m_bare->why()));
    m_furnished = std::make_unique<PcpHost>(QString(), 245, PcpHostOptions{true, std::nullopt});
    m_volume = std::make_unique<LoopVolume>("ombrix-far");
    m_cups = std::make_unique<PrivateCups>(m_furnished->netns(), "ombrix-far-queue");
}

void tst_ComputerReports::cleanupTestCase() {
    m_furnished.reset();
    m_cups.reset();
    m_volume.reset();
    m_bare.reset();
    m_second.reset();
    m_first.reset();
}

// Its name and interfaces are its own; what it shares with this computer's
// kernel (the memory, the processor) reads as this computer's report says.
void tst_ComputerReports::reportShowsThatComputersOwnFacts() {
    const QJsonObject local =
        QJsonDocument::fromJson(
            runOmbrix({"--report", "--format", "json", "--section", "summary"}).out)
            .object();
    const Run run = reportOf({host(*m_first)});
    QCOMPARE(run.status, 0);
    const QJsonArray computers = run.json["computers"].toArray();
    QCOMPARE(computers.size(), 1);
    const QJsonObject far = computers[0].toObject();
    QCOMPARE(far["computer"].toString(), host(*m_first));
    QCOMPARE(far["errors"].toObject(), QJsonObject());

    const QJsonObject summary = far["summary"].toObject();
    QCOMPARE(summary["computer_name"].toString(), QString("ombrix-far-one"));
    QCOMPARE(far["network"]["host_name"].toString(), QString("ombrix-far-one"));
    QCOMPARE(summary["ip_address"].toString(), m_first->address());
    QCOMPARE(summary["total_mb"], local["summary"]["total_mb"]);
    if (!summary["processor"].isNull())
        QCOMPARE(summary["processor"], local["summary"]["processor"]);

    // Every interface of its namespace but the loopback, and only those.
    QStringList expected = m_first->interfaces();
    expected.removeAll("lo");
    QStringList shown;
    for (const QJsonValue& adapter : far["network"]["adapters"].toArray())
        shown << adapter["name"].toString();
    expected.sort();
    shown.sort();
    QCOMPARE(shown, expected);
    for (const QJsonValue& adapter : far["network"]["adapters"].toArray())
        QCOMPARE(strings(adapter["ip_addresses"]), adapter["name"] == m_first->insideInterface()
                                                       ? QStringList{m_first->address()}
                                                       : QStringList());
    QCOMPARE(far["drives"][0]["mount_point"].toString(), QString("/"));
}

void tst_ComputerReports::factsNotCarriedAreNullAndListed_data() {
    QTest::addColumn<bool>("bare");
    QTest::addColumn<QStringList>("listed"); // among the unavailable, at least
    const QStringList neverCarried{
        "summary.fdd_present",           "network.domain",
        "network.name_servers",          "drives.serial",
        "network.adapters.gateways",     "network.adapters.dhcp",
        "network.adapters.subnet_masks", "network.adapters.primary_wins"};
    // Nothing of the test's serves printers there: they cannot be known.
    QTest::newRow("a collector with the Linux agent")
        << false << neverCarried + QStringList{"printers"};
    QTest::newRow("a collector with pmcd's own agent alone")
        << true << QStringList{"summary.fdd_present",   "summary.processor", "summary.total_mb",
                               "summary.computer_name", "network.adapters",  "drives"};
}

// What the collector does not carry is null and named under "unavailable";
// it is no failure. A summary fact that is null is named there or under
// "errors".
void tst_ComputerReports::factsNotCarriedAreNullAndListed() {
    QFETCH(bool, bare);
    QFETCH(QStringList, listed);
    const Run run = reportOf({bare ? m_bare->host() : host(*m_first)});
    QCOMPARE(run.status, 0);
    const QJsonObject far = run.json["computers"][0].toObject();
    const QStringList unavailable = strings(far["unavailable"]);
    for (const QString& key : listed)
        QVERIFY2(unavailable.contains(key), qPrintable(key));
    for (const QString& key : unavailable)
        for (const QJsonValue& value : valuesAt(far, key.split('.')))
            QVERIFY2(value.isNull(), qPrintable(key));
    const QJsonObject summary = far["summary"].toObject();
    for (auto at = summary.begin(); at != summary.end(); ++at)
        if (at->isNull())
            QVERIFY2(unavailable.contains("summary." + at.key()), qPrintable(at.key()));
    QCOMPARE(far["errors"].toObject(), QJsonObject());
    // Where it was reached, whatever else it lacks.
    QCOMPARE(far["summary"]["ip_address"].toString(), (bare ? m_second : m_first)->address());
}

void tst_ComputerReports::eachComputerAnswersForItselfInOrder_data() {
    // "first", "second", "silent", "unreachable" or as given
    QTest::addColumn<QStringList>("computers");
    QTest::addColumn<Named>("named");
    QTest::newRow("two collectors and an address that never answers")
        << QStringList{"first", "silent", "second"} << Named::Arguments;
    QTest::newRow("the silent one first") << QStringList{"silent", "second"} << Named::Arguments;
    QTest::newRow("a port where nothing listens")
        << QStringList{"127.0.0.1:1", "first"} << Named::Arguments;
    QTest::newRow("an address without a route")
        << QStringList{"unreachable", "first"} << Named::Arguments;
    QTest::newRow("the same computer twice") << QStringList{"second", "second"} << Named::Arguments;
    QTest::newRow("a list file") << QStringList{"second", "silent", "first", "second"}
                                 << Named::ListFile;
    QTest::newRow("a list on standard input")
        << QStringList{"first", "127.0.0.1:1"} << Named::StandardInput;
    QTest::newRow("as JSON Lines")
        << QStringList{"silent", "first", "second", "first"} << Named::JsonLines;
}

// Computers asked in one report each answer for themselves, in the order
// given: one that cannot be reached is named under its "errors" and leaves
// the others whole; the status says that one failed.
void tst_ComputerReports::eachComputerAnswersForItselfInOrder() {
    QFETCH(QStringList, computers);
    QFETCH(Named, named);
    QStringList given;
    for (const QString& computer : computers)
        given << (computer == "first"         ? host(*m_first)
                  : computer == "second"      ? host(*m_second)
                  : computer == "silent"      ? m_first->blackholed()
                  : computer == "unreachable" ? m_first->unreachable()
                                              : computer);
    const Run run = reportOf(given, {"summary", "network"}, named);
    const QJsonArray entries = run.json["computers"].toArray();
    QCOMPARE(entries.size(), given.size());
    bool anyFailed = false;
    for (qsizetype i = 0; i < given.size(); ++i) {
        const QJsonObject entry = entries[i].toObject();
        QCOMPARE(entry["computer"].toString(), given[i]);
        const bool answers = computers[i] == "first" || computers[i] == "second";
        anyFailed = anyFailed || !answers;
        if (answers) {
            QCOMPARE(entry["errors"].toObject(), QJsonObject());
            QCOMPARE(entry["summary"]["computer_name"].toString(),
                     "ombrix-far-" + QString(computers[i] == "first" ? "one" : "two"));
        } else {
            // Each reads as what it is.
            const QString why = entry["errors"]["connection"].toString();
            const QString says = computers[i] == "silent"        ? "did not answer"
                                 : computers[i] == "unreachable" ? "no route"
                                                                 : "refused";
            QVERIFY2(why.contains(says), qPrintable(why));
            QVERIFY(entry["summary"].isNull());
            QVERIFY(entry["network"].isNull());
            QVERIFY(run.err.contains(given[i].toUtf8()));
        }
    }
    QCOMPARE(run.status, anyFailed ? 1 : 0);
}

void tst_ComputerReports::fewRequestsPerComputer_data() {
    QTest::addColumn<QStringList>("sections");
    QTest::addColumn<int>("most");
    QTest::addColumn<int>("named"); // times the computer is named
    QTest::newRow("the summary") << QStringList{"summary"} << 12 << 1;
    QTest::newRow("the whole report") << QStringList() << 20 << 1;
    QTest::newRow("one computer named three times, asked once")
        << QStringList{"summary"} << 12 << 3;
}

// Each round trip costs a computer far away its latency: one computer's
// report asks its pmcd a few times, not once per fact.
void tst_ComputerReports::fewRequestsPerComputer() {
    QFETCH(QStringList, sections);
    QFETCH(int, most);
    QFETCH(int, named);
    PmcdRequests requests(host(*m_second));
    // What reading the count costs, measured as it runs.
    const auto first = requests.read();
    const auto second = requests.read();
    QVERIFY(first && second);
    const double readingCost = *second - *first;
    const auto before = requests.read();
    const Run run = reportOf(QStringList(named, host(*m_second)), sections);
    const auto after = requests.read();
    QVERIFY(before && after);
    QCOMPARE(run.status, 0);
    const double asked = *after - *before - readingCost;
    qInfo("%s: %g requests (reading the count cost %g)", QTest::currentDataTag(), asked,
          readingCost);
    QVERIFY2(asked <= most, qPrintable(QString::number(asked)));
    QVERIFY(asked > 0);
}

void tst_ComputerReports::wholeThroughItsCollectorAsInItself_data() {
    QTest::addColumn<TestPmcd::Agents>("agents");
    QTest::newRow("with the program's agent") << TestPmcd::Agents::Collector;
    QTest::newRow("with PCP's default agents") << TestPmcd::Agents::Open;
}

// A computer read through its collector shows what it shows itself, field
// by field: with the program's agent all of it; without, a fact may be null
// instead, and is then named under "unavailable".
void tst_ComputerReports::wholeThroughItsCollectorAsInItself() {
    QFETCH(TestPmcd::Agents, agents);
    for (const QString& why : {m_furnished->why(), m_volume->why(), m_cups->why()})
        if (!why.isEmpty())
            QSKIP(qPrintable("Skipping the computer read as in itself: " + why));
    // Its print scheduler and volume are its own: no other process sees them.
    const QString cups = "CUPS_SERVER=" + m_cups->socketPath();
    QVERIFY2(m_furnished->startPmcd(agents, {{cups}, m_volume->mountCommand()}),
             qPrintable(m_furnished->why()));
    const QStringList within{
        "nsenter", "-t", QString::number(m_furnished->pmcd().pid()), "-m", "-n", "env", cups};
    QJsonObject near, far;
    QStringList found;
    // The agent's reading comes on a thread of its own, every few seconds.
    for (const QDeadlineTimer deadline(60000); found.isEmpty() || !deadline.hasExpired();) {
        const OmbrixRun run = runOmbrix({"--report", "--format", "json"}, {}, within);
        QCOMPARE(run.status, 0);
        near = QJsonDocument::fromJson(run.out).object();
        far = reportOf({host(*m_furnished)}).json["computers"][0].toObject();
        if (agents != TestPmcd::Agents::Collector) {
            near = inCommonOrder(near);
            far = inCommonOrder(far);
        }
        found.clear();
        for (const QString& section : near.keys())
            differences(near[section], far[section], section, strings(far["unavailable"]), found);
        if (found.isEmpty())
            break;
    }
    for (const QString& difference : found)
        qWarning("%s", qPrintable(difference));
    QVERIFY2(found.isEmpty(), "the report through the collector differs");
    QCOMPARE(far["errors"].toObject(), QJsonObject());
    if (agents == TestPmcd::Agents::Collector)
        QCOMPARE(strings(far["unavailable"]), QStringList());
    const QJsonObject& here = near;
    // What was compared is what the computer was given.
    QCOMPARE(here["network"]["domain"].toString(), PcpHost::resolverDomain());
    QCOMPARE(strings(here["network"]["name_servers"]), PcpHost::resolverServers());
    QCOMPARE(here["summary"]["ip_address"].toString(), m_furnished->address());
    QStringList addresses, mounts, queues;
    for (const QJsonValue& adapter : here["network"]["adapters"].toArray())
        addresses << strings(adapter["ip_addresses"]);
    for (const QJsonValue& drive : here["drives"].toArray())
        mounts << drive["mount_point"].toString();
    for (const QJsonValue& printer : here["printers"].toArray())
        queues << printer["name"].toString();
    QVERIFY2(addresses.contains(m_furnished->aliasAddress()), qPrintable(addresses.join(' ')));
    QVERIFY2(addresses.contains(m_furnished->leasedAddress()), qPrintable(addresses.join(' ')));
    QVERIFY2(mounts.contains(m_volume->mountPoint()), qPrintable(mounts.join(' ')));
    QCOMPARE(queues, QStringList{"ombrix-far-queue"});
}

QTEST_MAIN(tst_ComputerReports)
#include "tst_ComputerReports.moc"
