#include "performance_monitor/SystemMonitorProperties.h"

#include "app/Handler.h"
#include "performance_monitor/CounterBrowser.h"
#include "performance_monitor/PaddedRowDelegate.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>

namespace ombrix {
namespace {

QIcon swatch(const QColor& colour) {
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

const char* const colourNames[] = {"Red",    "Green", "Blue",   "Orange", "Magenta", "Teal",
                                   "Maroon", "Black", "Purple", "Navy",   "Olive",   "Gray"};

int nearestScale(double scale) {
    const auto scales = counterScales();
    int best = 0;
    if (!(scale > 0))
        return 7; // 1
    for (int i = 0; i < static_cast<int>(scales.size()); ++i)
        if (std::abs(std::log10(scales[static_cast<std::size_t>(i)]) - std::log10(scale)) <
            std::abs(std::log10(scales[static_cast<std::size_t>(best)]) - std::log10(scale)))
            best = i;
    return best;
}

} // namespace

SystemMonitorProperties::SystemMonitorProperties(const MonitorSettings& settings,
                                                 platform::CounterSources& sources,
                                                 platform::RemoteComputers& remote, QWidget* parent)
    : QDialog(parent), m_sources(sources), m_remote(remote), m_settings(settings),
      m_coloursUsed(m_settings.counters.size()) {
    setWindowTitle(tr("System Monitor Properties"));
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("propertiesTabs"));
    m_tabs->addTab(buildGeneralTab(), tr("General"));
    m_tabs->addTab(buildDataTab(), tr("Data"));
    m_tabs->addTab(buildGraphTab(), tr("Graph"));

    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    buttons->button(QDialogButtonBox::Apply)->setObjectName(QStringLiteral("applyButton"));
    connect(buttons->button(QDialogButtonBox::Ok), &QPushButton::clicked, this, [this] {
        handle([this] {
            apply();
            close();
        });
    });
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
            [this] { handle([this] { apply(); }); });
    connect(buttons->button(QDialogButtonBox::Cancel), &QPushButton::clicked, this,
            &QDialog::close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
    refreshCounterList(0);
    resize(520, 440);
}

QWidget* SystemMonitorProperties::buildGeneralTab() {
    auto* tab = new QWidget;
    tab->setObjectName(QStringLiteral("generalTab"));
    m_interval = new QSpinBox(tab);
    m_interval->setObjectName(QStringLiteral("sampleInterval"));
    m_interval->setRange(1, 3600);
    m_interval->setSuffix(tr(" s"));
    m_interval->setValue(m_settings.sampleIntervalSeconds);
    m_showLegend = new QCheckBox(tr("&Legend"), tab);
    m_showLegend->setObjectName(QStringLiteral("showLegend"));
    m_showLegend->setChecked(m_settings.showLegend);
    m_showValueBar = new QCheckBox(tr("&Value bar"), tab);
    m_showValueBar->setObjectName(QStringLiteral("showValueBar"));
    m_showValueBar->setChecked(m_settings.showValueBar);
    auto* form = new QFormLayout(tab);
    form->addRow(tr("&Sample every:"), m_interval);
    form->addRow(m_showLegend);
    form->addRow(m_showValueBar);
    return tab;
}

QWidget* SystemMonitorProperties::buildDataTab() {
    auto* tab = new QWidget;
    tab->setObjectName(QStringLiteral("dataTab"));
    auto* countersLabel = new QLabel(tr("C&ounters:"), tab);
    m_counterList = new QListWidget(tab);
    m_counterList->setObjectName(QStringLiteral("dataCounters"));
    m_counterList->setItemDelegate(new PaddedRowDelegate(m_counterList));
    countersLabel->setBuddy(m_counterList);
    auto* add = new QPushButton(tr("&Add..."), tab);
    add->setObjectName(QStringLiteral("addCounterButton"));
    m_remove = new QPushButton(tr("&Remove"), tab);
    m_remove->setObjectName(QStringLiteral("removeCounterButton"));

    m_colour = new QComboBox(tab);
    m_colour->setObjectName(QStringLiteral("colorBox"));
    for (std::size_t i = 0; i < std::size(colourNames); ++i)
        m_colour->addItem(swatch(defaultCounterColour(i)), tr(colourNames[i]),
                          defaultCounterColour(i));
    m_scale = new QComboBox(tab);
    m_scale->setObjectName(QStringLiteral("scaleBox"));
    for (double scale : counterScales())
        m_scale->addItem(QString::number(scale, 'g', 7), scale);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(m_remove);
    buttons->addStretch();
    auto* form = new QFormLayout;
    form->addRow(tr("&Color:"), m_colour);
    form->addRow(tr("&Scale:"), m_scale);
    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(countersLabel);
    layout->addWidget(m_counterList, 1);
    layout->addLayout(buttons);
    layout->addLayout(form);

    connect(add, &QPushButton::clicked, this, [this] { handle([this] { openBrowser(); }); });
    connect(m_remove, &QPushButton::clicked, this, [this] { handle([this] { removeCounter(); }); });
    connect(m_counterList, &QListWidget::currentRowChanged, this, [this] { counterSelected(); });
    connect(m_colour, &QComboBox::activated, this, [this] {
        const int row = m_counterList->currentRow();
        if (row < 0)
            return;
        m_settings.counters[static_cast<std::size_t>(row)].colour =
            m_colour->currentData().value<QColor>();
        m_counterList->item(row)->setIcon(
            swatch(m_settings.counters[static_cast<std::size_t>(row)].colour));
    });
    connect(m_scale, &QComboBox::activated, this, [this] {
        const int row = m_counterList->currentRow();
        if (row >= 0)
            m_settings.counters[static_cast<std::size_t>(row)].scale =
                m_scale->currentData().toDouble();
    });
    return tab;
}

QWidget* SystemMonitorProperties::buildGraphTab() {
    auto* tab = new QWidget;
    tab->setObjectName(QStringLiteral("graphTab"));
    auto* scaleBox = new QGroupBox(tr("Vertical scale"), tab);
    m_maximum = new QDoubleSpinBox(scaleBox);
    m_maximum->setObjectName(QStringLiteral("verticalMaximum"));
    m_minimum = new QDoubleSpinBox(scaleBox);
    m_minimum->setObjectName(QStringLiteral("verticalMinimum"));
    for (QDoubleSpinBox* box : {m_maximum, m_minimum}) {
        box->setDecimals(0);
        box->setRange(-1e9, 1e9);
    }
    m_maximum->setValue(m_settings.graph.verticalMaximum);
    m_minimum->setValue(m_settings.graph.verticalMinimum);
    // The maximum stays above the minimum, so the scale always has a height.
    auto bound = [this] {
        m_minimum->setMaximum(m_maximum->value() - 1);
        m_maximum->setMinimum(m_minimum->value() + 1);
    };
    bound();
    connect(m_maximum, &QDoubleSpinBox::valueChanged, this, bound);
    connect(m_minimum, &QDoubleSpinBox::valueChanged, this, bound);
    auto* scaleForm = new QFormLayout(scaleBox);
    scaleForm->addRow(tr("Ma&ximum:"), m_maximum);
    scaleForm->addRow(tr("M&inimum:"), m_minimum);

    m_horizontalGrid = new QCheckBox(tr("&Horizontal grid"), tab);
    m_horizontalGrid->setObjectName(QStringLiteral("horizontalGrid"));
    m_horizontalGrid->setChecked(m_settings.graph.horizontalGrid);
    m_verticalGrid = new QCheckBox(tr("V&ertical grid"), tab);
    m_verticalGrid->setObjectName(QStringLiteral("verticalGrid"));
    m_verticalGrid->setChecked(m_settings.graph.verticalGrid);
    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(scaleBox);
    layout->addWidget(m_horizontalGrid);
    layout->addWidget(m_verticalGrid);
    layout->addStretch();
    return tab;
}

CounterBrowser* SystemMonitorProperties::counterBrowser() const {
    return m_browser;
}

void SystemMonitorProperties::openBrowser() {
    if (!m_browser) {
        m_browser = new CounterBrowser(m_remote, this);
        m_browser->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_browser, &CounterBrowser::countersChosen, this,
                [this](const std::vector<platform::CounterPath>& paths) { addCounters(paths); });
    }
    m_browser->open();
}

