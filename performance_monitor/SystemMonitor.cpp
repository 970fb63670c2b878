#include "performance_monitor/SystemMonitor.h"

#include "app/Handler.h"
#include "performance_monitor/PaddedRowDelegate.h"
#include "performance_monitor/SystemMonitorProperties.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QSysInfo>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace ombrix {

class ChartView : public QWidget {
public:
    explicit ChartView(SystemMonitor& monitor, QWidget* parent)
        : QWidget(parent), m_monitor(monitor) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMinimumHeight(80);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        paintChart(painter, rect(), m_monitor.chartLines(), m_monitor.settings().graph);
    }

private:
    SystemMonitor& m_monitor;
};

namespace {

QLabel* valueLabel(const QString& name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setFrameShape(QFrame::StyledPanel);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setMinimumWidth(90);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString formatValue(double value) {
    return QLocale().toString(value, 'f', std::abs(value) >= 1e6 ? 0 : 3);
}

QString formatDuration(int seconds) {
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QIcon swatch(const QColor& colour) {
    QPixmap pixmap(24, 4);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

enum LegendColumn {
    ColourColumn,
    ScaleColumn,
    CounterColumn,
    InstanceColumn,
    ObjectColumn,
    ComputerColumn
};

} // namespace

SystemMonitor::SystemMonitor(platform::CounterSources& sources, platform::RemoteComputers& remote,
                             QWidget* parent)
    : QWidget(parent), m_sources(sources), m_links(remote) {
    m_chart = new ChartView(*this, this);
    m_chart->setObjectName(QStringLiteral("chart"));
    m_chart->setAccessibleName(tr("Chart"));

    m_valueBar = new QWidget(this);
    m_valueBar->setObjectName(QStringLiteral("valueBar"));
    auto* bar = new QGridLayout(m_valueBar);
    bar->setContentsMargins(4, 2, 4, 2);
    m_last = valueLabel(QStringLiteral("lastValue"), m_valueBar);
    m_average = valueLabel(QStringLiteral("averageValue"), m_valueBar);
    m_minimum = valueLabel(QStringLiteral("minimumValue"), m_valueBar);
    m_maximum = valueLabel(QStringLiteral("maximumValue"), m_valueBar);
    m_duration = valueLabel(QStringLiteral("durationValue"), m_valueBar);
    const std::pair<QString, QLabel*> cells[] = {{tr("Last"), m_last},
                                                 {tr("Average"), m_average},
                                                 {tr("Minimum"), m_minimum},
                                                 {tr("Maximum"), m_maximum},
                                                 {tr("Duration"), m_duration}};
    int column = 0;
    for (const auto& [caption, value] : cells) {
        auto* name = new QLabel(caption, m_valueBar);
        name->setBuddy(value);
        bar->addWidget(name, column < 3 ? 0 : 1, (column % 3) * 2);
        bar->addWidget(value, column < 3 ? 0 : 1, (column % 3) * 2 + 1);
        ++column;
    }

    m_legend = new QTreeWidget(this);
    m_legend->setObjectName(QStringLiteral("legend"));
    m_legend->setItemDelegate(new PaddedRowDelegate(m_legend));
    m_legend->setAccessibleName(tr("Legend"));
    m_legend->setRootIsDecorated(false);
    m_legend->setHeaderLabels(
        {tr("Color"), tr("Scale"), tr("Counter"), tr("Instance"), tr("Object"), tr("Computer")});
    m_legend->setMaximumHeight(140);
    m_legend->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(m_legend, &QTreeWidget::currentItemChanged, this, [this] {
        updateValueBar();
        m_chart->update();
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_chart, 1);
    layout->addWidget(m_valueBar);
    layout->addWidget(m_legend);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("sampleTimer"));
    m_timer->setInterval(m_settings.sampleIntervalSeconds * 1000);
    connect(m_timer, &QTimer::timeout, this, [this] { handle([this] { sampleNow(); }); });
    m_timer->start();
    updateValueBar();
}

SystemMonitor::~SystemMonitor() = default;

QVariant SystemMonitor::get(int dispid) {
    if (dispid == ReadOnly)
        return m_readOnly;
    return Dispatch::get(dispid);
}

void SystemMonitor::put(int dispid, const QVariant& value) {
    if (dispid != ReadOnly)
        return Dispatch::put(dispid, value);
    if (!value.canConvert<bool>())
        throw platform::PlatformError("Type mismatch (dispatch id 40 takes a truth value)");
    m_readOnly = value.toBool();
}

QVariant SystemMonitor::call(int dispid, const QVariantList& args) {
    if (dispid != ShowPropertyPages)
        return Dispatch::call(dispid, args);
    showPropertyPages();
    return {};
}

SystemMonitorProperties* SystemMonitor::propertiesDialog() const {
    return m_dialog;
}

void SystemMonitor::hideEvent(QHideEvent* event) {
    // A hidden window takes its open dialog along; minimising does not.
    if (!event->spontaneous() && m_dialog)
        m_dialog->close();
    QWidget::hideEvent(event);
}

void SystemMonitor::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A dialog opened while the window was still being loaded stays in front
    // of it once the window appears, with or without a window manager.
    if (m_dialog && m_dialog->isVisible())
        QTimer::singleShot(0, m_dialog.data(), [dialog = m_dialog] {
            if (dialog)
                dialog->raise();
        });
}

bool SystemMonitor::showPropertyPages() {
    if (m_readOnly)
        return false;
    if (!m_dialog) {
        m_dialog = new SystemMonitorProperties(m_settings, m_sources, m_links, this);
        m_dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_dialog, &SystemMonitorProperties::applied, this,
                [this](const MonitorSettings& settings) { applySettings(settings); });
    }
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
    return true;
}

void SystemMonitor::applySettings(const MonitorSettings& settings) {
    std::vector<Series> series;
    series.reserve(settings.counters.size());
    // Every computer offers our catalogue, or part of it: the kinds and
    // factors are this computer's.
    const auto& objects = m_sources.local().objects();
    for (const auto& counter : settings.counters) {
        auto kept = std::find_if(m_series.begin(), m_series.end(),
                                 [&](const Series& s) { return s.counter.path == counter.path; });
        if (kept != m_series.end() &&
            kept->history.capacity() == static_cast<std::size_t>(settings.graph.points)) {
            series.push_back(std::move(*kept));
            m_series.erase(kept);
            series.back().counter = counter;
        } else {
            series.push_back(Series{counter, platform::findCounter(objects, counter.path),
                                    CounterHistory(static_cast<std::size_t>(settings.graph.points)),
                                    std::nullopt, 0});
        }
    }
    m_series = std::move(series);
    std::map<QString, Computer> computers;
    for (std::size_t i = 0; i < m_series.size(); ++i) {
        const platform::CounterPath& path = m_series[i].counter.path;
        // A sample asked for before is answered for the old paths, under its
        // old ticket: it is dropped when it comes.
        Computer& computer = computers[path.computer];
        if (!computer.link) {
            computer.link = m_links.link(path.computer);
            computer.link->watch(this, [this] { rebuildLegend(); });
        }
        computer.paths.push_back(path);
        computer.series.push_back(i);
    }
    m_computers = std::move(computers);
    m_settings = settings;
    m_timer->setInterval(std::max(1, m_settings.sampleIntervalSeconds) * 1000);
    m_valueBar->setVisible(m_settings.showValueBar);
    m_legend->setVisible(m_settings.showLegend);
    rebuildLegend();
    // Read the new counters at once, so gauges show now and rates have their first reading.
    sampleNow();
}

std::vector<ChartLine> SystemMonitor::chartLines() const {
    std::vector<ChartLine> lines;
    lines.reserve(m_series.size());
    const int selected = selectedIndex();
    for (std::size_t i = 0; i < m_series.size(); ++i)
        lines.push_back({&m_series[i].history, m_series[i].counter.colour,
                         m_series[i].counter.scale, static_cast<int>(i) == selected});
    return lines;
}

void SystemMonitor::sampleNow() {
    if (m_series.empty())
        return;
    for (auto& [name, computer] : m_computers) {
        if (computer.ticket == 0) {
            ask(name, computer);
            continue;
        }
        // Still no answer to the last request: a gap, and no second request behind it.
        platform::RawSample silent;
        silent.values.assign(computer.paths.size(), std::nullopt);
        push(computer.series, silent);
    }
    updateValueBar();
    m_chart->update();
}

void SystemMonitor::push(const std::vector<std::size_t>& series,
                         const platform::RawSample& sample) {
    for (std::size_t k = 0; k < series.size(); ++k) {
        Series& s = m_series[series[k]];
        const std::optional<platform::RawValue> raw =
            k < sample.values.size() ? sample.values[k] : std::nullopt;
        s.history.push(
            s.info ? platform::counterValue(*s.info, s.raw, s.rawSeconds, raw, sample.seconds)
                   : std::nullopt);
        s.raw = raw;
        s.rawSeconds = sample.seconds;
    }
}

// The ticket is set before the question goes: a link may answer before
// ask() returns (this computer's does).
void SystemMonitor::ask(const QString& name, Computer& computer) {
    computer.ticket = ++m_lastTicket;
    computer.link->ask<platform::RawSample>(
        this,
        [paths = computer.paths](platform::PerfCounters& counters) {
            return counters.sample(paths);
        },
        [this, name, ticket = computer.ticket,
         paths = computer.paths](platform::LinkAnswer<platform::RawSample> sample) {
            sampled(name, {ticket, paths, std::move(sample)});
        });
}

void SystemMonitor::sampled(const QString& name, Answer answer) {
    auto it = m_computers.find(name);
    // An answer to a request made before the counters changed, or for other
    // paths, has no series here.
    if (it == m_computers.end() || it->second.ticket != answer.ticket ||
        it->second.paths != answer.paths)
        return;
    Computer& computer = it->second;
    computer.ticket = 0;
    platform::RawSample sample;
    if (answer.sample.value)
        sample = std::move(*answer.sample.value);
    else
        sample.values.assign(computer.paths.size(), std::nullopt); // a gap
    push(computer.series, sample);
    if (computer.failure != answer.sample.failure) {
        computer.failure = answer.sample.failure;
        rebuildLegend();
    }
    updateValueBar();
    m_chart->update();
}

int SystemMonitor::selectedIndex() const {
    const QTreeWidgetItem* item = m_legend->currentItem();
    return item ? m_legend->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item)) : -1;
}

