#include "program/ReportCommand.h"

#include "app/VisibleText.h"
#include "drive_details/DriveReport.h"
#include "platform/HostPort.h"
#include "platform/PlatformError.h"
#include "platform/RemoteComputers.h"
#include "platform/linux/LinuxMachine.h"
#include "platform/linux/counters/LinuxCounterSources.h"
#include "platform/linux/modules/LazyPrinters.h"
#include "platform/remote/RemoteMachine.h"
#include "program/StandardStreams.h"
#include "report/ComputerReport.h"
#include "report/Report.h"
#include "report/ReportOutput.h"
#include "report/ReportSources.h"

#include <QCommandLineParser>
#include <QLocale>

#include <algorithm>
#include <cstdio>

namespace ombrix {
namespace {

const QString kReport = QStringLiteral("report");
const QString kFormat = QStringLiteral("format");
const QString kSection = QStringLiteral("section");
// The program's own option, which the windows read too.
const QString kComputer = QStringLiteral("computer");

int usageError(const QString& message) {
    std::fprintf(stderr, "ombrix: %s\n", message.toLocal8Bit().constData());
    return 2;
}

// The sections' facts from a machine's services: this computer's, or
// another's over the facts its collector gave.
template <class Machine> ReportSources machineSources(Machine& m) {
    ReportSources sources;
    sources.summary = [&m] {
        return ReadSummary({m.memory, m.version, m.cpu, m.host, m.systemInfo, m.floppy}, QLocale());
    };
    sources.network = [&m] { return ReadNetwork(*m.registry); };
    sources.drives = [&m] { return readEveryDrive(m.fileSystem, QLocale()); };
    sources.printers = [&m] { return m.printers.query(); };
    return sources;
}

// Another computer's report, named as the user typed it: its facts in one
// reading of the parts the sections need, then the same sources as this
// computer's. Throws PlatformError when it cannot be reached.
ComputerReport reportOf(platform::CounterSources& counterSources, const QString& typed,
                        const std::vector<ReportSection>& sections) {
    const auto asked = [&](ReportSection section) {
        return std::find(sections.begin(), sections.end(), section) != sections.end();
    };
    platform::FactParts parts;
    parts.network = asked(ReportSection::Network);
    // The network report names the computer as its summary does.
    parts.summary = asked(ReportSection::Summary) || parts.network;
    parts.drives = asked(ReportSection::Drives);
    const QString computer = platform::computerAddress(typed);
    platform::RemoteFacts facts = counterSources.connectFacts(computer)->read(parts);
    if (!facts.reachable)
        throw platform::PlatformError("its collector stopped answering");
    const bool adaptersCut = facts.adaptersCut && parts.network;
    const bool volumesCut = facts.volumesCut && parts.drives;
    const QStringList leftOut = parts.network ? facts.addressesLeftOut : QStringList();
    platform::RemoteMachine machine(computer, std::move(facts), platform::modulePrintersAt);
    ComputerReport report{typed, BuildReport(sections, machineSources(machine)),
                          UnavailableFacts(machine.notCarried(), sections), std::nullopt};
    SetAsideUnavailable(report);
    // A list cut short is a section made in part, and says so.
    const QString cutShort = QStringLiteral("its collector lists more %1 than the %2 shown");
    const QString most = QString::number(platform::kMostFactItems);
    if (adaptersCut && report.report.network)
        report.report.failures[ReportSection::Network] = cutShort.arg("adapters", most);
    if (volumesCut && report.report.drives) {
        // Beside the volumes past Z that it may name already.
        QString& why = report.report.failures[ReportSection::Drives];
        why = (why.isEmpty() ? QString() : why + QStringLiteral("; ")) +
              cutShort.arg("volumes", most);
    }
    // So is an adapter shown without what its collector gave as addresses.
    if (!leftOut.isEmpty() && report.report.network) {
        constexpr qsizetype kNamed = 3;
        QString adapters = leftOut.mid(0, kNamed).join(QStringLiteral(", "));
        if (leftOut.size() > kNamed)
            adapters += QStringLiteral(" and %1 more adapters").arg(leftOut.size() - kNamed);
        const QString why =
            QStringLiteral("what its collector gives as addresses is none, and is left out: %1")
                .arg(adapters);
        QString& failure = report.report.failures[ReportSection::Network];
        // Names are a collector's texts.
        failure = platform::cutToMaxLength(
            failure.isEmpty() ? why : failure + QStringLiteral("; ") + why);
    }
    return report;
}

// The report of each computer named, in parallel; 1 when any of them
// failed in whole or in part.
int runComputersReport(const QStringList& computers, const std::vector<ReportSection>& sections,
                       bool json) {
    platform::LinuxCounterSources counterSources;
    // Before the workers start; a module that cannot be loaded fails each
    // computer with its reason instead.
    try {
        counterSources.prepare();
    } catch (const std::exception&) {
    }
    std::vector<ComputerReport> reports =
        ReportEachComputer(computers, [&](const QString& computer) {
            return reportOf(counterSources, computer, sections);
        });
    for (ComputerReport& report : reports)
        if (report.connectionFailure)
            report.report.sections = sections;
    const QByteArray output = json ? ComputersReportJson(reports) : ComputersReportText(reports);
    if (program::writeStandardOutput(output, "report") != 0)
        return 1;
    int status = 0;
    for (const ComputerReport& report : reports) {
        const QByteArray name = VisibleText(report.computer).toLocal8Bit();
        if (report.connectionFailure) {
            std::fprintf(stderr, "ombrix: %s could not be reached: %s\n", name.constData(),
                         VisibleText(*report.connectionFailure).toLocal8Bit().constData());
            status = 1;
        }
        for (const auto& [section, why] : report.report.failures) {
            std::fprintf(stderr, "ombrix: %s: the %s section %s: %s\n", name.constData(),
                         SectionName(section).toLocal8Bit().constData(),
                         SectionMade(report.report, section) ? "is incomplete" : "failed",
                         VisibleText(why).toLocal8Bit().constData());
            status = 1;
        }
    }
    return status;
}

} // namespace

void addReportOptions(QCommandLineParser& parser) {
    parser.addOption({kReport, QStringLiteral("Print a report of the machine's facts and exit; "
                                              "no display is needed.")});
    parser.addOption({kFormat, QStringLiteral("Format of the report: text (default) or json."),
                      QStringLiteral("format"), QStringLiteral("text")});
    parser.addOption({kSection,
                      QStringLiteral("Report only this section: summary, network, drives or "
                                     "printers. Repeatable; every section by default."),
                      QStringLiteral("section")});
}

bool asksForReport(const QCommandLineParser& parser) {
    return parser.isSet(kReport) || parser.isSet(kFormat) || parser.isSet(kSection);
}

int runReport(const QCommandLineParser& parser) {
    if (!parser.isSet(kReport))
        return usageError(QStringLiteral("--format and --section go with --report"));
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument \"%1\"")
                              .arg(parser.positionalArguments().constFirst()));
    const QString format = parser.value(kFormat);
    if (format != QLatin1String("text") && format != QLatin1String("json"))
        return usageError(
            QStringLiteral("unknown report format \"%1\" (use text or json)").arg(format));

    std::vector<ReportSection> sections;
    for (const QString& name : parser.values(kSection)) {
        const std::optional<ReportSection> section = SectionNamed(name);
        if (!section)
            return usageError(QStringLiteral("unknown report section \"%1\" (use summary, "
                                             "network, drives or printers)")
                                  .arg(name));
        sections.push_back(*section);
    }
    if (sections.empty())
        sections = AllSections();

    const bool json = format == QLatin1String("json");
    if (parser.isSet(kComputer)) {
        const QStringList computers = parser.values(kComputer);
        for (const QString& typed : computers) {
            const QString computer = platform::computerAddress(typed);
            if (computer.isEmpty())
                return usageError(QStringLiteral("--computer needs the name of a computer"));
            const std::string why =
                platform::pcp::portProblem(platform::pcp::splitHost(computer.toStdString()));
            if (!why.empty())
                return usageError(QStringLiteral("--computer %1: %2")
                                      .arg(VisibleText(typed), QString::fromStdString(why)));
        }
        return runComputersReport(computers, sections, json);
    }

    platform::LinuxMachine machine;
    const Report report = BuildReport(sections, machineSources(machine));
    const QByteArray output = json ? ReportJson(report) : ReportText(report);
    if (program::writeStandardOutput(output, "report") != 0)
        return 1;
    for (const auto& [section, why] : report.failures)
        std::fprintf(stderr, "ombrix: the %s section %s: %s\n",
                     SectionName(section).toLocal8Bit().constData(),
                     SectionMade(report, section) ? "is incomplete" : "failed",
                     VisibleText(why).toLocal8Bit().constData());
    return report.failures.empty() ? 0 : 1;
}

} // namespace ombrix
