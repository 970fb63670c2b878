#include "main_window/PrinterListText.h"

#include "app/VisibleText.h"
#include "platform/Printers.h"

#include <QCoreApplication>

namespace ombrix {
namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("PrintersWindow", text);
}

} // namespace

QString PrinterStateText(platform::PrinterState state) {
    switch (state) {
    case platform::PrinterState::Idle:
        return tr("Idle");
    case platform::PrinterState::Processing:
        return tr("Processing");
    case platform::PrinterState::Stopped:
        return tr("Stopped");
    case platform::PrinterState::Unknown:
        break;
    }
    return tr("Unknown");
}

QStringList PrinterColumnTitles() {
    return {tr("Name"), tr("Default"), tr("State"), tr("Location"), tr("Make and model")};
}

QStringList PrinterRowTexts(const platform::PrintDestination& destination) {
    return {destination.name, destination.isDefault ? tr("Default") : QString(),
            PrinterStateText(destination.state), destination.location, destination.makeAndModel};
}

QString PrinterListMessage(const platform::PrinterList& list) {
    if (!list.unreadWhy.isEmpty())
        return tr("The print service could not be read (%1), so no printers are listed.")
            .arg(list.unreadWhy);
    if (!list.serviceReachable)
        return tr("No print service could be reached, so no printers are listed.");
    if (list.destinations.empty())
        return tr("The print service reports no printers.");
    if (list.destinations.size() == 1)
        return tr("1 printer found.");
    return tr("%1 printers found.").arg(list.destinations.size());
}

QStringList PrinterTableLines(const std::vector<QStringList>& rows) {
    return TableLines(PrinterColumnTitles(), rows);
}

} // namespace ombrix