void SystemMonitor::rebuildLegend() {
    const int previous = selectedIndex();
    QSignalBlocker block(m_legend);
    m_legend->clear();
    for (const auto& s : m_series) {
        auto* item = new QTreeWidgetItem(m_legend);
        item->setIcon(ColourColumn, swatch(s.counter.colour));
        item->setData(ColourColumn, Qt::AccessibleTextRole, s.counter.colour.name());
        item->setText(ScaleColumn, QString::number(s.counter.scale, 'g', 7));
        const platform::ObjectInfo* object =
            platform::findObject(m_sources.local().objects(), s.counter.path.object);
        item->setText(CounterColumn, s.info ? s.info->name : s.counter.path.counter);
        item->setText(InstanceColumn, s.counter.path.instance.isEmpty() ? QStringLiteral("---")
                                                                        : s.counter.path.instance);
        item->setText(ObjectColumn, object ? object->name : s.counter.path.object);
        // This computer goes by its host name.
        const QString& name = s.counter.path.computer;
        const QString computerText =
            QStringLiteral("\\\\") + (name.isEmpty() ? QSysInfo::machineHostName() : name);
        auto computer = m_computers.find(name);
        if (computer == m_computers.end() ||
            (computer->second.link->answering() && computer->second.failure.isEmpty())) {
            item->setText(ComputerColumn, computerText);
        } else {
            const QString trouble = computer->second.link->answering()
                                        ? tr(" (failed: %1)").arg(computer->second.failure)
                                        : tr(" (not answering)");
            item->setText(ComputerColumn, computerText + trouble);
            for (int column = 0; column < m_legend->columnCount(); ++column)
                item->setForeground(column, palette().brush(QPalette::Disabled, QPalette::Text));
        }
    }
    if (m_legend->topLevelItemCount() > 0)
        m_legend->setCurrentItem(
            m_legend->topLevelItem(std::clamp(previous, 0, m_legend->topLevelItemCount() - 1)));
    updateValueBar();
    m_chart->update();
}

void SystemMonitor::updateValueBar() {
    m_duration->setText(formatDuration(m_settings.sampleIntervalSeconds * m_settings.graph.points));
    const int selected = selectedIndex();
    if (selected < 0 || selected >= static_cast<int>(m_series.size())) {
        for (QLabel* label : {m_last, m_average, m_minimum, m_maximum})
            label->clear();
        return;
    }
    const CounterHistory& history = m_series[static_cast<std::size_t>(selected)].history;
    const auto last = history.last();
    m_last->setText(last ? formatValue(*last) : QString());
    const auto stats = history.statistics();
    m_average->setText(stats ? formatValue(stats->average) : QString());
    m_minimum->setText(stats ? formatValue(stats->minimum) : QString());
    m_maximum->setText(stats ? formatValue(stats->maximum) : QString());
}

} // namespace ombrix
