#pragma once
#include <QString>
#include <QStringList>

namespace ombrix {

// How the report and every window's Copy write a value, so that a line
// never breaks inside it and every text reads back one way: a backslash
// becomes \\, a line break \n, a carriage return \r, a tab \t, any other
// control character \xHH, the line and paragraph separators \u2028 and
// \u2029; a lone surrogate U+FFFD.
QString VisibleText(const QString& text);
// Each line written as VisibleText writes it.
QStringList VisibleLines(const QStringList& lines);

// A text with every lone surrogate replaced by U+FFFD.
QString WellFormedText(const QString& text);

} // namespace ombrix