void SystemMonitorProperties::addCounters(const std::vector<platform::CounterPath>& paths) {
    const auto& objects = m_sources.local().objects();
    for (const auto& path : paths) {
        const bool present = std::any_of(m_settings.counters.begin(), m_settings.counters.end(),
                                         [&](const ChartCounter& c) { return c.path == path; });
        if (present)
            continue;
        const auto* info = platform::findCounter(objects, path);
        m_settings.counters.push_back(
            {path, defaultCounterColour(m_coloursUsed++), info ? info->defaultScale : 1.0});
    }
    refreshCounterList(static_cast<int>(m_settings.counters.size()) - 1);
}

void SystemMonitorProperties::removeCounter() {
    const int row = m_counterList->currentRow();
    if (row < 0)
        return;
    m_settings.counters.erase(m_settings.counters.begin() + row);
    refreshCounterList(row);
}

void SystemMonitorProperties::refreshCounterList(int select) {
    QSignalBlocker block(m_counterList);
    m_counterList->clear();
    for (const auto& counter : m_settings.counters)
        m_counterList->addItem(new QListWidgetItem(
            swatch(counter.colour),
            platform::counterPathText(counter.path, m_sources.local().objects())));
    const int count = m_counterList->count();
    if (count > 0)
        m_counterList->setCurrentRow(std::clamp(select, 0, count - 1));
    counterSelected();
}

void SystemMonitorProperties::counterSelected() {
    const int row = m_counterList->currentRow();
    const bool any = row >= 0;
    m_remove->setEnabled(any);
    m_colour->setEnabled(any);
    m_scale->setEnabled(any);
    if (!any)
        return;
    const ChartCounter& counter = m_settings.counters[static_cast<std::size_t>(row)];
    int colourIndex = m_colour->findData(counter.colour);
    if (colourIndex < 0) {
        m_colour->addItem(swatch(counter.colour), counter.colour.name(), counter.colour);
        colourIndex = m_colour->count() - 1;
    }
    m_colour->setCurrentIndex(colourIndex);
    m_scale->setCurrentIndex(nearestScale(counter.scale));
}

void SystemMonitorProperties::apply() {
    m_settings.sampleIntervalSeconds = m_interval->value();
    m_settings.showLegend = m_showLegend->isChecked();
    m_settings.showValueBar = m_showValueBar->isChecked();
    m_settings.graph.verticalMaximum = m_maximum->value();
    m_settings.graph.verticalMinimum = m_minimum->value();
    m_settings.graph.horizontalGrid = m_horizontalGrid->isChecked();
    m_settings.graph.verticalGrid = m_verticalGrid->isChecked();
    emit applied(m_settings);
}

void SystemMonitorProperties::reject() {
    close();
}

void SystemMonitorProperties::closeEvent(QCloseEvent* event) {
    event->accept();
}

} // namespace ombrix
