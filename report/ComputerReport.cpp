#include "report/ComputerReport.h"

#include "report/ComputerList.h"

#include <QHash>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace ombrix {

using namespace std::chrono_literals;

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
                      ReadingBound bound, ReportProgress* progress) {
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
    const auto readOne = [&](std::size_t i) {
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
    };

    using Clock = std::chrono::steady_clock;
    const std::size_t count = namedAt.size();
    if (count == 0)
        return;
    const std::size_t atOnce = std::min(count, std::max<std::size_t>(bound.atOnce, 1));
    const std::size_t most = std::max(atOnce, std::min(count, bound.most));
    // Each worker's place: since when it reads its computer, and whether
    // another has taken its place meanwhile (it then ends with that one).
    struct Place {
        Clock::time_point since;
        bool reading = false;
        bool replaced = false;
    };
    std::vector<Place> places(most);
    std::atomic<std::size_t> next{0};
    std::mutex pool;
    std::condition_variable ended;
    std::size_t running = 0;
    Clock::duration allRead{}; // the reads ended so far, and how long they took
    std::size_t readsEnded = 0;
    const auto work = [&](std::size_t at) {
        Place& place = places[at];
        for (std::size_t i = next++; i < count; i = next++) {
            {
                const std::lock_guard lock(pool);
                place.since = Clock::now();
                place.reading = true;
            }
            readOne(i);
            const std::lock_guard lock(pool);
            place.reading = false;
            allRead += Clock::now() - place.since;
            ++readsEnded;
            if (place.replaced)
                break;
        }
        const std::lock_guard lock(pool);
        --running;
        ended.notify_all();
    };

    std::vector<std::jthread> workers;
    workers.reserve(most);
    std::unique_lock lock(pool);
    const auto start = [&] {
        try {
            workers.emplace_back(work, workers.size());
            ++running;
            return true;
        } catch (const std::system_error&) {
            return false; // the machine starts no more threads: those started share the work
        }
    };
    while (workers.size() < atOnce && start()) {
    }
    if (workers.empty()) {
        ++running;
        lock.unlock();
        work(0);
        return;
    }
    bool growing = most > atOnce;
    while (running > 0) {
        if (!growing) {
            ended.wait(lock, [&] { return running == 0; });
            break;
        }
        ended.wait_for(lock, bound.slow / 4);
        // Slow for this run: a busy machine makes every computer slower,
        // which more workers would only make worse.
        const Clock::duration slow =
            std::max<Clock::duration>(bound.slow, readsEnded ? 2 * allRead / readsEnded : 0s);
        const Clock::time_point now = Clock::now();
        for (std::size_t at = 0; at < workers.size() && growing && next < count; ++at) {
            Place& place = places[at];
            if (place.reading && !place.replaced && now - place.since >= slow) {
                growing = workers.size() < most && start();
                place.replaced = growing;
            }
        }
    }
    lock.unlock();
    workers.clear(); // each has ended its work
}

std::vector<ComputerReport>
ReportEachComputer(const QStringList& computers,
                   const std::function<ComputerReport(const QString&)>& read, ReadingBound bound,
                   ReportProgress* progress) {
    std::vector<ComputerReport> reports(static_cast<std::size_t>(computers.size()));
    ReadEachComputer(
        computers, read,
        [&reports](std::size_t name, ComputerReport report) { reports[name] = std::move(report); },
        bound, progress);
    return reports;
}

} // namespace ombrix
