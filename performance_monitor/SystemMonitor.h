#pragma once
#include "performance_monitor/ChartPainter.h"
#include "performance_monitor/CounterHistory.h"
#include "performance_monitor/MonitorSettings.h"
#include "platform/CounterSources.h"
#include "platform/Dispatch.h"
#include "platform/RemoteComputers.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QTimer;
class QTreeWidget;

namespace ombrix {

class ChartView;
class SystemMonitorProperties;

// The System Monitor control: charts the counters the user chose as lines
// over time, with a legend, a value bar and a vertical scale, and offers a
// properties dialog to choose them. Hosts reach it by dispatch identifier.
class SystemMonitor : public QWidget, public platform::Dispatch {
    Q_OBJECT
public:
    // ReadOnly (property): while true the user cannot open the properties
    // dialog to change the counters. ShowPropertyPages (method): opens it.
    enum DispId { ShowPropertyPages = 23, ReadOnly = 40 };

    SystemMonitor(platform::CounterSources& sources, platform::RemoteComputers& remote,
                  QWidget* parent = nullptr);
    ~SystemMonitor() override;

    QVariant get(int dispid) override;
    void put(int dispid, const QVariant& value) override;
    QVariant call(int dispid, const QVariantList& args = {}) override;

    // Opens the properties dialog, or brings the open one forward. False while read-only.
    bool showPropertyPages();
    SystemMonitorProperties* propertiesDialog() const;

    const MonitorSettings& settings() const { return m_settings; }
    // Keeps the history of counters that stay; new counters start with an empty line.
    void applySettings(const MonitorSettings& settings);
    std::vector<ChartLine> chartLines() const;

    // One sampling step, as the timer runs it: every computer's counters are
    // asked for over its link and charted as they answer (this computer's at
    // once).
    void sampleNow();

protected:
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct Series {
        ChartCounter counter;
        const platform::CounterInfo* info = nullptr;
        CounterHistory history;
        std::optional<platform::RawValue> raw;
        double rawSeconds = 0;
    };
    // The series of one computer, sampled together over its link.
    struct Computer {
        std::shared_ptr<platform::ComputerLink> link; // held while a series charts it
        std::vector<platform::CounterPath> paths;
        std::vector<std::size_t> series; // where each path's values go
        std::uint64_t ticket = 0;        // of the sample asked for and not yet back; 0: none
        QString failure;                 // why the last sample brought nothing
    };
    // A sample of a computer as it comes back: the answer to the request
    // with that ticket, read for those paths.
    struct Answer {
        std::uint64_t ticket = 0;
        std::vector<platform::CounterPath> paths;
        platform::LinkAnswer<platform::RawSample> sample;
    };
    void push(const std::vector<std::size_t>& series, const platform::RawSample& sample);
    void ask(const QString& computer, Computer& asked);
    void sampled(const QString& computer, Answer answer);
    void rebuildLegend();
    void updateValueBar();
    int selectedIndex() const;

    platform::CounterSources& m_sources;
    platform::RemoteComputers& m_links;
    MonitorSettings m_settings;
    std::vector<Series> m_series;
    std::map<QString, Computer> m_computers; // by name; empty: this one
    std::uint64_t m_lastTicket = 0;
    bool m_readOnly = false;
    QTimer* m_timer = nullptr;
    QPointer<SystemMonitorProperties> m_dialog;
    ChartView* m_chart = nullptr;
    QWidget* m_valueBar = nullptr;
    QLabel* m_last = nullptr;
    QLabel* m_average = nullptr;
    QLabel* m_minimum = nullptr;
    QLabel* m_maximum = nullptr;
    QLabel* m_duration = nullptr;
    QTreeWidget* m_legend = nullptr;
};

} // namespace ombrix
