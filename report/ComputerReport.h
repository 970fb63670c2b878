#pragma once
#include "platform/ComputerFacts.h"
#include "report/Report.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace ombrix {

// The report of another computer, read through its collector.
struct ComputerReport {
    QString computer; // as the user named it
    Report report;    // no section holds facts when the computer could not be reached
    // The facts its collector does not carry, by their JSON keys
    // ("summary.fdd_present", "network.adapters.gateways"): null in the
    // JSON, never a guess.
    QStringList unavailable;
    // Why the computer could not be reached, or stopped answering.
    std::optional<QString> connectionFailure;
};

// Most computers asked at once: a thousand computers need no thousand
// threads, and each waits mostly on the network.
inline constexpr std::size_t kMostComputersAtOnce = 16;

// Of the facts another computer's services cannot give (RemoteMachine's
// notCarried: those no collector carries, such as a floppy drive, the name
// servers, gateways, masks, DHCP and WINS, volume serials, and those its
// collector lacks, such as an older one's available memory), the ones the
// asked sections would show.
QStringList UnavailableFacts(const platform::NotCarried& notCarried,
                             const std::vector<ReportSection>& sections);

// Takes the unavailable facts out of the report's failures: a summary fact
// or a section the collector does not carry is not one that failed.
void SetAsideUnavailable(ComputerReport& computer);

// How far a report of many computers is, counted by its workers and read by
// another thread while they run.
struct ReportProgress {
    std::atomic<std::size_t> all{0}; // computers to read, each once
    std::atomic<std::size_t> done{0};
    std::atomic<std::size_t> notAnswering{0};
};

// The report of each computer, in the order given, read by
// min(computers, kMostComputersAtOnce) workers at once. A read that throws
// gives its computer's connection failure, and leaves the others. A computer
// named twice (ComputerKey) is read once and reported under each name.
// Reads each computer as ReportEachComputer does, and hands each name's
// report to finished(index of the name, report) as soon as its computer is
// read, on the worker that read it, one call at a time: nothing is kept.
void ReadEachComputer(const QStringList& computers,
                      const std::function<ComputerReport(const QString&)>& read,
                      const std::function<void(std::size_t, ComputerReport)>& finished,
                      ReportProgress* progress = nullptr);

std::vector<ComputerReport>
ReportEachComputer(const QStringList& computers,
                   const std::function<ComputerReport(const QString&)>& read,
                   ReportProgress* progress = nullptr);

} // namespace ombrix
