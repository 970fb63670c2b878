#pragma once
#include <QString>
#include <QStringList>

#include <vector>

namespace ombrix {

// Whether a character is one of the bidirectional controls that reorder the
// characters after it: the embeddings and overrides U+202A to U+202E and the
// isolates U+2066 to U+2069.
bool IsBidiControl(char16_t c);

// A text as every window draws it and the JSON report writes it: each
// bidirectional control written as \uXXXX, so that a name from the machine
// or a collector reads in the order of its characters ("ab\u202ecd.exe",
// never "abexe.dc"). Every other character stays as it is.
QString ShownText(const QString& text);

// How the report and every window's Copy write a value, so that a line
// never breaks inside it and every text reads back one way: a backslash
// becomes \\, a line break \n, a carriage return \r, a tab \t, any other
// control character \xHH, the line and paragraph separators and the
// bidirectional controls \uXXXX (as ShownText writes them); a lone
// surrogate U+FFFD.
QString VisibleText(const QString& text);
// Each line written as VisibleText writes it.
QStringList VisibleLines(const QStringList& lines);

// A table as the report and the windows' Copy write it: the column titles,
// then one line per row, columns separated by tabs and each cell written as
// VisibleText writes it (a tab or a line break in a cell stays inside it);
// nothing for no rows.
QStringList TableLines(const QStringList& titles, const std::vector<QStringList>& rows);

// A text with every lone surrogate replaced by U+FFFD.
QString WellFormedText(const QString& text);

} // namespace ombrix
