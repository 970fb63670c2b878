#pragma once

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

} // namespace ombrix
