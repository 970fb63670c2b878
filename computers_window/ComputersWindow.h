#pragma once
#include "computers_window/ComputerTable.h"

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace ombrix {
namespace platform {
class Registry;
}

// The Computers window: the computers of a list side by side, a row each
// with the main window's facts and whether it answers, read again as the
// main window of another computer is. Sorts by any column, filters on any,
// copies the rows shown as the report writes a table, opens a computer's
// main window on a double click, and keeps the list, as changed by Add and
// Remove, as the one last used.
class ComputersWindow final : public QWidget {
    Q_OBJECT
public:
    struct Services {
        ComputerTableModel::Services table;
        platform::Registry& store; // this computer's, where the list last used is kept
        // Opens that computer's main window without waiting for it, then
        // calls done(): why it could not, empty when it opened.
        std::function<void(const QString& computer, std::function<void(const QString& why)> done)>
            openComputer;
        // The name of a computer to add, as the user types it; none when
        // the user cancels.
        std::function<std::optional<QString>(QWidget* parent)> askName = nullptr;
    };

    explicit ComputersWindow(Services services, QWidget* parent = nullptr);
    ~ComputersWindow() override;

    // Shows the list last stored.
    void Form_Load();
    // Shows names and stores them as the list last used.
    void showComputers(const QStringList& names);

    // The rows shown, in the order shown, as Copy writes them.
    QStringList shownLines() const;
    ComputerTableModel& table() { return *m_model; }

private:
    void addClicked();
    void removeClicked();
    void opened(const QModelIndex& index);
    void say(const QString& text);

    Services m_services;
    ComputerTableModel* m_model;
    QSortFilterProxyModel* m_shown;
    QLineEdit* m_filter;
    QTableView* m_view;
    QLabel* m_status;
};

} // namespace ombrix
