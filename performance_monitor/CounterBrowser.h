#pragma once
#include "platform/RemoteComputers.h"

#include <QDialog>

#include <memory>
#include <vector>

class QCloseEvent;
class QComboBox;
class QLabel;
class QListWidget;
class QRadioButton;
class QTimer;

namespace ombrix {

class FitLabel;

// Lets the user pick counters: the computer, a performance object, its
// counters and its instances, with the explanation of the counter in focus.
// "Add" hands the choice over and leaves the browser open for more.
class CounterBrowser : public QDialog {
    Q_OBJECT
public:
    // Lists every computer's counters over its link, this computer's too.
    explicit CounterBrowser(platform::RemoteComputers& computers, QWidget* parent = nullptr);

    // The paths the current choice names.
    std::vector<platform::CounterPath> chosenPaths() const;

signals:
    void countersChosen(const std::vector<ombrix::platform::CounterPath>& paths);

public:
    // Escape and the close box end the dialog like its own buttons do.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Enter in the computer field connects; it does not press "Add".
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const platform::ObjectInfo* currentObject() const;
    void fillObjects();
    void objectChanged();
    // Lists at most kMaxInstances of the object's count instances, and says so
    // in the status line when there are more.
    void showInstances(const QString& object, QStringList instances, qsizetype count);
    void showExplanation();
    void showStatus();
    void useLocal();
    void connectTo(const QString& typed);
    void reach(const QString& computer);
    void reached(std::shared_ptr<platform::ComputerLink> link,
                 std::vector<platform::ObjectInfo> objects);
    // The computer named cannot be shown: the lists are emptied, and the
    // status line says why.
    void showNone(const QString& why);
    void showVerdict(const platform::ComputerLink& link);

    platform::RemoteComputers& m_computers;
    std::vector<platform::ObjectInfo> m_objects;        // of the computer the lists show
    QString m_computer;                                 // that computer; empty: this one
    std::shared_ptr<platform::ComputerLink> m_link;     // to that computer, while the lists show it
    QString m_connection;                               // what became of the last one named
    QString m_instancesLeftOut;                         // that the list holds only the first
    bool m_settled = true;                              // the lists show the last one named
    std::shared_ptr<platform::ComputerLink> m_reaching; // to the one named and not yet reached
    QRadioButton* m_local = nullptr;
    QRadioButton* m_remote = nullptr;
    QComboBox* m_computerName = nullptr;
    FitLabel* m_computerStatus = nullptr;
    QTimer* m_typing = nullptr;
    QComboBox* m_object = nullptr;
    QRadioButton* m_allCounters = nullptr;
    QListWidget* m_counterList = nullptr;
    QRadioButton* m_allInstances = nullptr;
    QRadioButton* m_selectInstances = nullptr;
    QListWidget* m_instanceList = nullptr;
    QLabel* m_explain = nullptr;
};

} // namespace ombrix
