#include "performance_monitor/CounterBrowser.h"

#include "app/Handler.h"
#include "performance_monitor/PaddedRowDelegate.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace ombrix {

CounterBrowser::CounterBrowser(platform::PerfCounters& counters, QWidget* parent)
    : QDialog(parent), m_counters(counters) {
    setWindowTitle(tr("Add Counters"));

    auto* objectLabel = new QLabel(tr("Performance &object:"), this);
    m_object = new QComboBox(this);
    m_object->setObjectName(QStringLiteral("performanceObject"));
    objectLabel->setBuddy(m_object);
    for (const auto& object : m_counters.objects())
        m_object->addItem(object.name, object.id);

    m_allCounters = new QRadioButton(tr("A&ll counters"), this);
    m_allCounters->setObjectName(QStringLiteral("allCounters"));
    auto* selectCounters = new QRadioButton(tr("&Select counters from list"), this);
    selectCounters->setObjectName(QStringLiteral("selectCounters"));
    m_counterList = new QListWidget(this);
    m_counterList->setObjectName(QStringLiteral("counterList"));
    m_counterList->setItemDelegate(new PaddedRowDelegate(m_counterList));
    m_counterList->setAccessibleName(tr("Counters"));
    m_counterList->setSelectionMode(QAbstractItemView::ExtendedSelection);

    m_allInstances = new QRadioButton(tr("All &instances"), this);
    m_allInstances->setObjectName(QStringLiteral("allInstances"));
    m_selectInstances = new QRadioButton(tr("Select i&nstances from list"), this);
    m_selectInstances->setObjectName(QStringLiteral("selectInstances"));
    m_instanceList = new QListWidget(this);
    m_instanceList->setObjectName(QStringLiteral("instanceList"));
    m_instanceList->setItemDelegate(new PaddedRowDelegate(m_instanceList));
    m_instanceList->setAccessibleName(tr("Instances"));
    m_instanceList->setSelectionMode(QAbstractItemView::ExtendedSelection);

    // Two separate choices: which counters, and which instances.
    auto* counterChoice = new QButtonGroup(this);
    counterChoice->addButton(m_allCounters);
    counterChoice->addButton(selectCounters);
    auto* instanceChoice = new QButtonGroup(this);
    instanceChoice->addButton(m_allInstances);
    instanceChoice->addButton(m_selectInstances);
    selectCounters->setChecked(true);
    m_selectInstances->setChecked(true);

    auto* explainBox = new QGroupBox(tr("Explanation"), this);
    m_explain = new QLabel(explainBox);
    m_explain->setObjectName(QStringLiteral("explainText"));
    m_explain->setWordWrap(true);
    m_explain->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_explain->setMinimumHeight(m_explain->fontMetrics().lineSpacing() * 3);
    auto* explainLayout = new QVBoxLayout(explainBox);
    explainLayout->addWidget(m_explain);

    auto* add = new QPushButton(tr("&Add"), this);
    add->setObjectName(QStringLiteral("browserAddButton"));
    add->setDefault(true);
    auto* close = new QPushButton(tr("&Close"), this);
    close->setObjectName(QStringLiteral("browserCloseButton"));

    auto* grid = new QGridLayout;
    grid->addWidget(m_allCounters, 0, 0);
    grid->addWidget(selectCounters, 1, 0);
    grid->addWidget(m_counterList, 2, 0);
    grid->addWidget(m_allInstances, 0, 1);
    grid->addWidget(m_selectInstances, 1, 1);
    grid->addWidget(m_instanceList, 2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(add);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    auto* objectRow = new QHBoxLayout;
    objectRow->addWidget(objectLabel);
    objectRow->addWidget(m_object, 1);
    layout->addLayout(objectRow);
    layout->addLayout(grid, 1);
    layout->addWidget(explainBox);
    layout->addLayout(buttons);
    resize(520, 420);

    connect(m_object, &QComboBox::currentIndexChanged, this,
            [this] { handle([this] { objectChanged(); }); });
    connect(m_counterList, &QListWidget::currentItemChanged, this, [this] { showExplanation(); });
    connect(m_allCounters, &QRadioButton::toggled, m_counterList, &QWidget::setDisabled);
    connect(m_allInstances, &QRadioButton::toggled, m_instanceList, &QWidget::setDisabled);
    connect(add, &QPushButton::clicked, this, [this] {
        handle([this] {
            const auto paths = chosenPaths();
            if (!paths.empty())
                emit countersChosen(paths);
        });
    });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    objectChanged();
}

const platform::ObjectInfo* CounterBrowser::currentObject() const {
    return platform::findObject(m_counters.objects(), m_object->currentData().toString());
}

void CounterBrowser::objectChanged() {
    const platform::ObjectInfo* object = currentObject();
    m_counterList->clear();
    m_instanceList->clear();
    if (!object)
        return;
    for (const auto& counter : object->counters) {
        auto* item = new QListWidgetItem(counter.name, m_counterList);
        item->setData(Qt::UserRole, counter.id);
    }
    m_counterList->setCurrentRow(0);
    const bool instances = object->hasInstances;
    if (instances)
        m_instanceList->addItems(m_counters.instances(object->id));
    m_instanceList->setCurrentRow(0);
    m_allInstances->setEnabled(instances);
    m_selectInstances->setEnabled(instances);
    m_instanceList->setEnabled(instances && !m_allInstances->isChecked());
    showExplanation();
}

void CounterBrowser::showExplanation() {
    const QListWidgetItem* item = m_counterList->currentItem();
    const auto* counter =
        item
            ? platform::findCounter(
                  m_counters.objects(),
                  {m_object->currentData().toString(), item->data(Qt::UserRole).toString(), {}, {}})
            : nullptr;
    m_explain->setText(counter ? counter->explanation : QString());
}

std::vector<platform::CounterPath> CounterBrowser::chosenPaths() const {
    std::vector<platform::CounterPath> paths;
    const platform::ObjectInfo* object = currentObject();
    if (!object)
        return paths;
    QStringList counters;
    for (int i = 0; i < m_counterList->count(); ++i) {
        const QListWidgetItem* item = m_counterList->item(i);
        if (m_allCounters->isChecked() || item->isSelected())
            counters << item->data(Qt::UserRole).toString();
    }
    QStringList instances;
    if (!object->hasInstances) {
        instances << QString();
    } else {
        for (int i = 0; i < m_instanceList->count(); ++i) {
            const QListWidgetItem* item = m_instanceList->item(i);
            // "All instances" means each one; the _Total already sums them.
            if (m_allInstances->isChecked() ? item->text() != platform::totalInstance()
                                            : item->isSelected())
                instances << item->text();
        }
    }
    for (const auto& counter : counters)
        for (const auto& instance : instances)
            paths.push_back({object->id, counter, instance, {}});
    return paths;
}

void CounterBrowser::reject() {
    close();
}

void CounterBrowser::closeEvent(QCloseEvent* event) {
    event->accept();
}

} // namespace ombrix
