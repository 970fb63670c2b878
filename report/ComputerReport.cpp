#include "report/ComputerReport.h"

#include "report/ComputerList.h"

#include <QHash>

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
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

std::size_t ComputersAtOnce(std::size_t computers, const RoomForComputers& room,
                            std::size_t asked) {
    std::size_t most = std::min(
        {computers, kMostComputersAtOnce, room.openFiles / kFilesPerComputer, room.threads});
    if (asked > 0)
        most = std::min(most, asked);
    else if (room.processors > 0)
        most = std::min(most, room.processors * kComputersPerProcessor);
    return std::max<std::size_t>(most, 1);
}

void ReadEachComputer(const QStringList& computers,
                      const std::function<ComputerReport(const QString&)>& read,
                      const std::function<void(std::size_t, ComputerReport)>& finished,
                      std::size_t atOnce, ReportProgress* progress) {
    // A computer named more than once is read once, under its first name,
    // and handed on under each.
    QStringList once;
    std::vector<std::vector<std::size_t>> namedAt;
    QHash<QString, std::size_t> seen;
    for (qsizetype i = 0; i < computers.size(); ++i) {
        const QString key = ComputerKey(computers[i]);
        auto at = seen.constFind(key);
        if (at == seen.cend()) {
            at = seen.insert(key, namedAt.size());
            once << computers[i];
            namedAt.emplace_back();
        }
        namedAt[*at].push_back(static_cast<std::size_t>(i));
    }
    ReportProgress unseen;
    ReportProgress& shown = progress ? *progress : unseen;
    shown.all = namedAt.size();
    std::mutex handing;
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < namedAt.size(); i = next++) {
            const QString& computer = once[static_cast<qsizetype>(i)];
            ComputerReport answer;
            try {
                answer = read(computer);
            } catch (const std::exception& error) {
                answer.computer = computer;
                answer.connectionFailure = QString::fromUtf8(error.what());
                ++shown.notAnswering;
            }
            ++shown.done;
            const std::lock_guard lock(handing);
            for (std::size_t name : namedAt[i]) {
                ComputerReport report = name == namedAt[i].back() ? std::move(answer) : answer;
                report.computer = computers[static_cast<qsizetype>(name)];
                finished(name, std::move(report));
            }
        }
    };
    std::vector<std::jthread> workers;
    const std::size_t count = std::min(namedAt.size(), std::max<std::size_t>(atOnce, 1));
    workers.reserve(count - 1);
    try {
        for (std::size_t i = 0; i + 1 < count; ++i)
            workers.emplace_back(work);
    } catch (const std::system_error&) {
        // The machine starts no more threads: those started share the work.
    }
    work(); // this thread is one of them
}

std::vector<ComputerReport>
ReportEachComputer(const QStringList& computers,
                   const std::function<ComputerReport(const QString&)>& read, std::size_t atOnce,
                   ReportProgress* progress) {
    std::vector<ComputerReport> reports(static_cast<std::size_t>(computers.size()));
    ReadEachComputer(
        computers, read,
        [&reports](std::size_t name, ComputerReport report) { reports[name] = std::move(report); },
        atOnce, progress);
    return reports;
}

} // namespace ombrix
