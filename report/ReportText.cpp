#include "report/ReportText.h"

#include "main_window/PrinterListText.h"
#include "report/Report.h"
#include "report/ReportJson.h"

namespace ombrix {
namespace {

// "== Summary ==".
QString heading(ReportSection section) {
    QString name = SectionName(section);
    name[0] = name[0].toUpper();
    return QStringLiteral("== ") + name + QStringLiteral(" ==");
}

QStringList visibleLines(const QStringList& lines) {
    QStringList out;
    for (const QString& line : lines)
        out << VisibleText(line);
    return out;
}

QStringList sectionLines(const Report& report, ReportSection section) {
    switch (section) {
    case ReportSection::Summary:
        return report.summary ? visibleLines(SummaryLines(*report.summary)) : QStringList();
    case ReportSection::Network:
        return report.network ? visibleLines(report.network->lines) : QStringList();
    case ReportSection::Drives: {
        QStringList lines;
        for (const DriveLines& drive : report.drives.value_or(std::vector<DriveLines>())) {
            if (!lines.isEmpty())
                lines << QString();
            lines << visibleLines(shownDriveLines(drive));
        }
        return lines;
    }
    case ReportSection::Printers:
        break;
    }
    if (!report.printers)
        return {};
    // Tabs separate the columns, so the cells are made visible one by one.
    std::vector<QStringList> rows;
    for (const platform::PrintDestination& dest : report.printers->destinations)
        rows.push_back(visibleLines(PrinterRowTexts(dest)));
    return PrinterTableLines(rows) << PrinterListMessage(*report.printers);
}

} // namespace

QString VisibleText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : WellFormedText(text)) {
        const char16_t u = c.unicode();
        if (u == u'\n')
            out += QStringLiteral("\\n");
        else if (u == u'\r')
            out += QStringLiteral("\\r");
        else if (u == u'\t')
            out += QStringLiteral("\\t");
        else if (u < 0x20 || (u >= 0x7F && u < 0xA0) || u == 0x2028 || u == 0x2029)
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QChar(u'0'));
        else
            out += c;
    }
    return out;
}

QByteArray ReportText(const Report& report) {
    QString text;
    for (ReportSection section : report.sections) {
        if (!text.isEmpty())
            text += u'\n';
        text += heading(section) + u'\n';
        const auto failure = report.failures.find(section);
        if (failure != report.failures.end()) {
            text += QStringLiteral("This section could not be made: ") +
                    VisibleText(failure->second) + u'\n';
            continue;
        }
        for (const QString& line : sectionLines(report, section))
            text += line + u'\n';
    }
    return text.toUtf8();
}

} // namespace ombrix
