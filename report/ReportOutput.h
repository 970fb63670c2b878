#pragma once
#include <QByteArray>
#include <QString>

namespace ombrix {

struct Report;

// The report as one JSON object (UTF-8, indented, ending in a line break).
// Texts from the machine were decoded as UTF-8 with each invalid sequence
// turned into U+FFFD; a lone surrogate left in a text becomes U+FFFD here,
// so the output is always valid JSON in valid UTF-8.
QByteArray ReportJson(const Report& report);

// The report as text (UTF-8): a heading per section, then its lines as the
// windows' Copy gives them: a line never breaks inside a value, each value
// written as VisibleText writes it.
QByteArray ReportText(const Report& report);

} // namespace ombrix
