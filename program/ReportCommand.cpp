#include "program/ReportCommand.h"

#include "app/VisibleText.h"
#include "platform/HostPort.h"
#include "platform/PlatformError.h"
#include "platform/RemoteComputers.h"
#include "platform/linux/modules/LazyPrinters.h"
#include "platform/remote/RemoteMachine.h"
#include "program/Program.h"
#include "program/ProgressLine.h"
#include "program/StandardStreams.h"
#include "report/ComputerList.h"
#include "report/ComputerReport.h"
#include "report/Report.h"
#include "report/ReportOutput.h"
#include "report/ReportSources.h"

#include <QCommandLineParser>
#include <QLocale>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

#include <sched.h>
#include <sys/resource.h>
#include <sys/select.h>

namespace ombrix {
namespace {

const QString kReport = QStringLiteral("report");
const QString kFormat = QStringLiteral("format");
const QString kSection = QStringLiteral("section");
// The program's own option, which the windows read too.
const QString kComputer = QStringLiteral("computer");
const QString kComputers = QStringLiteral("computers");
const QString kParallel = QStringLiteral("parallel");

int usageError(const QString& message) {
    std::fprintf(stderr, "ombrix: %s\n", message.toLocal8Bit().constData());
    return 2;
}

} // namespace

// The computers --computer and --computers name, in the order given; throws
// the usage error of a list that cannot be read.
QStringList namedComputers(const QCommandLineParser& parser) {
    const QStringList typed = parser.values(kComputer);
    const QStringList files = parser.values(kComputers);
    qsizetype nextTyped = 0;
    qsizetype nextFile = 0;
    QStringList computers;
    for (const QString& option : parser.optionNames()) {
        if (option == kComputer && nextTyped < typed.size()) {
            computers << typed[nextTyped++];
        } else if (option == kComputers && nextFile < files.size()) {
            const QString& file = files[nextFile++];
            ComputerList list = ReadComputerList(file);
            if (!list.failure.isEmpty())
                throw std::invalid_argument(QStringLiteral("--computers %1 %2")
                                                .arg(file == QLatin1String("-")
                                                         ? QStringLiteral("- (standard input)")
                                                         : VisibleText(file),
                                                     list.failure)
                                                .toStdString());
            computers << list.names;
        }
    }
    return computers;
}

namespace {

// The parts of another computer's facts the sections show.
platform::FactParts FactPartsFor(const std::vector<ReportSection>& sections) {
    const auto asked = [&](ReportSection section) {
        return std::find(sections.begin(), sections.end(), section) != sections.end();
    };
    platform::FactParts parts;
    parts.network = asked(ReportSection::Network);
    // The network report names the computer as its summary does.
    parts.summary = asked(ReportSection::Summary) || parts.network;
    parts.drives = asked(ReportSection::Drives);
    parts.printers = asked(ReportSection::Printers);
    return parts;
}

} // namespace

ComputerReport ComputerReportOf(const QString& typed, const QString& computer,
                                platform::RemoteFacts facts,
                                const std::vector<ReportSection>& sections) {
    const platform::FactParts parts = FactPartsFor(sections);
    const bool adaptersCut = facts.adaptersCut && parts.network;
    const bool volumesCut = facts.volumesCut && parts.drives;
    const QStringList leftOut = parts.network ? facts.addressesLeftOut : QStringList();
    platform::RemoteMachine machine(computer, std::move(facts), platform::modulePrintersAt);
    ComputerReport report{typed, BuildReport(sections, SourcesOf(machine.machine(), QLocale())),
                          UnavailableFacts(machine.notCarried(), sections), std::nullopt};
    SetAsideUnavailable(report);
    // A list cut short is a section made in part, and says so.
    const QString cutShort = QStringLiteral("its collector lists more %1 than the %2 shown");
    const QString most = QString::number(platform::kMostFactItems);
    if (adaptersCut && report.report.network)
        report.report.failures[ReportSection::Network] = cutShort.arg("adapters", most);
    if (volumesCut && report.report.drives) {
        // Beside the volumes past Z that it may name already.
        QString& why = report.report.failures[ReportSection::Drives];
        why = (why.isEmpty() ? QString() : why + QStringLiteral("; ")) +
              cutShort.arg("volumes", most);
    }
    // So is an adapter shown without what its collector gave as addresses.
    if (!leftOut.isEmpty() && report.report.network) {
        constexpr qsizetype kNamed = 3;
        QString adapters = leftOut.mid(0, kNamed).join(QStringLiteral(", "));
        if (leftOut.size() > kNamed)
            adapters += QStringLiteral(" and %1 more adapters").arg(leftOut.size() - kNamed);
        const QString why =
            QStringLiteral("what its collector gives as addresses is none, and is left out: %1")
                .arg(adapters);
        QString& failure = report.report.failures[ReportSection::Network];
        // Names are a collector's texts.
        failure = platform::cutToMaxLength(
            failure.isEmpty() ? why : failure + QStringLiteral("; ") + why);
    }
    return report;
}

namespace {

// Another computer's report, named as the user typed it: its facts in one
// reading of the parts the sections need. Throws PlatformError when it
// cannot be reached.
ComputerReport reportOf(platform::CounterSources& counterSources, const QString& typed,
                        const std::vector<ReportSection>& sections) {
    const QString computer = platform::computerAddress(typed);
    platform::RemoteFacts facts =
        counterSources.connectFacts(computer)->read(FactPartsFor(sections));
    if (!facts.reachable)
        throw platform::PlatformError("its collector stopped answering");
    return ComputerReportOf(typed, computer, std::move(facts), sections);
}

} // namespace

// The room this process has for computers read at once. The soft limit of
// open files is raised to the hard one first. libpcp waits on its
// connections with select(), which watches no descriptor past FD_SETSIZE: a
// connection opened past it would end the program, so the open files stay
// under it whatever the limit.
RoomForComputers roomForComputers() {
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    std::error_code error;
    std::size_t open = 0;
    for (std::filesystem::directory_iterator fd("/proc/self/fd", error), end; !error && fd != end;
         fd.increment(error))
        ++open;
    // Besides those open now: the files libraries open on first use (the
    // resolver's, the print scheduler's configuration).
    constexpr std::size_t kSpareFiles = 32;
    const std::size_t most = std::min<rlim_t>(files.rlim_cur, FD_SETSIZE);
    RoomForComputers room;
    room.openFiles = most > open + kSpareFiles ? most - open - kSpareFiles : 0;
    // Threads: those the machine runs besides (the fourth field of
    // /proc/loadavg: running/all) count against its most, and the user's.
    std::size_t threads = 0;
    std::ifstream("/proc/sys/kernel/threads-max") >> threads;
    std::string loadavg[4];
    std::ifstream load("/proc/loadavg");
    for (std::string& field : loadavg)
        load >> field;
    const std::size_t all =
        std::strtoull(loadavg[3].substr(loadavg[3].find('/') + 1).c_str(), nullptr, 10);
    if (rlimit processes{};
        getrlimit(RLIMIT_NPROC, &processes) == 0 && processes.rlim_cur != RLIM_INFINITY)
        threads = std::min<std::size_t>(threads, processes.rlim_cur);
    // Half of what is left: the machine's other programs may want some.
    room.threads = threads > all ? (threads - all) / 2 : 1;
    if (cpu_set_t processors; sched_getaffinity(0, sizeof processors, &processors) == 0)
        room.processors = static_cast<std::size_t>(CPU_COUNT(&processors));
    return room;
}

namespace {

enum class Format { Text, Json, JsonLines };

// What failed of a computer's report, a line each for standard error.
QByteArray failureLines(const ComputerReport& report) {
    const QByteArray name = VisibleText(report.computer).toLocal8Bit();
    QByteArray lines;
    if (report.connectionFailure)
        lines += "ombrix: " + name +
                 " could not be reached: " + VisibleText(*report.connectionFailure).toLocal8Bit() +
                 '\n';
    for (const auto& [section, why] : report.report.failures)
        lines += "ombrix: " + name + ": the " + SectionName(section).toLocal8Bit() + " section " +
                 (SectionMade(report.report, section) ? "is incomplete" : "failed") + ": " +
                 VisibleText(why).toLocal8Bit() + '\n';
    return lines;
}

// The report of each computer named, in parallel; 1 when any of them
// failed in whole or in part. As JSON Lines each computer's line is written
// as soon as it is read, and nothing of it is kept.
int runComputersReport(const QStringList& computers, const std::vector<ReportSection>& sections,
                       Format format, std::size_t parallel) {
    program::Program thisProgram;
    platform::LinuxCounterSources& counterSources = thisProgram.local().counterSources;
    // Before the workers start; a module that cannot be loaded fails each
    // computer with its reason instead.
    try {
        counterSources.prepare();
    } catch (const std::exception&) {
    }
    ReportProgress progress;
    progress.all = CountComputers(computers);
    const RoomForComputers room = roomForComputers();
    const std::size_t atOnce = ComputersAtOnce(progress.all, room, parallel);
    if (atOnce < std::min(progress.all.load(), parallel ? parallel : kMostComputersAtOnce) &&
        atOnce == room.openFiles / kFilesPerComputer)
        std::fprintf(stderr,
                     "ombrix: the %zu computers are read %zu at a time, as many as the files "
                     "this process may open allow\n",
                     progress.all.load(), atOnce);
    // As JSON each computer's entry is written by the worker that read it,
    // and only the text is kept.
    std::vector<ComputerReport> reports;
    std::vector<QByteArray> entries;
    if (format == Format::Text)
        reports.resize(static_cast<std::size_t>(computers.size()));
    else if (format == Format::Json)
        entries.resize(static_cast<std::size_t>(computers.size()));
    QByteArray failures; // written after the progress line is gone
    bool unwritten = false;
    {
        program::ProgressLine line(progress);
        ReadEachComputer(
            computers,
            [&](const QString& computer) { return reportOf(counterSources, computer, sections); },
            [&](std::size_t name, ComputerReport report) {
                if (report.connectionFailure)
                    report.report.sections = sections;
                failures += failureLines(report);
                if (format == Format::Text) {
                    reports[name] = std::move(report);
                } else if (format == Format::Json) {
                    entries[name] = ComputerReportJsonEntry(report);
                } else if (!unwritten) {
                    const QByteArray json = ComputerReportJsonLine(report);
                    line.above(
                        [&] { unwritten = program::writeStandardOutput(json, "report") != 0; });
                }
            },
            // Past the processors' share, only computers waiting on the
            // network add workers, up to the room; the user's bound holds.
            ReadingBound{atOnce, parallel
                                     ? atOnce
                                     : ComputersAtOnce(progress.all, room, kMostComputersAtOnce)},
            &progress);
    }
    if (format != Format::JsonLines) {
        const QByteArray output =
            format == Format::Json ? ComputersReportJson(entries) : ComputersReportText(reports);
        unwritten = program::writeStandardOutput(output, "report") != 0;
    }
    if (unwritten)
        return 1;
    std::fputs(failures.constData(), stderr);
    return failures.isEmpty() ? 0 : 1;
}

} // namespace

void addReportOptions(QCommandLineParser& parser) {
    parser.addOption({kReport, QStringLiteral("Print a report of the machine's facts and exit; "
                                              "no display is needed.")});
    parser.addOption({kFormat,
                      QStringLiteral("Format of the report: text (default), json, or jsonl (JSON "
                                     "Lines: one object a computer, written as each is read)."),
                      QStringLiteral("format"), QStringLiteral("text")});
    parser.addOption({kParallel,
                      QStringLiteral("With --report of other computers: read at most this many "
                                     "at once (default: as many as the machine allows)."),
                      QStringLiteral("count")});
    parser.addOption({kSection,
                      QStringLiteral("Report only this section: summary, network, drives or "
                                     "printers. Repeatable; every section by default."),
                      QStringLiteral("section")});
}

bool asksForReport(const QCommandLineParser& parser) {
    return parser.isSet(kReport) || parser.isSet(kFormat) || parser.isSet(kSection) ||
           parser.isSet(kParallel);
}

int runReport(const QCommandLineParser& parser) {
    if (!parser.isSet(kReport))
        return usageError(QStringLiteral("--format, --section and --parallel go with --report"));
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument \"%1\"")
                              .arg(parser.positionalArguments().constFirst()));
    const QString format = parser.value(kFormat);
    if (format != QLatin1String("text") && format != QLatin1String("json") &&
        format != QLatin1String("jsonl"))
        return usageError(
            QStringLiteral("unknown report format \"%1\" (use text, json or jsonl)").arg(format));

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

    std::size_t parallel = 0; // as many as the machine allows
    if (parser.isSet(kParallel)) {
        bool number = false;
        const qulonglong asked = parser.value(kParallel).toULongLong(&number);
        if (!number || asked == 0)
            return usageError(QStringLiteral("--parallel wants a count of computers from 1 up, "
                                             "not \"%1\"")
                                  .arg(VisibleText(parser.value(kParallel))));
        parallel = static_cast<std::size_t>(asked);
    }

    const Format as = format == QLatin1String("json")    ? Format::Json
                      : format == QLatin1String("jsonl") ? Format::JsonLines
                                                         : Format::Text;
    if (parser.isSet(kComputer) || parser.isSet(kComputers)) {
        QStringList computers;
        try {
            computers = namedComputers(parser);
        } catch (const std::invalid_argument& e) {
            return usageError(QString::fromStdString(e.what()));
        }
        for (const QString& typed : computers) {
            const QString computer = platform::computerAddress(typed);
            if (computer.isEmpty())
                return usageError(QStringLiteral("--computer needs the name of a computer"));
            const std::string why =
                platform::pcp::portProblem(platform::pcp::splitHost(computer.toStdString()));
            if (!why.empty())
                return usageError(QStringLiteral("--computer %1: %2")
                                      .arg(VisibleText(typed), QString::fromStdString(why)));
        }
        return runComputersReport(computers, sections, as, parallel);
    }

    program::Program thisProgram;
    const Report report = BuildReport(sections, thisProgram.reportSources());
    const QByteArray output = as == Format::Json        ? ReportJson(report)
                              : as == Format::JsonLines ? ReportJsonLine(report)
                                                        : ReportText(report);
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
