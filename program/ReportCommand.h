#pragma once

#include "platform/ComputerFacts.h"
#include "report/ComputerReport.h"

#include <QStringList>

class QCommandLineParser;

namespace ombrix {

// --report, --format text|json and --section NAME (repeatable).
void addReportOptions(QCommandLineParser& parser);

// Whether the command line asks for a report (or gives a report option).
bool asksForReport(const QCommandLineParser& parser);

// Prints the report the parsed options ask for, with no display and no
// window. Returns the exit status: 0 the report is complete, 1 a section (or
// writing it) failed, 2 bad usage (one line on stderr).
int runReport(const QCommandLineParser& parser);

// The computers --computer and --computers name, in the order given; throws
// std::invalid_argument with the usage error of a list that cannot be read.
QStringList namedComputers(const QCommandLineParser& parser);

// Another computer's report from its facts, read for the sections asked:
// the same sources as this computer's, over what its collector told.
ComputerReport ComputerReportOf(const QString& typed, const QString& computer,
                                platform::RemoteFacts facts,
                                const std::vector<ReportSection>& sections);

// The room this process has for computers asked at once: the soft limit of
// open files is raised to the hard one first, and the open files stay under
// select()'s reach (FD_SETSIZE), which libpcp waits on.
RoomForComputers roomForComputers();

} // namespace ombrix
