#pragma once
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace ombrix {

// What another computer's services cannot give, by the report's keys, asked
// afresh each time a window shows its facts; empty for this computer.
using NotCarriedSource = std::function<QStringList()>;

// The line under the facts of another computer's window that names, in
// words, the facts of its section ("summary", "network", "drives",
// "printers") that cannot be known from here: those its collector does not
// carry, or a print scheduler that cannot be reached. notCarried: by the
// report's keys ("summary.fdd_present"), as the machine names them. Empty
// when the section lacks none.
QString NotCarriedLine(const QStringList& notCarried, const QString& section);

// Shows line in area below its facts, from left and top (in area's
// coordinates), width wide (where area has a layout: last but one in it,
// above its buttons): a label named
// "notCarried" whose accessible name is its text. Area grows by the line
// while it shows, and a window that shows none stays as it is.
void ShowNotCarriedLine(QWidget& area, int left, int top, int width, const QString& line);

} // namespace ombrix
