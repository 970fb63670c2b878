#include "report/ComputerReport.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

namespace ombrix {
namespace {

QString summaryKey(SummaryFact fact) {
    return QStringLiteral("summary.") + SummaryFactKey(fact);
}

} // namespace

QStringList UnavailableFacts(const platform::NotCarried& notCarried,
                             const std::vector<ReportSection>& sections) {
    QStringList keys;
    for (const QString& key : notCarried)
        for (ReportSection section : sections)
            if (const QString name = SectionName(section);
                key == name || key.startsWith(name + u'.')) {
                keys << key;
                break;
            }
    return keys;
}

void SetAsideUnavailable(ComputerReport& computer) {
    Report& report = computer.report;
    if (report.summary) {
        std::erase_if(report.summary->unread, [&](const auto& unread) {
            return computer.unavailable.contains(summaryKey(unread.first));
        });
        if (report.summary->unread.empty())
            report.failures.erase(ReportSection::Summary);
        else
            report.failures[ReportSection::Summary] = UnreadFactsText(*report.summary);
    }
    for (ReportSection section : report.sections)
        if (computer.unavailable.contains(SectionName(section)))
            report.failures.erase(section);
}

std::vector<ComputerReport>
ReportEachComputer(const QStringList& computers,
                   const std::function<ComputerReport(const QString&)>& read) {
    std::vector<ComputerReport> reports(static_cast<std::size_t>(computers.size()));
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < reports.size(); i = next++) {
            const QString& computer = computers[static_cast<qsizetype>(i)];
            try {
                reports[i] = read(computer);
            } catch (const std::exception& error) {
                reports[i].computer = computer;
                reports[i].connectionFailure = QString::fromUtf8(error.what());
            }
        }
    };
    std::vector<std::jthread> workers;
    const std::size_t count = std::min(reports.size(), kMostComputersAtOnce);
    for (std::size_t i = 0; i + 1 < count; ++i)
        workers.emplace_back(work);
    work();          // this thread is one of them
    workers.clear(); // joined before the reports leave
    return reports;
}

} // namespace ombrix
