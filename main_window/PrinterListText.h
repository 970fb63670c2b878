#pragma once
#include <QString>
#include <QStringList>

#include <vector>

namespace ombrix {
namespace platform {
struct PrintDestination;
struct PrinterList;
enum class PrinterState;
} // namespace platform

// The texts of the printers window's list, for the window and for reports.

QString PrinterStateText(platform::PrinterState state);
// Name, Default, State, Location, Make and model.
QStringList PrinterColumnTitles();
QStringList PrinterRowTexts(const platform::PrintDestination& destination);
// The line under the list: a service that could not be read, no service, no
// printers, or how many.
QString PrinterListMessage(const platform::PrinterList& list);
// The column titles, then one line per row, columns separated by tabs and
// each cell written as VisibleText writes it (a tab or a line break in a
// location stays inside its cell); nothing for no rows.
QStringList PrinterTableLines(const std::vector<QStringList>& rows);

} // namespace ombrix
