#include "performance_monitor/CounterBrowser.h"

#include "app/FitLabel.h"
#include "app/Handler.h"
#include "performance_monitor/PaddedRowDelegate.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSysInfo>
#include <QTimer>
#include <QVBoxLayout>

namespace ombrix {

using platform::computerAddress;

namespace {

// An object's instances as another computer lists them, and how many it has.
struct Listed {
    QStringList names;
    qsizetype count = 0;
};

} // namespace

CounterBrowser::CounterBrowser(platform::RemoteComputers& computers, QWidget* parent)
    : QDialog(parent), m_computers(computers) {
    setWindowTitle(tr("Add Counters"));

    m_local = new QRadioButton(tr("Use &local computer counters"), this);
    m_local->setObjectName(QStringLiteral("localComputer"));
    m_remote = new QRadioButton(tr("Select counters from &computer:"), this);
    m_remote->setObjectName(QStringLiteral("remoteComputer"));
    auto* computerChoice = new QButtonGroup(this);
    computerChoice->addButton(m_local);
    computerChoice->addButton(m_remote);
    m_local->setChecked(true);
    m_computerName = new QComboBox(this);
    m_computerName->setObjectName(QStringLiteral("computerName"));
    m_computerName->setAccessibleName(tr("Computer"));
    m_computerName->setEditable(true);
    m_computerName->setInsertPolicy(QComboBox::NoInsert);
    // A long name scrolls in the field; it does not widen the dialog.
    m_computerName->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_computerName->setMinimumContentsLength(16);
    m_computerName->addItem(QStringLiteral("\\\\") + QSysInfo::machineHostName());
    // The computers reached before in this run are offered again.
    for (const QString& computer : m_computers.reached())
        m_computerName->addItem(QStringLiteral("\\\\") + computer);
    m_computerName->setEnabled(false);
    // The status line takes the dialog's width and up to three lines; a
    // longer text is drawn smaller or elided there, whole in its tooltip.
    m_computerStatus = new FitLabel(this);
    m_computerStatus->setObjectName(QStringLiteral("computerStatus"));
    m_computerStatus->setWordWrap(true);
    m_computerStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_computerStatus->setMaximumHeight(m_computerStatus->fontMetrics().lineSpacing() * 3);
    m_typing = new QTimer(this);
    m_typing->setSingleShot(true);
    m_typing->setInterval(500);

    auto* objectLabel = new QLabel(tr("Performance &object:"), this);
    m_object = new QComboBox(this);
    m_object->setObjectName(QStringLiteral("performanceObject"));
    objectLabel->setBuddy(m_object);

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
    layout->addWidget(m_local);
    auto* computerRow = new QHBoxLayout;
    computerRow->addWidget(m_remote);
    computerRow->addWidget(m_computerName, 1);
    layout->addLayout(computerRow);
    layout->addWidget(m_computerStatus);
    auto* objectRow = new QHBoxLayout;
    objectRow->addWidget(objectLabel);
    objectRow->addWidget(m_object, 1);
    layout->addLayout(objectRow);
    layout->addLayout(grid, 1);
    layout->addWidget(explainBox);
    layout->addLayout(buttons);
    resize(560, 480);

    // A name connects once it has stayed unchanged for half a second, on
    // Enter, or when the field loses focus.
    connect(m_computerName, &QComboBox::editTextChanged, this, [this] {
        m_remote->setChecked(true);
        m_typing->start();
    });
    connect(m_computerName, &QComboBox::activated, this,
            [this] { handle([this] { connectTo(m_computerName->currentText()); }); });
    // The field has the keyboard's focus and hands keys to its line edit
    // directly, past that one's filters.
    m_computerName->installEventFilter(this);
    m_computerName->lineEdit()->installEventFilter(this);
    connect(m_computerName->lineEdit(), &QLineEdit::editingFinished, this,
            [this] { handle([this] { connectTo(m_computerName->currentText()); }); });
    connect(m_typing, &QTimer::timeout, this,
            [this] { handle([this] { connectTo(m_computerName->currentText()); }); });
    connect(m_local, &QRadioButton::toggled, this, [this](bool on) {
        m_computerName->setEnabled(!on);
        if (on)
            handle([this] { useLocal(); });
    });

    connect(m_object, &QComboBox::currentIndexChanged, this,
            [this] { handle([this] { objectChanged(); }); });
    connect(m_counterList, &QListWidget::currentItemChanged, this,
            [this] { handle([this] { showExplanation(); }); });
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
    reach({});
    // Where the program shows another computer, the choice starts on its counters.
    if (const QString shown = m_computers.shown(); !shown.isEmpty()) {
        const QSignalBlocker block(m_computerName);
        m_computerName->setEditText(QStringLiteral("\\\\") + shown);
        m_remote->setChecked(true);
        connectTo(shown);
    }
}

const platform::ObjectInfo* CounterBrowser::currentObject() const {
    return platform::findObject(m_objects, m_object->currentData().toString());
}

void CounterBrowser::fillObjects() {
    const QString previous = m_object->currentData().toString();
    {
        QSignalBlocker block(m_object);
        m_object->clear();
        for (const auto& object : m_objects)
            m_object->addItem(object.name, object.id);
        const int index = m_object->findData(previous);
        m_object->setCurrentIndex(index >= 0 ? index : 0);
    }
    objectChanged();
}

void CounterBrowser::useLocal() {
    m_typing->stop();
    reach({});
}

void CounterBrowser::connectTo(const QString& typed) {
    m_typing->stop();
    const QString address = computerAddress(typed);
    if (address.isEmpty() || !m_remote->isChecked() ||
        (m_reaching ? m_reaching->computer() == address : m_computer == address))
        return;
    if (const QString why = m_computers.badName(address); !why.isEmpty()) {
        m_reaching.reset();
        return showNone(QStringLiteral("\\\\%1: %2").arg(address, why));
    }
    reach(address);
}

// Lists the counters of the computer so named (empty: this one) once its
// link gives them, which this computer's does at once.
void CounterBrowser::reach(const QString& computer) {
    m_reaching = m_computers.link(computer);
    platform::ComputerLink& link = *m_reaching;
    link.watch(this, [this, &link] { showVerdict(link); });
    link.retry(); // named by the user: no waiting after an earlier failure
    m_connection = computer.isEmpty() ? QString() : tr("Connecting to \\\\%1...").arg(computer);
    m_settled = false;
    showStatus();
    link.ask<std::vector<platform::ObjectInfo>>(
        this, [](platform::PerfCounters& counters) { return counters.objects(); },
        [this, &link](platform::LinkAnswer<std::vector<platform::ObjectInfo>> answer) {
            if (m_reaching.get() != &link)
                return; // another computer was named since
            std::shared_ptr<platform::ComputerLink> reaching = std::move(m_reaching);
            if (answer.value)
                return reached(std::move(reaching), std::move(*answer.value));
            // The next edit tries again.
            showNone(tr("Cannot reach \\\\%1: %2").arg(link.computer(), answer.failure));
        });
}

void CounterBrowser::showNone(const QString& why) {
    m_link.reset();
    m_computer.clear();
    m_objects.clear();
    m_connection = tr("%1. No counters are listed.").arg(why);
    m_settled = true;
    fillObjects();
}

void CounterBrowser::reached(std::shared_ptr<platform::ComputerLink> link,
                             std::vector<platform::ObjectInfo> objects) {
    m_link = std::move(link);
    m_computer = m_link->computer();
    m_objects = std::move(objects);
    m_settled = true;
    // This computer's counters need no word, and its name is offered from the start.
    m_connection = m_computer.isEmpty() ? QString() : tr("Counters of \\\\%1").arg(m_computer);
    const QString item = QStringLiteral("\\\\") + m_computer;
    if (!m_computer.isEmpty() && m_computerName->findText(item) < 0) {
        QSignalBlocker block(m_computerName);
        const QString typed = m_computerName->currentText();
        m_computerName->addItem(item);
        m_computerName->setEditText(typed);
    }
    fillObjects();
}

void CounterBrowser::showStatus() {
    // An object of the computer shown that offers nothing says why, unless
    // another computer is being reached or could not be.
    const platform::ObjectInfo* object = currentObject();
    QString text =
        m_settled && object && !object->unavailable.isEmpty() ? object->unavailable : m_connection;
    if (!m_instancesLeftOut.isEmpty())
        text =
            text.isEmpty() ? m_instancesLeftOut : text + QStringLiteral(". ") + m_instancesLeftOut;
    m_computerStatus->setText(text);
}

// The link's verdict on the computer the lists show, as it changes.
void CounterBrowser::showVerdict(const platform::ComputerLink& link) {
    if (m_reaching || m_computer != link.computer())
        return;
    m_connection = link.answering() ? tr("Counters of \\\\%1").arg(m_computer)
                                    : tr("Cannot reach \\\\%1: %2").arg(m_computer, link.whyNot());
    showStatus();
}

void CounterBrowser::objectChanged() {
    const platform::ObjectInfo* object = currentObject();
    m_counterList->clear();
    m_instanceList->clear();
    m_instancesLeftOut.clear();
    showStatus();
    if (!object)
        return;
    for (const auto& counter : object->counters) {
        auto* item = new QListWidgetItem(counter.name, m_counterList);
        item->setData(Qt::UserRole, counter.id);
    }
    m_counterList->setCurrentRow(0);
    const bool instances = object->hasInstances;
    if (instances) {
        // Shown when they come, if the lists still show that computer's object.
        m_link->ask<Listed>(
            this,
            [id = object->id](platform::PerfCounters& counters) {
                Listed listed;
                listed.names = counters.instances(id, &listed.count);
                return listed;
            },
            [this, computer = m_computer, id = object->id](platform::LinkAnswer<Listed> answer) {
                if (answer.value && m_computer == computer)
                    showInstances(id, std::move(answer.value->names), answer.value->count);
            });
    }
    m_instanceList->setCurrentRow(0);
    m_allInstances->setEnabled(instances);
    m_selectInstances->setEnabled(instances);
    m_instanceList->setEnabled(instances && !m_allInstances->isChecked());
    showExplanation();
}

void CounterBrowser::showInstances(const QString& object, QStringList instances, qsizetype count) {
    if (m_object->currentData().toString() != object)
        return;
    const bool total = !instances.isEmpty() && instances.front() == platform::totalInstance();
    if (instances.size() > platform::kMaxInstances + total)
        instances.erase(instances.begin() + platform::kMaxInstances + total, instances.end());
    const qsizetype listed = instances.size() - total;
    m_instancesLeftOut = count > listed && listed >= platform::kMaxInstances
                             ? tr("Listing the first %1 of %2 instances.").arg(listed).arg(count)
                             : QString();
    m_instanceList->clear();
    m_instanceList->addItems(instances);
    m_instanceList->setCurrentRow(0);
    showStatus();
}

void CounterBrowser::showExplanation() {
    const QListWidgetItem* item = m_counterList->currentItem();
    const auto* counter =
        item
            ? platform::findCounter(
                  m_objects,
                  {m_object->currentData().toString(), item->data(Qt::UserRole).toString(), {}, {}})
            : nullptr;
    m_explain->setText(counter ? counter->explanation : QString());
    // That computer's own words for it follow when it has given them.
    if (!counter)
        return;
    m_link->ask<QString>(
        this,
        [object = m_object->currentData().toString(), id = counter->id](
            platform::PerfCounters& counters) { return counters.explanation(object, id); },
        [this, computer = m_computer, object = m_object->currentData().toString(),
         id = counter->id](platform::LinkAnswer<QString> answer) {
            const QListWidgetItem* item = m_counterList->currentItem();
            if (answer.value && m_computer == computer && item &&
                m_object->currentData().toString() == object &&
                item->data(Qt::UserRole).toString() == id)
                m_explain->setText(*answer.value);
        });
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
            paths.push_back({object->id, counter, instance, m_computer});
    return paths;
}

void CounterBrowser::reject() {
    close();
}

bool CounterBrowser::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == m_computerName || watched == m_computerName->lineEdit()) &&
        event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            handle([this] { connectTo(m_computerName->currentText()); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CounterBrowser::closeEvent(QCloseEvent* event) {
    event->accept();
}

} // namespace ombrix
