#pragma once
#include "platform/ComputerFacts.h"
#include "report/Report.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
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

// What the machine leaves a report of many computers, each computer read at
// once holding a thread and a few open files while it waits on the network.
struct RoomForComputers {
    std::size_t openFiles = 0;  // descriptors it may still open
    std::size_t threads = 0;    // threads it may still start
    std::size_t processors = 0; // those this process may run on; 0: not known
};
// Open files one computer holds while it is read: one at a time, its
// collector's connection, then its print scheduler's (a name's look-up
// opens and closes its own before either).
inline constexpr std::size_t kFilesPerComputer = 1;
// Most computers asked at once, whatever the machine allows: each worker is
// a thread with a stack of its own.
inline constexpr std::size_t kMostComputersAtOnce = 4096;

// Most computers asked at once for each processor, unless the user asks for
// more: each computer costs processor time between its waits, and workers
// past what the processors keep busy only add to it (libpcp's one lock,
// longer select() sets, more stacks and heaps) without finishing sooner.
inline constexpr std::size_t kComputersPerProcessor = 128;

// How many of the computers are read at once: all of them where the machine
// has room, else as many as it has room for (at least one), and no more than
// kComputersPerProcessor for each processor; asked: the user's own bound
// (0: none), which may go past the processors' share but not the room.
std::size_t ComputersAtOnce(std::size_t computers, const RoomForComputers& room,
                            std::size_t asked = 0);

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

// How many computers are read at once. A computer whose reading has taken
// longer than `slow`, and twice as long as the reads ended so far on
// average, is most likely waiting on a silent network (a connection's
// time-out is 5 s): it no longer counts against atOnce, and another worker
// takes the next computer, up to `most` workers in all (the machine's room);
// those waiting cost no processor time.
inline constexpr std::chrono::milliseconds kSlowComputer{500};
struct ReadingBound {
    std::size_t atOnce = 1;
    std::size_t most = 0; // 0: atOnce, a bound kept whatever the computers wait on
    std::chrono::milliseconds slow = kSlowComputer;
};

// The report of each computer, in the order given, read by workers as the
// bound says (at least one). A read that throws gives its computer's
// connection failure, and leaves the others. A computer named twice
// (ComputerKey) is read once and reported under each name.
// Reads each computer as ReportEachComputer does, and hands each name's
// report to finished(index of the name, report) as soon as its computer is
// read, on the worker that read it, one call at a time: nothing is kept.
void ReadEachComputer(const QStringList& computers,
                      const std::function<ComputerReport(const QString&)>& read,
                      const std::function<void(std::size_t, ComputerReport)>& finished,
                      ReadingBound bound, ReportProgress* progress = nullptr);

std::vector<ComputerReport>
ReportEachComputer(const QStringList& computers,
                   const std::function<ComputerReport(const QString&)>& read, ReadingBound bound,
                   ReportProgress* progress = nullptr);

} // namespace ombrix
