#include "report/Report.h"

#include <algorithm>
#include <array>
#include <exception>

namespace ombrix {
namespace {

constexpr std::array kSections{ReportSection::Summary, ReportSection::Network,
                               ReportSection::Drives, ReportSection::Printers};

template <class T, class Source>
void makeSection(Report& report, ReportSection section, std::optional<T>& facts,
                 const Source& source) {
    try {
        facts = source();
    } catch (const std::exception& error) {
        facts.reset();
        report.failures[section] = QString::fromUtf8(error.what());
    }
}

} // namespace

Report BuildReport(const std::vector<ReportSection>& sections, const ReportSources& sources) {
    Report report;
    for (ReportSection section : kSections) {
        if (std::find(sections.begin(), sections.end(), section) == sections.end())
            continue;
        report.sections.push_back(section);
        switch (section) {
        case ReportSection::Summary:
            makeSection(report, section, report.summary, sources.summary);
            if (report.summary && !report.summary->unread.empty())
                report.failures[section] = UnreadFactsText(*report.summary);
            break;
        case ReportSection::Network:
            makeSection(report, section, report.network, sources.network);
            break;
        case ReportSection::Drives: {
            // Volumes without a letter, or serial numbers not read, leave the
            // section made in part.
            std::optional<EveryDrive> every;
            makeSection(report, section, every, sources.drives);
            if (every) {
                report.drives = std::move(every->drives);
                QStringList partial;
                if (const QString unread = UnreadDriveFactsText(*report.drives); !unread.isEmpty())
                    partial << unread;
                if (every->volumesWithoutLetter > 0)
                    partial << volumesWithoutLetterText(every->volumesWithoutLetter);
                if (!partial.isEmpty())
                    report.failures[section] = partial.join(QStringLiteral("; "));
            }
            break;
        }
        case ReportSection::Printers:
            makeSection(report, section, report.printers, sources.printers);
            // A service that is there but could not be read lists nothing:
            // no list at all, rather than an empty one.
            if (report.printers && !report.printers->unreadWhy.isEmpty()) {
                report.failures[section] = QStringLiteral("the print service could not be read: ") +
                                           report.printers->unreadWhy;
                report.printers.reset();
            }
            break;
        }
    }
    return report;
}

bool SectionMade(const Report& report, ReportSection section) {
    switch (section) {
    case ReportSection::Summary:
        return report.summary.has_value();
    case ReportSection::Network:
        return report.network.has_value();
    case ReportSection::Drives:
        return report.drives.has_value();
    case ReportSection::Printers:
        break;
    }
    return report.printers.has_value();
}

QString SectionName(ReportSection section) {
    switch (section) {
    case ReportSection::Summary:
        return QStringLiteral("summary");
    case ReportSection::Network:
        return QStringLiteral("network");
    case ReportSection::Drives:
        return QStringLiteral("drives");
    case ReportSection::Printers:
        break;
    }
    return QStringLiteral("printers");
}

std::optional<ReportSection> SectionNamed(const QString& name) {
    for (ReportSection section : kSections) {
        if (SectionName(section) == name)
            return section;
    }
    return std::nullopt;
}

QString SummaryFactKey(SummaryFact fact) {
    switch (fact) {
    case SummaryFact::OsPlatform:
        return QStringLiteral("os_platform");
    case SummaryFact::OsVersion:
        return QStringLiteral("os_version");
    case SummaryFact::OsBuild:
        return QStringLiteral("os_build");
    case SummaryFact::ComputerName:
        return QStringLiteral("computer_name");
    case SummaryFact::IpAddress:
        return QStringLiteral("ip_address");
    case SummaryFact::Processor:
        return QStringLiteral("processor");
    case SummaryFact::Vendor:
        return QStringLiteral("vendor");
    case SummaryFact::SpeedMhz:
        return QStringLiteral("speed_mhz");
    case SummaryFact::TotalMb:
        return QStringLiteral("total_mb");
    case SummaryFact::AvailableMb:
        return QStringLiteral("available_mb");
    case SummaryFact::FddPresent:
        break;
    }
    return QStringLiteral("fdd_present");
}

std::vector<ReportSection> AllSections() {
    return {kSections.begin(), kSections.end()};
}

} // namespace ombrix
