#pragma once
#include "app/Background.h"
#include "platform/linux/BoundedCall.h"
#include "platform/linux/LinuxMachine.h"
#include "program/Windows.h"
#include "report/Report.h"

#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <memory>

namespace ombrix {
namespace platform {
class Dispatch;
struct RemoteMachine;
} // namespace platform

namespace program {

// The program's parts, made once: this computer's machine, which it keeps
// whichever computer it shows (the counters, the links to other computers,
// the message boxes), the computer it shows: this one, or another named on
// the command line, and the owners of the threads the program starts, which
// join them when it goes, waiting a bounded time for those stuck. The
// windows' and the report's services come from here, in the program as in
// its tests.
class Program {
public:
    // errors: where an exception goes that escapes the handler of an answer
    // from another computer.
    explicit Program(platform::RemoteComputerLinks::ErrorSink errors = nullptr);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    platform::LinuxMachine& local() { return m_local; }

    // Shows computer ("host" or "host:port") in place of this one: its
    // facts read once, whole, over the link this computer keeps to it (so
    // that its collector counts one client), and its readings taken again
    // later over the same link. Blocks while it reads (the collector's
    // time-outs bound it). Throws PlatformError with a one-line reason when
    // the computer cannot be reached or does not answer.
    void showComputer(const QString& computer);

    // The services of the computer shown.
    platform::Machine machine();
    // The windows' services: the computer shown, and the program's own.
    WindowServices windowServices(platform::Dispatch& printerInstall,
                                  std::function<void()> endProgram);
    // What the computer shown cannot tell; none for this computer.
    NotCarriedSource notCarried();
    // The report's facts, of the computer shown.
    ReportSources reportSources();

    // How the windows show the program's Computers window (Forms::show).
    void showComputersWith(std::function<void()> show) { m_showComputers = std::move(show); }
    // The Computers window's services: the links of this computer, the list
    // kept in its registry under the current user, as many links at once as
    // the process has room for, and the main window of a row's computer
    // opened beside the others (openComputer).
    ComputersWindow::Services computersWindow();

    // Opens the main window of computer ("host" or "host:port") beside the
    // program's other windows, its other windows opening from there as with
    // --computer: its facts are read whole over its link without waiting,
    // then done(why) runs: why it could not be opened, empty once it is.
    // A computer already open is shown again. Its windows go when the
    // application quits.
    void openComputer(const QString& computer, std::function<void(const QString& why)> done);
    // The computers whose windows were opened so (by ComputerKey).
    std::size_t openedComputers() const { return m_opened.size(); }
    // The Forms of a computer opened so; nullptr where none is.
    Forms* formsOf(const QString& computer);

private:
    struct Opened;

    platform::LinuxMachine m_local;
    // The workers reading volumes and print services, made before anything
    // asks them.
    platform::BoundedWorkers m_boundedWorkers{kMostExitWait};
    // Ends before the links it reads over.
    std::unique_ptr<platform::RemoteMachine> m_shown;
    // Receives the answers for computers being opened.
    QObject m_answers;
    std::function<void()> m_showComputers;
    std::map<QString, std::unique_ptr<Opened>> m_opened;
    // The threads of questions the windows ask: joined first, before the
    // windows and services they use go.
    BackgroundThreads m_background;
};

// The main window's facts of another computer, from a reading of it, as its
// main window would show them.
SummaryFacts ComputerSummary(const QString& computer, platform::RemoteFacts facts);

// The line that tells why the computer named could not be shown.
QString unreachableLine(const QString& computer, const QString& reason);

} // namespace program
} // namespace ombrix
