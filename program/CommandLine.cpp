#include "program/CommandLine.h"

#include "platform/HostPort.h"
#include "platform/RemoteComputers.h"
#include "program/ReportCommand.h"
#include "program/StandardStreams.h"

#include <cstdio>
#include <stdexcept>

#ifndef OMBRIX_VERSION
#error "OMBRIX_VERSION comes from the project version in CMakeLists.txt"
#endif

namespace ombrix::program {
namespace {

// Options QGuiApplication and QApplication take out of the arguments
// themselves; the first group takes a value.
const char* const kQtValueOptions[] = {
    "platform",        "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon",        "qwindowtitle",  "session",
    "display",         "geometry",           "name",          "style",
    "stylesheet",      "qmljsdebugger"};
const char* const kQtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

// Returns 0, or 1 when the text could not be written (a full disk, a closed
// output): a failed write is not reported as success.
int print(const QString& text) {
    return writeStandardOutput(text.toLocal8Bit(), "output");
}

int usageError(const QString& reason) {
    QString line = reason;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::fputs(QStringLiteral("ombrix: %1 Try 'ombrix --help'.\n").arg(line).toLocal8Bit(), stderr);
    return kUsageExitStatus;
}

// Qt names the program "<executable_name>" when there is no application
// object yet; the usage line names it as the user types it.
QString helpText(const QCommandLineParser& parser) {
    QString text = parser.helpText();
    const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
    return QStringLiteral("Usage: ombrix [options]") +
           text.mid(lineEnd < 0 ? text.size() : lineEnd);
}

// A run that ends before any window, with that status.
CommandLine ended(int status) {
    CommandLine commandLine;
    commandLine.exitStatus = status;
    return commandLine;
}

} // namespace

Options::Options()
    : help({QStringLiteral("h"), QStringLiteral("help")},
           QStringLiteral("Show this help and exit.")),
      version({QStringLiteral("v"), QStringLiteral("version")},
              QStringLiteral("Show the version and exit.")),
      computer(QStringLiteral("computer"),
               QStringLiteral("Show another computer, through its Performance Co-Pilot "
                              "collector (pmcd, port 44321 unless given). With --report, "
                              "repeatable: report each computer named, asked in parallel."),
               QStringLiteral("host[:port]")),
      computers(QStringLiteral("computers"),
                QStringLiteral("Show the computers the file names side by side, one a line "
                               "(# starts a comment; - reads standard input), and keep them "
                               "as the list last used; with --report, report each. "
                               "Repeatable, beside --computer."),
                QStringLiteral("file")) {}

void makeParser(QCommandLineParser& parser, const Options& options) {
    // Qt's own options come with one dash, so every option is read as a word.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Shows the facts of this computer at a glance: operating system, host name "
                       "and IP address, processor, memory, drives, network configuration, "
                       "printers and performance counters."));
    parser.addOption(options.help);
    parser.addOption(options.version);
    parser.addOption(options.computer);
    parser.addOption(options.computers);
    addReportOptions(parser);
    for (const char* name : kQtValueOptions) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : kQtFlagOptions) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

CommandLine readCommandLine(const QStringList& arguments) {
    const Options options;
    QCommandLineParser parser;
    makeParser(parser, options);
    if (!parser.parse(arguments))
        return ended(usageError(parser.errorText()));
    if (!parser.positionalArguments().isEmpty())
        return ended(usageError(
            QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first())));
    if (parser.isSet(options.help))
        return ended(print(helpText(parser)));
    if (parser.isSet(options.version))
        return ended(print(QStringLiteral("ombrix " OMBRIX_VERSION "\n")));
    // The report runs here, before any application object: it needs no display.
    if (asksForReport(parser))
        return ended(runReport(parser));
    if (parser.isSet(options.computers)) {
        CommandLine commandLine;
        try {
            commandLine.computerList = namedComputers(parser);
        } catch (const std::invalid_argument& e) {
            return ended(usageError(QString::fromStdString(e.what()) + u'.'));
        }
        return commandLine;
    }
    if (parser.values(options.computer).size() > 1)
        return ended(usageError(QStringLiteral("The windows show one computer at a time.")));
    CommandLine commandLine;
    commandLine.computer = namedComputer(parser, options);
    if (parser.isSet(options.computer) && commandLine.computer.isEmpty())
        return ended(
            usageError(QStringLiteral("--computer needs the name or address of a computer.")));
    const std::string why =
        platform::pcp::portProblem(platform::pcp::splitHost(commandLine.computer.toStdString()));
    if (!why.empty())
        return ended(usageError(QStringLiteral("--computer %1: %2.")
                                    .arg(commandLine.computer, QString::fromStdString(why))));
    return commandLine;
}

QString namedComputer(const QCommandLineParser& parser, const Options& options) {
    return platform::computerAddress(parser.value(options.computer));
}

QStringList argumentsOf(int argc, char** argv) {
    QStringList arguments;
    arguments.reserve(argc);
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

} // namespace ombrix::program
