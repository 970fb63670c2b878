#pragma once
#include <QByteArray>
#include <QString>

#include <vector>

namespace ombrix {

struct ComputerReport;
struct Report;

// The report as one JSON object (UTF-8, indented, ending in a line break).
// Texts from the machine were decoded as UTF-8 with each invalid sequence
// turned into U+FFFD; a lone surrogate left in a text becomes U+FFFD here,
// so the output is always valid JSON in valid UTF-8.
QByteArray ReportJson(const Report& report);
// The same object on one line, ending in a line break (JSON Lines).
QByteArray ReportJsonLine(const Report& report);

// The report as text (UTF-8): a heading per section, then its lines as the
// windows' Copy gives them: a line never breaks inside a value, each value
// written as VisibleText writes it.
QByteArray ReportText(const Report& report);

// Other computers' reports as one JSON object: "computers", a list in the
// order given of each one's sections as ReportJson writes them, its name
// ("computer"), its facts its collector does not carry ("unavailable",
// null where they stand) and "errors" (its failed sections, and
// "connection" when it could not be reached).
QByteArray ComputersReportJson(const std::vector<ComputerReport>& computers);
// The same from each computer's entry (ComputerReportJsonEntry), which the
// workers that read the computers write as they go, and the list keeps
// instead of the reports: the document QJsonDocument writes of them.
QByteArray ComputersReportJson(const std::vector<QByteArray>& entries);
QByteArray ComputerReportJsonEntry(const ComputerReport& computer);

// One computer's entry of ComputersReportJson on one line, ending in a line
// break: a stream of them is JSON Lines.
QByteArray ComputerReportJsonLine(const ComputerReport& computer);

// Other computers' reports as text: a heading per computer, then its report
// as ReportText writes it, the facts its collector does not carry and why it
// could not be reached.
QByteArray ComputersReportText(const std::vector<ComputerReport>& computers);

} // namespace ombrix
