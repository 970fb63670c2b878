#include "report/ReportOutput.h"

#include "app/VisibleText.h"
#include "main_window/PrinterListText.h"
#include "report/ComputerReport.h"
#include "report/Report.h"

namespace ombrix {
namespace {

// "== Summary ==".
QString heading(ReportSection section) {
    QString name = SectionName(section);
    name[0] = name[0].toUpper();
    return QStringLiteral("== ") + name + QStringLiteral(" ==");
}

QStringList sectionLines(const Report& report, ReportSection section) {
    switch (section) {
    case ReportSection::Summary:
        return report.summary ? VisibleLines(SummaryLines(*report.summary)) : QStringList();
    case ReportSection::Network:
        return report.network ? VisibleLines(report.network->lines) : QStringList();
    case ReportSection::Drives: {
        QStringList lines;
        for (const DriveLines& drive : report.drives.value_or(std::vector<DriveLines>())) {
            if (!lines.isEmpty())
                lines << QString();
            lines << VisibleLines(shownDriveLines(drive));
        }
        return lines;
    }
    case ReportSection::Printers:
        break;
    }
    if (!report.printers)
        return {};
    std::vector<QStringList> rows;
    for (const platform::PrintDestination& dest : report.printers->destinations)
        rows.push_back(PrinterRowTexts(dest));
    return PrinterTableLines(rows) << PrinterListMessage(*report.printers);
}

} // namespace

QByteArray ReportText(const Report& report) {
    QString text;
    for (ReportSection section : report.sections) {
        if (!text.isEmpty())
            text += u'\n';
        text += heading(section) + u'\n';
        const auto failure = report.failures.find(section);
        const bool made = SectionMade(report, section);
        for (const QString& line : sectionLines(report, section))
            text += line + u'\n';
        if (failure != report.failures.end())
            text += (made ? QStringLiteral("Some facts could not be read: ")
                          : QStringLiteral("This section could not be made: ")) +
                    VisibleText(failure->second) + u'\n';
    }
    return text.toUtf8();
}

QByteArray ComputersReportText(const std::vector<ComputerReport>& computers) {
    QByteArray text;
    for (const ComputerReport& computer : computers) {
        if (!text.isEmpty())
            text += '\n';
        text += ("=== " + VisibleText(computer.computer) + " ===\n").toUtf8();
        if (computer.connectionFailure) {
            text += ("It could not be reached: " + VisibleText(*computer.connectionFailure) + '\n')
                        .toUtf8();
            continue;
        }
        text += ReportText(computer.report);
        if (!computer.unavailable.isEmpty())
            text += ("\nNot known from here: " + computer.unavailable.join(", ") + '\n').toUtf8();
    }
    return text;
}

} // namespace ombrix
