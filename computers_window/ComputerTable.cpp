#include "computers_window/ComputerTable.h"

#include "computers_window/StoredComputers.h"
#include "platform/RemoteComputers.h"
#include "report/ComputerList.h"

#include <QTimer>

#include <algorithm>

namespace ombrix {

QStringList ComputerColumnTitles() {
    return {QStringLiteral("Computer"),       QStringLiteral("OS Platform"),
            QStringLiteral("Processor"),      QStringLiteral("Total (MB)"),
            QStringLiteral("Available (MB)"), QStringLiteral("IP Address"),
            QStringLiteral("State")};
}

QString ComputerStateText(const ComputerRow& row) {
    switch (row.state) {
    case ComputerRow::State::Waiting:
        return QStringLiteral("Waiting its turn");
    case ComputerRow::State::Asking:
        return QStringLiteral("Asking");
    case ComputerRow::State::Answering:
        return QStringLiteral("Answering");
    case ComputerRow::State::Silent:
        break;
    }
    return row.why.isEmpty() ? QStringLiteral("Not answering")
                             : QStringLiteral("Not answering: ") + row.why;
}

QStringList ComputerRowTexts(const ComputerRow& row) {
    const SummaryFacts none;
    const SummaryFacts& f = row.facts ? *row.facts : none;
    return {row.name,      f.osPlatform, f.processor,           f.totalMb,
            f.availableMb, f.ipAddress,  ComputerStateText(row)};
}

ComputerTableModel::ComputerTableModel(Services services, QObject* parent)
    : QAbstractTableModel(parent), m_services(std::move(services)), m_timer(new QTimer(this)) {
    m_services.mostAtOnce = std::max<std::size_t>(m_services.mostAtOnce, 1);
    m_timer->setObjectName(QStringLiteral("refresh"));
    m_timer->setInterval(m_services.refresh);
    connect(m_timer, &QTimer::timeout, this, [this] { refreshAll(); });
    m_timer->start();
}

// The links go with the rows; answers still out find no receiver.
ComputerTableModel::~ComputerTableModel() = default;

void ComputerTableModel::setComputers(const QStringList& names) {
    beginResetModel();
    m_rows.clear();
    m_waiting.clear();
    m_rested.clear();
    m_held = 0;
    for (const QString& name : ComputersOnce(names)) {
        auto entry = std::make_shared<Entry>();
        entry->row.name = platform::computerAddress(name);
        m_rows.push_back(entry);
        m_waiting.push_back(entry);
    }
    endResetModel();
    fill();
}

bool ComputerTableModel::addComputer(const QString& name) {
    const QString key = ComputerKey(name);
    if (std::any_of(m_rows.begin(), m_rows.end(),
                    [&](const auto& e) { return ComputerKey(e->row.name) == key; }))
        return false;
    const int at = rowCount();
    beginInsertRows({}, at, at);
    auto entry = std::make_shared<Entry>();
    entry->row.name = platform::computerAddress(name);
    m_rows.push_back(entry);
    endInsertRows();
    m_waiting.push_back(entry);
    fill();
    return true;
}

void ComputerTableModel::removeComputer(int row) {
    if (row < 0 || row >= rowCount())
        return;
    beginRemoveRows({}, row, row);
    const std::shared_ptr<Entry> gone = m_rows[static_cast<std::size_t>(row)];
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
    release(*gone);
    fill();
}

QStringList ComputerTableModel::computers() const {
    QStringList names;
    for (const auto& entry : m_rows)
        names << entry->row.name;
    return names;
}

int ComputerTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ComputerTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kComputerColumns;
}

