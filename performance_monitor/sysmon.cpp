#include "performance_monitor/sysmon.h"

#include "app/AppTitle.h"
#include "app/Forms.h"
#include "app/Handler.h"
#include "app/Twips.h"
#include "performance_monitor/SystemMonitor.h"
#include "platform/MessageBoxes.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace ombrix {

sysmon::sysmon(platform::CounterSources& counters, platform::RemoteComputers& remote,
               platform::MessageBoxes& boxes, Forms& forms, QWidget* parent)
    : QMainWindow(parent), m_boxes(boxes), m_forms(forms) {
    setObjectName(QStringLiteral("sysmon"));
    setWindowTitle(tr("System Monitor"));

    File = menuBar()->addMenu(tr("File"));
    File->setObjectName(QStringLiteral("File"));
    Properties = File->addAction(tr("Properties"));
    Properties->setObjectName(QStringLiteral("Properties"));
    System = File->addAction(tr("Ombrix"));
    System->setObjectName(QStringLiteral("System"));
    connect(Properties, &QAction::triggered, this,
            [this] { handle([this] { Properties_Click(); }); });
    connect(System, &QAction::triggered, this, [this] { handle([this] { System_Click(); }); });

    // The control keeps its place and size when the window is resized.
    auto* client = new QWidget(this);
    setCentralWidget(client);
    SystemMonitor1 = new SystemMonitor(counters, remote, client);
    SystemMonitor1->setObjectName(QStringLiteral("SystemMonitor1"));
    SystemMonitor1->setGeometry(twipsRect(0, 120, 10215, 7575));

    resize(twips(10305), twips(7800) + menuBar()->sizeHint().height());
}

sysmon::~sysmon() = default;

void sysmon::Form_Load() {
    m_boxes.show(appTitle(),
                 tr("Click on the data tab, then the add button on the next screen & then add the "
                    "information you want to be shown"),
                 platform::MessageBoxes::Icon::None);
    platform::Dispatch& control = *SystemMonitor1;
    control.put(SystemMonitor::ReadOnly, false);
    control.call(SystemMonitor::ShowPropertyPages);
}

void sysmon::enableProperties() {
    Properties->setEnabled(true);
}

void sysmon::Properties_Click() {
    platform::Dispatch& control = *SystemMonitor1;
    control.call(SystemMonitor::ShowPropertyPages);
}

void sysmon::System_Click() {
    hide();
    m_forms.showMain();
}

} // namespace ombrix
