#pragma once
#include "performance_monitor/MonitorSettings.h"
#include "platform/CounterSources.h"
#include "platform/RemoteComputers.h"

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QCloseEvent;
class QComboBox;
class QDoubleSpinBox;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace ombrix {

class CounterBrowser;

// The control's properties: a General tab (sampling, what to show), a Data tab
// (the charted counters with their colour and scale) and a Graph tab (vertical
// scale and grid). Edits a copy of the settings; "Apply" and "OK" report it.
class SystemMonitorProperties : public QDialog {
    Q_OBJECT
public:
    SystemMonitorProperties(const MonitorSettings& settings, platform::CounterSources& sources,
                            platform::RemoteComputers& remote, QWidget* parent = nullptr);

    const MonitorSettings& pendingSettings() const { return m_settings; }
    CounterBrowser* counterBrowser() const;

signals:
    void applied(const ombrix::MonitorSettings& settings);

public:
    // Escape and the close box end the dialog like its own buttons do.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* buildGeneralTab();
    QWidget* buildDataTab();
    QWidget* buildGraphTab();
    void addCounters(const std::vector<platform::CounterPath>& paths);
    void removeCounter();
    void refreshCounterList(int select);
    void counterSelected();
    void openBrowser();
    void apply();

    platform::CounterSources& m_sources;
    platform::RemoteComputers& m_remote;
    MonitorSettings m_settings;
    std::size_t m_coloursUsed = 0;
    QPointer<CounterBrowser> m_browser;
    QTabWidget* m_tabs = nullptr;
    QSpinBox* m_interval = nullptr;
    QCheckBox* m_showLegend = nullptr;
    QCheckBox* m_showValueBar = nullptr;
    QListWidget* m_counterList = nullptr;
    QPushButton* m_remove = nullptr;
    QComboBox* m_colour = nullptr;
    QComboBox* m_scale = nullptr;
    QDoubleSpinBox* m_maximum = nullptr;
    QDoubleSpinBox* m_minimum = nullptr;
    QCheckBox* m_horizontalGrid = nullptr;
    QCheckBox* m_verticalGrid = nullptr;
};

} // namespace ombrix