QVariant ComputerTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const ComputerRow& r = m_rows[static_cast<std::size_t>(index.row())]->row;
    const auto column = static_cast<ComputerColumn>(index.column());
    if (role == SortRole) {
        // A figure not read sorts before every figure.
        if (column == ComputerColumn::TotalMb)
            return r.totalBytes ? QVariant::fromValue<qulonglong>(*r.totalBytes) : QVariant(-1);
        if (column == ComputerColumn::AvailableMb)
            return r.availableBytes ? QVariant::fromValue<qulonglong>(*r.availableBytes)
                                    : QVariant(-1);
        return ComputerRowTexts(r).value(index.column());
    }
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return ComputerRowTexts(r).value(index.column());
    if (role == Qt::TextAlignmentRole &&
        (column == ComputerColumn::TotalMb || column == ComputerColumn::AvailableMb))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant ComputerTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return ComputerColumnTitles().value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

int ComputerTableModel::indexOf(const Entry* entry) const {
    const auto it = std::find_if(m_rows.begin(), m_rows.end(),
                                 [entry](const auto& e) { return e.get() == entry; });
    return it == m_rows.end() ? -1 : static_cast<int>(it - m_rows.begin());
}

void ComputerTableModel::changed(const Entry* entry) {
    const int at = indexOf(entry);
    if (at >= 0)
        emit dataChanged(index(at, 0), index(at, kComputerColumns - 1));
}

void ComputerTableModel::fill() {
    while (m_held < m_services.mostAtOnce && !m_waiting.empty()) {
        const std::shared_ptr<Entry> entry = m_waiting.front().lock();
        m_waiting.pop_front();
        if (!entry || entry->link)
            continue;
        entry->link = m_services.links.link(entry->row.name);
        ++m_held;
        const std::weak_ptr<Entry> weak = entry;
        entry->link->watch(this, [this, weak] {
            const std::shared_ptr<Entry> e = weak.lock();
            if (!e || !e->link)
                return;
            if (!e->link->answering()) {
                e->row.state = ComputerRow::State::Silent;
                e->row.why = e->link->whyNot();
            } else if (e->row.state == ComputerRow::State::Silent) {
                e->row.state = ComputerRow::State::Answering;
                e->row.why.clear();
            }
            changed(e.get());
        });
        ask(entry);
    }
}

void ComputerTableModel::ask(const std::shared_ptr<Entry>& entry) {
    if (entry->asking || !entry->link)
        return;
    entry->asking = true;
    if (entry->row.state == ComputerRow::State::Waiting) {
        entry->row.state = ComputerRow::State::Asking;
        changed(entry.get());
    }
    const std::weak_ptr<Entry> weak = entry;
    entry->link->readFacts(this, platform::FactParts{.summary = true},
                           [this, weak](platform::LinkAnswer<platform::RemoteFacts> answer) {
                               if (const std::shared_ptr<Entry> e = weak.lock())
                                   answered(e, std::move(answer.failure), std::move(answer.value));
                           });
}

void ComputerTableModel::answered(const std::shared_ptr<Entry>& entry, QString failure,
                                  std::optional<platform::RemoteFacts> facts) {
    entry->asking = false;
    ComputerRow& r = entry->row;
    if (facts && facts->reachable) {
        r.totalBytes = facts->summary.totalMemory;
        r.availableBytes = facts->summary.availableMemory;
        r.facts = m_services.summaryOf(r.name, std::move(*facts));
        r.state = ComputerRow::State::Answering;
        r.why.clear();
    } else {
        // The last facts stay; the row says why there are none newer.
        r.state = ComputerRow::State::Silent;
        r.why = failure.isEmpty() && entry->link ? entry->link->whyNot() : failure;
    }
    changed(entry.get());
    // Others wait: this row's turn is over, and it queues again behind
    // them at the next refresh, so that a row is read at most once a period.
    if (!m_waiting.empty() && indexOf(entry.get()) >= 0) {
        release(*entry);
        m_rested.push_back(entry);
        fill();
    }
}

void ComputerTableModel::release(Entry& entry) {
    if (!entry.link)
        return;
    entry.link.reset();
    entry.asking = false;
    --m_held;
}

void ComputerTableModel::refreshAll() {
    for (const auto& entry : m_rows)
        if (entry->link)
            ask(entry);
    m_waiting.insert(m_waiting.end(), m_rested.begin(), m_rested.end());
    m_rested.clear();
    fill();
}

} // namespace ombrix
