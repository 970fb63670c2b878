#pragma once
#include <QByteArray>
#include <QString>

namespace ombrix {

struct Report;

// The report as text (UTF-8): a heading per section, then its lines as the
// windows show them. A line never breaks inside a value: control characters
// in a value are written as \n, \r, \t or \xHH; a lone surrogate as U+FFFD.
QByteArray ReportText(const Report& report);

// A value's text with its control characters written visibly.
QString VisibleText(const QString& text);

} // namespace ombrix
