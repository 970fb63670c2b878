#include "computers_window/ComputersWindow.h"

#include "app/CopyAction.h"
#include "app/Handler.h"
#include "app/VisibleText.h"
#include "computers_window/StoredComputers.h"
#include "platform/HostPort.h"
#include "platform/RemoteComputers.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace ombrix {
namespace {

QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

} // namespace

ComputersWindow::ComputersWindow(Services services, QWidget* parent)
    : QWidget(parent), m_services(std::move(services)),
      m_model(new ComputerTableModel(m_services.table, this)),
      m_shown(new QSortFilterProxyModel(this)), m_filter(new QLineEdit(this)),
      m_view(new QTableView(this)), m_status(new QLabel(this)) {
    setObjectName(QStringLiteral("computers"));
    setWindowTitle(QStringLiteral("Computers"));
    setWindowFlag(Qt::Window);
    if (!m_services.askName)
        m_services.askName = [](QWidget* parent) -> std::optional<QString> {
            bool ok = false;
            const QString name = QInputDialog::getText(
                parent, QStringLiteral("Add Computer"),
                QStringLiteral("Name or address of the computer (host[:port]):"), QLineEdit::Normal,
                {}, &ok);
            return ok ? std::optional<QString>(name) : std::nullopt;
        };

    m_shown->setSourceModel(m_model);
    m_shown->setSortRole(ComputerTableModel::SortRole);
    m_shown->setFilterKeyColumn(-1);
    m_shown->setFilterCaseSensitivity(Qt::CaseInsensitive);
    // A row changes as its computer answers: sorting and the filter follow.
    m_shown->setDynamicSortFilter(true);

    m_filter->setObjectName(QStringLiteral("filter"));
    m_filter->setPlaceholderText(QStringLiteral("Filter"));
    m_filter->setClearButtonEnabled(true);
    m_filter->setAccessibleName(QStringLiteral("Filter"));
    connect(m_filter, &QLineEdit::textChanged, m_shown,
            &QSortFilterProxyModel::setFilterFixedString);

    m_view->setObjectName(QStringLiteral("computerTable"));
    m_view->setModel(m_shown);
    m_view->setSortingEnabled(true);
    m_view->sortByColumn(static_cast<int>(ComputerColumn::Name), Qt::AscendingOrder);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->hide();
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->setAccessibleName(QStringLiteral("Computers"));
    // Fixed-height rows: a thousand rows lay out without measuring each.
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    const int widths[kComputerColumns] = {140, 190, 190, 80, 100, 110, 300};
    for (int c = 0; c < kComputerColumns; ++c)
        m_view->setColumnWidth(c, widths[c]);
    connect(m_view, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { handle([&] { opened(index); }); });

    m_status->setObjectName(QStringLiteral("status"));
    m_status->setTextFormat(Qt::PlainText);

    auto* copy = button(this, "copy", QStringLiteral("&Copy"));
    auto* add = button(this, "add", QStringLiteral("&Add…"));
    auto* remove = button(this, "remove", QStringLiteral("&Remove"));
    auto* close = button(this, "close", QStringLiteral("Close"));
    connect(copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(clipboardText(shownLines())); });
    connect(add, &QPushButton::clicked, this, [this] { handle([&] { addClicked(); }); });
    connect(remove, &QPushButton::clicked, this, [this] { handle([&] { removeClicked(); }); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    addCopyAction(this, [this] { return shownLines(); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_filter, 1);
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addWidget(copy);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_status);
    resize(1180, 480);
}

ComputersWindow::~ComputersWindow() = default;

void ComputersWindow::Form_Load() {
    m_model->setComputers(StoredComputers(m_services.store));
    say({});
}

void ComputersWindow::showComputers(const QStringList& names) {
    m_model->setComputers(names);
    StoreComputers(m_services.store, m_model->computers());
    say({});
}

QStringList ComputersWindow::shownLines() const {
    std::vector<QStringList> rows;
    rows.reserve(static_cast<std::size_t>(m_shown->rowCount()));
    for (int r = 0; r < m_shown->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < kComputerColumns; ++c)
            row << m_shown->index(r, c).data(Qt::DisplayRole).toString();
        rows.push_back(row);
    }
    return TableLines(ComputerColumnTitles(), rows);
}

void ComputersWindow::addClicked() {
    const std::optional<QString> typed = m_services.askName(this);
    if (!typed)
        return;
    const QString name = platform::computerAddress(*typed);
    if (name.isEmpty())
        return say(QStringLiteral("Type the name or address of a computer."));
    // As --computer checks the one it names.
    if (const std::string why =
            platform::pcp::portProblem(platform::pcp::splitHost(name.toStdString()));
        !why.empty())
        return say(QStringLiteral("%1: %2.").arg(ShownText(name), QString::fromStdString(why)));
    if (!m_model->addComputer(name))
        return say(QStringLiteral("%1 is in the list already.").arg(ShownText(name)));
    StoreComputers(m_services.store, m_model->computers());
    say({});
}

void ComputersWindow::removeClicked() {
    QList<int> rows;
    for (const QModelIndex& index : m_view->selectionModel()->selectedRows())
        rows << m_shown->mapToSource(index).row();
    if (rows.isEmpty())
        return say(QStringLiteral("Select the computers to remove."));
    std::sort(rows.begin(), rows.end(), std::greater<>());
    for (int row : rows)
        m_model->removeComputer(row);
    StoreComputers(m_services.store, m_model->computers());
    say({});
}

void ComputersWindow::opened(const QModelIndex& index) {
    if (!index.isValid() || !m_services.openComputer)
        return;
    const QString name = m_model->row(m_shown->mapToSource(index).row()).name;
    say(QStringLiteral("Opening %1…").arg(ShownText(name)));
    m_services.openComputer(
        name, [self = QPointer<ComputersWindow>(this), name](const QString& why) {
            if (self)
                self->say(why.isEmpty() ? QString()
                                        : QStringLiteral("%1 could not be opened: %2")
                                              .arg(ShownText(name), ShownText(why)));
        });
}

void ComputersWindow::say(const QString& text) {
    m_status->setText(text);
}

} // namespace ombrix
