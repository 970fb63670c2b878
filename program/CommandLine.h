#pragma once
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include <optional>

namespace ombrix::program {

// Every option the program knows. A mode with options of its own adds them
// here and in makeParser(), and reads them in readCommandLine().
struct Options {
    QCommandLineOption help;
    QCommandLineOption version;
    // "--computer host[:port]": another computer, through its collector. The
    // windows take one; the report reads parser.values("computer").
    QCommandLineOption computer;
    // "--computers FILE": the computers a file names, one a line ("-":
    // standard input). Repeatable; beside --computer, in the order given.
    QCommandLineOption computers;
    Options();
};

// What the arguments ask for.
struct CommandLine {
    // Set when the run ends before any window: help, version, a report or
    // bad usage.
    std::optional<int> exitStatus;
    // The other computer whose windows to open ("host" or "host:port");
    // empty: this one.
    QString computer;
    // With --computers and no report: the computers the lists and
    // --computer name, in the order given, for the Computers window.
    std::optional<QStringList> computerList;
};

inline constexpr int kUsageExitStatus = 2;

// A parser that knows the program's options, and quietly accepts the ones
// Qt reads itself (such as -platform or -style), so those still reach Qt.
void makeParser(QCommandLineParser& parser, const Options& options);

// The computer --computer names, as the links take it: without the "\\"
// a user may type before it, nor spaces around it. Empty when none is named.
QString namedComputer(const QCommandLineParser& parser, const Options& options);

// Parses the arguments, program name first. Prints help, the version or a
// report on stdout, a usage error as one line on stderr. Needs no application object
// and no display.
CommandLine readCommandLine(const QStringList& arguments);

// The arguments as the program received them, without an application object.
QStringList argumentsOf(int argc, char** argv);

} // namespace ombrix::program
