#pragma once
#include <QMainWindow>

class QAction;
class QMenu;

namespace ombrix {

class Forms;
class SystemMonitor;
namespace platform {
class MessageBoxes;
class CounterSources;
class RemoteComputers;
} // namespace platform

// The performance monitor window: hosts one System Monitor control, tells the
// user once how to add counters and opens the control's properties dialog.
class sysmon : public QMainWindow {
    Q_OBJECT
public:
    sysmon(platform::CounterSources& counters, platform::RemoteComputers& remote,
           platform::MessageBoxes& boxes, Forms& forms, QWidget* parent = nullptr);
    ~sysmon() override;

    void Form_Load();
    // The main window's "Execute" opens the monitor with its Properties entry
    // available.
    void enableProperties();

private:
    void Properties_Click();
    void System_Click();

    platform::MessageBoxes& m_boxes;
    Forms& m_forms;
    SystemMonitor* SystemMonitor1 = nullptr;
    QMenu* File = nullptr;
    QAction* Properties = nullptr;
    QAction* System = nullptr;
};

} // namespace ombrix
