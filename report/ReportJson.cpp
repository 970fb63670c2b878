#include "report/ReportOutput.h"

#include "app/VisibleText.h"
#include "main_window/PrinterListText.h"
#include "report/ComputerReport.h"
#include "report/JsonWriter.h"
#include "report/Report.h"

#include <QSet>

#include <utility>

namespace ombrix {
namespace {

using Member = JsonWriter::Member;

// Writes a report's sections; a fact named unavailable ("section.key", or
// "network.adapters.gateways": in every adapter) is null where it stands.
class ReportWriter {
public:
    ReportWriter(JsonWriter& json, const QStringList& unavailable)
        : m_json(json), m_unavailable(unavailable.begin(), unavailable.end()) {}

    // The members of the report's object: its sections,
    // "print_service_reachable" beside the printers, and "errors" when a
    // section failed (unless its errors are written by the caller).
    std::vector<Member> members(const Report& report, bool withErrors);

private:
    // The member, null when it is unavailable at path.key.
    Member member(const QString& path, const QString& key, JsonWriter::Value value) {
        if (!m_unavailable.isEmpty() && m_unavailable.contains(path + key))
            value = [this](int) { m_json.null(); };
        return {key, std::move(value)};
    }
    JsonWriter::Value text(const QString& value) {
        return [this, &value](int) { m_json.text(value); };
    }
    JsonWriter::Value texts(const QStringList& values) {
        return [this, &values](int indent) {
            m_json.array(indent, std::size_t(values.size()),
                         [&](std::size_t i, int) { m_json.text(values[qsizetype(i)]); });
        };
    }
    // A figure the window shows as text, as a JSON number; null when it is none.
    void figure(const QString& text) {
        bool ok = false;
        const QString trimmed = text.trimmed();
        if (const qlonglong whole = trimmed.toLongLong(&ok); ok)
            return m_json.number(qint64(whole));
        if (const double fraction = trimmed.toDouble(&ok); ok)
            return m_json.number(fraction);
        m_json.null();
    }
    template <class T> JsonWriter::Value optionalNumber(const std::optional<T>& value) {
        return [this, &value](int) {
            if (value)
                m_json.number(static_cast<qint64>(*value));
            else
                m_json.null();
        };
    }

    void summary(int indent, const SummaryFacts& facts);
    void network(int indent, const NetworkConfiguration& config);
    void drives(int indent, const std::vector<DriveLines>& drives);
    void printers(int indent, const platform::PrinterList& list);

