#include "report/ComputerReport.h"

#include "report/ComputerList.h"

#include <QHash>

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
                   const std::function<ComputerReport(const QString&)>& read,
                   ReportProgress* progress) {
    // A computer named more than once is read once, under its first name.
    QStringList once;
    std::vector<std::size_t> readAs;
    readAs.reserve(static_cast<std::size_t>(computers.size()));
    QHash<QString, std::size_t> seen;
    for (const QString& computer : computers) {
        const auto at = seen.constFind(ComputerKey(computer));
        if (at != seen.cend()) {
            readAs.push_back(*at);
            continue;
        }
        seen.insert(ComputerKey(computer), static_cast<std::size_t>(once.size()));
        readAs.push_back(static_cast<std::size_t>(once.size()));
        once << computer;
    }
    std::vector<ComputerReport> answers(static_cast<std::size_t>(once.size()));
    ReportProgress unseen;
    ReportProgress& shown = progress ? *progress : unseen;
    shown.all = answers.size();
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < answers.size(); i = next++) {
            const QString& computer = once[static_cast<qsizetype>(i)];
            try {
                answers[i] = read(computer);
            } catch (const std::exception& error) {
                answers[i].computer = computer;
                answers[i].connectionFailure = QString::fromUtf8(error.what());
                ++shown.notAnswering;
            }
            ++shown.done;
        }
    };
    std::vector<std::jthread> workers;
    const std::size_t count = std::min(answers.size(), kMostComputersAtOnce);
    for (std::size_t i = 0; i + 1 < count; ++i)
        workers.emplace_back(work);
    work();          // this thread is one of them
    workers.clear(); // joined before the reports leave
    // Each name given keeps its place, with the report of its computer.
    std::vector<ComputerReport> reports;
    reports.reserve(readAs.size());
    for (qsizetype i = 0; i < computers.size(); ++i) {
        reports.push_back(answers[readAs[static_cast<std::size_t>(i)]]);
        reports.back().computer = computers[i];
    }
    return reports;
}

} // namespace ombrix
