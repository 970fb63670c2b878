#include "program/ReportCommand.h"

#include "app/VisibleText.h"
#include "drive_details/DriveReport.h"
#include "platform/linux/LinuxMachine.h"
#include "program/StandardStreams.h"
#include "report/Report.h"
#include "report/ReportOutput.h"
#include "report/ReportSources.h"

#include <QCommandLineParser>
#include <QLocale>

#include <cstdio>

namespace ombrix {
namespace {

const QString kReport = QStringLiteral("report");
const QString kFormat = QStringLiteral("format");
const QString kSection = QStringLiteral("section");

int usageError(const QString& message) {
    std::fprintf(stderr, "ombrix: %s\n", message.toLocal8Bit().constData());
    return 2;
}

// The sections' facts from this machine's services.
ReportSources linuxSources(platform::LinuxMachine& m) {
    ReportSources sources;
    sources.summary = [&m] {
        return ReadSummary({m.memory, m.version, m.cpu, m.host, m.systemInfo, m.floppy}, QLocale());
    };
    sources.network = [&m] { return ReadNetwork(*m.registry); };
    sources.drives = [&m] { return readEveryDrive(m.fileSystem, QLocale()); };
    sources.printers = [&m] { return m.printers.query(); };
    return sources;
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

    platform::LinuxMachine machine;
    const Report report = BuildReport(sections, linuxSources(machine));
    const QByteArray output =
        format == QLatin1String("json") ? ReportJson(report) : ReportText(report);
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