    JsonWriter& m_json;
    QSet<QString> m_unavailable;
};

// A fact that could not be read is null.
void ReportWriter::summary(int indent, const SummaryFacts& facts) {
    using enum SummaryFact;
    const QString path = QStringLiteral("summary.");
    const auto figure = [this](const QString& text) {
        return [this, &text](int) { this->figure(text); };
    };
    const std::pair<SummaryFact, JsonWriter::Value> values[] = {
        {OsPlatform, text(facts.osPlatform)},
        {OsVersion, text(facts.osVersion)},
        {OsBuild, figure(facts.osBuild)},
        {ComputerName, text(facts.computerName)},
        {IpAddress, text(facts.ipAddress)},
        {Processor, text(facts.processor)},
        {Vendor, text(facts.vendor)},
        {SpeedMhz, figure(facts.speedMhz)},
        {TotalMb, figure(facts.totalMb)},
        {AvailableMb, figure(facts.availableMb)},
        {FddPresent, [this, &facts](int) { m_json.boolean(facts.fddPresent); }}};
    std::vector<Member> members;
    for (const auto& [fact, value] : values)
        members.push_back(
            member(path, SummaryFactKey(fact),
                   facts.unread.count(fact) ? [this](int) { m_json.null(); } : value));
    m_json.object(indent, std::move(members));
}

void ReportWriter::network(int indent, const NetworkConfiguration& config) {
    const QString path = QStringLiteral("network.");
    const QString adapterPath = QStringLiteral("network.adapters.");
    const auto adapters = [&](int indent) {
        m_json.array(indent, config.adapters.size(), [&](std::size_t i, int indent) {
            const AdapterConfiguration& adapter = config.adapters[i];
            m_json.object(indent, {member(adapterPath, "name", text(adapter.name)),
                                   member(adapterPath, "ip_addresses", texts(adapter.ipAddresses)),
                                   member(adapterPath, "subnet_masks", texts(adapter.subnetMasks)),
                                   member(adapterPath, "gateways", texts(adapter.gateways)),
                                   member(adapterPath, "dhcp",
                                          [&](int) {
                                              if (adapter.dhcp)
                                                  m_json.boolean(*adapter.dhcp);
                                              else
                                                  m_json.null();
                                          }),
                                   member(adapterPath, "primary_wins", text(adapter.primaryWins)),
                                   member(adapterPath, "backup_wins", text(adapter.backupWins))});
        });
    };
    m_json.object(indent, {member(path, "lines", texts(config.lines)),
                           member(path, "domain", text(config.domain)),
                           member(path, "host_name", text(config.hostName)),
                           member(path, "name_servers", texts(config.nameServers)),
                           member(path, "adapters", adapters)});
}

void ReportWriter::drives(int indent, const std::vector<DriveLines>& drives) {
    const QString path = QStringLiteral("drives.");
    m_json.array(indent, drives.size(), [&](std::size_t i, int indent) {
        const DriveLines& drive = drives[i];
        const QStringList lines = shownDriveLines(drive);
        m_json.object(indent, {member(path, "letter", text(drive.letter)),
                               member(path, "type",
                                      [&](int) {
                                          if (drive.type)
                                              m_json.text(driveTypeName(*drive.type));
                                          else
                                              m_json.null();
                                      }),
                               member(path, "type_code", optionalNumber(drive.type)),
                               member(path, "serial", optionalNumber(drive.serialNumber)),
                               member(path, "total_bytes", optionalNumber(drive.totalBytes)),
                               member(path, "free_bytes", optionalNumber(drive.freeBytes)),
                               member(path, "mount_point", text(drive.mountPoint)),
                               member(path, "lines", texts(lines))});
    });
}

void ReportWriter::printers(int indent, const platform::PrinterList& list) {
    const QString path = QStringLiteral("printers.");
    m_json.array(indent, list.destinations.size(), [&](std::size_t i, int indent) {
        const platform::PrintDestination& dest = list.destinations[i];
        const QString state = PrinterStateText(dest.state);
        m_json.object(indent,
                      {member(path, "name", text(dest.name)),
                       member(path, "default", [&](int) { m_json.boolean(dest.isDefault); }),
                       member(path, "state", text(state)),
                       member(path, "location", text(dest.location)),
                       member(path, "make_and_model", text(dest.makeAndModel)),
                       member(path, "description", text(dest.info))});
    });
}

std::vector<Member> ReportWriter::members(const Report& report, bool withErrors) {
    std::vector<Member> members;
    for (ReportSection section : report.sections) {
        const QString name = SectionName(section);
        JsonWriter::Value value = [this](int) { m_json.null(); }; // a section that failed
        switch (section) {
        case ReportSection::Summary:
            if (report.summary)
                value = [&](int indent) { summary(indent, *report.summary); };
            break;
        case ReportSection::Network:
            if (report.network)
                value = [&](int indent) { network(indent, *report.network); };
            break;
        case ReportSection::Drives:
            if (report.drives)
                value = [&](int indent) { drives(indent, *report.drives); };
            break;
        case ReportSection::Printers:
            if (report.printers)
                value = [&](int indent) { printers(indent, *report.printers); };
            members.push_back(
                member(QString(), QStringLiteral("print_service_reachable"), [&](int) {
                    m_json.boolean(report.printers && report.printers->serviceReachable);
                }));
            break;
        }
        members.push_back(member(QString(), name, std::move(value)));
    }
    if (withErrors && !report.failures.empty())
        members.push_back({QStringLiteral("errors"), [&](int indent) {
                               std::vector<Member> failures;
                               for (const auto& [section, why] : report.failures)
                                   failures.push_back({SectionName(section), text(why)});
                               m_json.object(indent, std::move(failures));
                           }});
    return members;
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
QByteArray shown(QByteArray json) {
    return holdsBidiControl(json) ? ShownText(QString::fromUtf8(json)).toUtf8() : json;
}

QByteArray reportJson(const Report& report, bool compact) {
    JsonWriter json(compact);
    ReportWriter writer(json, {});
    json.object(0, writer.members(report, true));
    json.out() += '\n';
    return shown(std::move(json.out()));
}

// A computer's object at indent: its report's members, its name, the facts
// its collector does not carry, and its errors (the connection's among them).
QByteArray computerJson(const ComputerReport& computer, bool compact, int indent) {
    JsonWriter json(compact);
    ReportWriter writer(json, computer.unavailable);
    std::vector<JsonWriter::Member> members = writer.members(computer.report, false);
    members.push_back({QStringLiteral("computer"), [&](int) { json.text(computer.computer); }});
    members.push_back({QStringLiteral("unavailable"),
                       [&](int indent) { json.texts(indent, computer.unavailable); }});
    members.push_back(
        {QStringLiteral("errors"), [&](int indent) {
             std::vector<JsonWriter::Member> errors;
             for (const auto& [section, why] : computer.report.failures)
                 errors.push_back({SectionName(section), [&json, &why](int) { json.text(why); }});
             if (computer.connectionFailure)
                 errors.push_back({QStringLiteral("connection"),
                                   [&](int) { json.text(*computer.connectionFailure); }});
             json.object(indent, std::move(errors));
         }});
    json.spaces(indent);
    json.object(indent, std::move(members));
    return shown(std::move(json.out()));
}

} // namespace

QByteArray ReportJson(const Report& report) {
    return reportJson(report, false);
}

QByteArray ReportJsonLine(const Report& report) {
    return reportJson(report, true);
}

QByteArray ComputerReportJsonEntry(const ComputerReport& computer) {
    // As the list indents it: two levels of four spaces. A text's line
    // breaks are escaped, so each line of the document is one of its own.
    return computerJson(computer, false, 2);
}

QByteArray ComputersReportJson(const std::vector<QByteArray>& entries) {
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
    return computerJson(computer, true, 0) + '\n';
}

} // namespace ombrix
