#include "report/ReportOutput.h"

#include "app/VisibleText.h"
#include "main_window/PrinterListText.h"
#include "report/ComputerReport.h"
#include "report/Report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <utility>

namespace ombrix {
namespace {

QJsonValue text(const QString& value) {
    return WellFormedText(value);
}

QJsonArray texts(const QStringList& values) {
    QJsonArray array;
    for (const QString& value : values)
        array.append(text(value));
    return array;
}

// A figure the window shows as text, as a JSON number; null when it is none.
QJsonValue number(const QString& figure) {
    bool ok = false;
    const qlonglong whole = figure.trimmed().toLongLong(&ok);
    if (ok)
        return QJsonValue(whole);
    const double fraction = figure.trimmed().toDouble(&ok);
    return ok ? QJsonValue(fraction) : QJsonValue();
}

template <class T> QJsonValue optionalNumber(const std::optional<T>& value) {
    return value ? QJsonValue(static_cast<qint64>(*value)) : QJsonValue();
}

// A fact that could not be read is null.
QJsonObject summaryObject(const SummaryFacts& facts) {
    using enum SummaryFact;
    const std::pair<SummaryFact, QJsonValue> values[] = {
        {OsPlatform, text(facts.osPlatform)}, {OsVersion, text(facts.osVersion)},
        {OsBuild, number(facts.osBuild)},     {ComputerName, text(facts.computerName)},
        {IpAddress, text(facts.ipAddress)},   {Processor, text(facts.processor)},
        {Vendor, text(facts.vendor)},         {SpeedMhz, number(facts.speedMhz)},
        {TotalMb, number(facts.totalMb)},     {AvailableMb, number(facts.availableMb)},
        {FddPresent, facts.fddPresent}};
    QJsonObject object;
    for (const auto& [fact, value] : values)
        object.insert(SummaryFactKey(fact), facts.unread.count(fact) ? QJsonValue() : value);
    return object;
}

QJsonObject networkObject(const NetworkConfiguration& config) {
    QJsonArray adapters;
    for (const AdapterConfiguration& adapter : config.adapters) {
        adapters.append(
            QJsonObject{{"name", text(adapter.name)},
                        {"ip_addresses", texts(adapter.ipAddresses)},
                        {"subnet_masks", texts(adapter.subnetMasks)},
                        {"gateways", texts(adapter.gateways)},
                        {"dhcp", adapter.dhcp ? QJsonValue(*adapter.dhcp) : QJsonValue()},
                        {"primary_wins", text(adapter.primaryWins)},
                        {"backup_wins", text(adapter.backupWins)}});
    }
    return {{"lines", texts(config.lines)},
            {"domain", text(config.domain)},
            {"host_name", text(config.hostName)},
            {"name_servers", texts(config.nameServers)},
            {"adapters", adapters}};
}

QJsonArray drivesArray(const std::vector<DriveLines>& drives) {
    QJsonArray array;
    for (const DriveLines& drive : drives) {
        array.append(
            QJsonObject{{"letter", text(drive.letter)},
                        {"type", drive.type ? text(driveTypeName(*drive.type)) : QJsonValue()},
                        {"type_code", optionalNumber(drive.type)},
                        {"serial", optionalNumber(drive.serialNumber)},
                        {"total_bytes", optionalNumber(drive.totalBytes)},
                        {"free_bytes", optionalNumber(drive.freeBytes)},
                        {"mount_point", text(drive.mountPoint)},
                        {"lines", texts(shownDriveLines(drive))}});
    }
    return array;
}

QJsonArray printersArray(const platform::PrinterList& list) {
    QJsonArray array;
    for (const platform::PrintDestination& dest : list.destinations) {
        array.append(QJsonObject{{"name", text(dest.name)},
                                 {"default", dest.isDefault},
                                 {"state", text(PrinterStateText(dest.state))},
                                 {"location", text(dest.location)},
                                 {"make_and_model", text(dest.makeAndModel)},
                                 {"description", text(dest.info)}});
    }
    return array;
}

// The report's sections, "print_service_reachable" beside the printers, and
// "errors" when a section failed.
QJsonObject reportObject(const Report& report) {
    QJsonObject root;
    QJsonObject failures;
    for (const auto& [section, why] : report.failures)
        failures.insert(SectionName(section), text(why));
    for (ReportSection section : report.sections) {
        QJsonValue value; // null for a section that failed
        switch (section) {
        case ReportSection::Summary:
            if (report.summary)
                value = summaryObject(*report.summary);
            break;
        case ReportSection::Network:
            if (report.network)
                value = networkObject(*report.network);
            break;
        case ReportSection::Drives:
            if (report.drives)
                value = drivesArray(*report.drives);
            break;
        case ReportSection::Printers:
            if (report.printers)
                value = printersArray(*report.printers);
            root.insert("print_service_reachable",
                        report.printers && report.printers->serviceReachable);
            break;
        }
        root.insert(SectionName(section), value);
    }
    if (!failures.isEmpty())
        root.insert("errors", failures);
    return root;
}

// The value with null at the key path, in each element of the arrays on
// the way ("adapters.gateways": in every adapter).
QJsonValue withNullAt(const QJsonValue& value, const QStringList& path) {
    if (path.isEmpty())
        return QJsonValue();
    if (value.isArray()) {
        QJsonArray array;
        for (const QJsonValue& item : value.toArray())
            array.append(withNullAt(item, path));
        return array;
    }
    if (!value.isObject())
        return value;
    QJsonObject object = value.toObject();
    if (const auto at = object.find(path.front()); at != object.end())
        *at = withNullAt(*at, path.mid(1));
    return object;
}

// Whether UTF-8 text holds a bidirectional control (IsBidiControl):
// U+202A to U+202E are E2 80 AA to AE, U+2066 to U+2069 are E2 81 A6 to A9.
bool holdsBidiControl(const QByteArray& utf8) {
    for (qsizetype at = utf8.indexOf('\xE2'); at >= 0 && at + 2 < utf8.size();
         at = utf8.indexOf('\xE2', at + 1)) {
        const auto second = static_cast<unsigned char>(utf8[at + 1]);
        const auto third = static_cast<unsigned char>(utf8[at + 2]);
        if ((second == 0x80 && third >= 0xAA && third <= 0xAE) ||
            (second == 0x81 && third >= 0xA6 && third <= 0xA9))
            return true;
    }
    return false;
}

// The document as UTF-8, each bidirectional control in its strings written
// as the escape \uXXXX (ShownText): read as JSON, a name is the name itself;
// read as text, it reads in the order of its characters.
QByteArray written(const QJsonObject& root,
                   QJsonDocument::JsonFormat format = QJsonDocument::Indented) {
    const QByteArray json = QJsonDocument(root).toJson(format);
    return holdsBidiControl(json) ? ShownText(QString::fromUtf8(json)).toUtf8() : json;
}

} // namespace

QByteArray ReportJson(const Report& report) {
    return written(reportObject(report));
}

QByteArray ReportJsonLine(const Report& report) {
    return written(reportObject(report), QJsonDocument::Compact) + '\n';
}

namespace {

QJsonObject computerObject(const ComputerReport& computer) {
    QJsonObject entry = reportObject(computer.report);
    QJsonObject errors = entry.take("errors").toObject();
    if (computer.connectionFailure)
        errors.insert("connection", text(*computer.connectionFailure));
    QJsonValue facts = entry;
    for (const QString& key : computer.unavailable)
        facts = withNullAt(facts, key.split(u'.'));
    entry = facts.toObject();
    entry.insert("computer", text(computer.computer));
    entry.insert("unavailable", texts(computer.unavailable));
    entry.insert("errors", errors);
    return entry;
}

} // namespace

QByteArray ComputerReportJsonEntry(const ComputerReport& computer) {
    // As the list indents it: two levels of four spaces. A text's line
    // breaks are escaped, so each line of the document is one of its own.
    const QByteArray alone = written(computerObject(computer));
    QByteArray entry;
    entry.reserve(alone.size() + alone.count('\n') * 8);
    for (qsizetype start = 0; start < alone.size();) {
        qsizetype end = alone.indexOf('\n', start);
        if (end < 0)
            end = alone.size();
        if (start > 0)
            entry += '\n';
        entry.append("        ").append(alone.constData() + start, end - start);
        start = end + 1;
    }
    return entry;
}

QByteArray ComputersReportJson(const std::vector<QByteArray>& entries) {
    if (entries.empty())
        return written(QJsonObject{{"computers", QJsonArray()}});
    qsizetype size = 0;
    for (const QByteArray& entry : entries)
        size += entry.size() + 2;
    QByteArray json;
    json.reserve(size + 40);
    json += "{\n    \"computers\": [\n";
    for (std::size_t i = 0; i < entries.size(); ++i)
        json.append(entries[i]).append(i + 1 < entries.size() ? ",\n" : "\n");
    json += "    ]\n}\n";
    return json;
}

QByteArray ComputersReportJson(const std::vector<ComputerReport>& computers) {
    std::vector<QByteArray> entries;
    entries.reserve(computers.size());
    for (const ComputerReport& computer : computers)
        entries.push_back(ComputerReportJsonEntry(computer));
    return ComputersReportJson(entries);
}

QByteArray ComputerReportJsonLine(const ComputerReport& computer) {
    // Compact JSON has no line break of its own: a text's are escaped.
    return written(computerObject(computer), QJsonDocument::Compact) + '\n';
}

} // namespace ombrix
