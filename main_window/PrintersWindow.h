#pragma once
#include "app/NotCarriedLine.h"

#include <QStringList>
#include <QWidget>

namespace ombrix::platform {
class Printers;
struct PrinterList;
} // namespace ombrix::platform
class QLabel;
class QPushButton;
class QTreeWidget;

namespace ombrix {

// The system's printers, as the printer-install control shows them: every
// print destination with its default mark, state, location, make and model.
class PrintersWindow : public QWidget {
    Q_OBJECT
public:
    // notCarried: another computer's facts that cannot be known (its print
    // service when it cannot be reached from here), named in a line of
    // their own under the list's.
    explicit PrintersWindow(const platform::Printers& printers, NotCarriedSource notCarried = {},
                            QWidget* parent = nullptr);

    // Asks the print service again and shows what it reports when it
    // answers. The question runs off the user-interface thread, one at a
    // time: asked again meanwhile, the window asks once more when the first
    // answer comes, and shows only the later one.
    void refresh();

    // The window's text as Copy gives it and the report writes it: the
    // column titles and one line per printer (no lines for no printers),
    // then the line under the list.
    QStringList shownLines() const;

signals:
    void listShown();

private:
    void showList(const platform::PrinterList& list);

    const platform::Printers& m_printers;
    NotCarriedSource m_notCarried;
    QTreeWidget* treePrinters = nullptr;
    QLabel* lblMessage = nullptr;
    QPushButton* cmdRefresh = nullptr;
    QPushButton* cmdClose = nullptr;
    bool m_asking = false;
    bool m_askAgain = false;
};

} // namespace ombrix
