#include "main_window/PrintersWindow.h"

#include "app/Background.h"
#include "app/Handler.h"
#include "platform/Printers.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <utility>

namespace ombrix {
namespace {

enum Column { NameColumn, DefaultColumn, StateColumn, LocationColumn, ModelColumn, ColumnCount };

QString stateText(platform::PrinterState state) {
    switch (state) {
    case platform::PrinterState::Idle:
        return PrintersWindow::tr("Idle");
    case platform::PrinterState::Processing:
        return PrintersWindow::tr("Processing");
    case platform::PrinterState::Stopped:
        return PrintersWindow::tr("Stopped");
    case platform::PrinterState::Unknown:
        break;
    }
    return PrintersWindow::tr("Unknown");
}

} // namespace

PrintersWindow::PrintersWindow(const platform::Printers& printers, QWidget* parent)
    : QWidget(parent, Qt::Window), m_printers(printers) {
    setWindowTitle(tr("Printers"));

    lblMessage = new QLabel(this);
    lblMessage->setObjectName(QStringLiteral("lblMessage"));
    lblMessage->setWordWrap(true);

    treePrinters = new QTreeWidget(this);
    treePrinters->setObjectName(QStringLiteral("treePrinters"));
    treePrinters->setAccessibleName(tr("Printers"));
    treePrinters->setColumnCount(ColumnCount);
    treePrinters->setHeaderLabels(
        {tr("Name"), tr("Default"), tr("State"), tr("Location"), tr("Make and model")});
    treePrinters->setRootIsDecorated(false);
    treePrinters->setUniformRowHeights(true);
    treePrinters->setAllColumnsShowFocus(true);
    treePrinters->header()->setStretchLastSection(true);

    cmdRefresh = new QPushButton(tr("&Refresh"), this);
    cmdRefresh->setObjectName(QStringLiteral("cmdRefresh"));
    cmdClose = new QPushButton(tr("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    connect(cmdRefresh, &QPushButton::clicked, this, [this] { handle([this] { refresh(); }); });
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdRefresh);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(treePrinters);
    layout->addWidget(lblMessage);
    layout->addLayout(buttons);

    resize(640, 280);
}

void PrintersWindow::refresh() {
    treePrinters->clear();
    lblMessage->setText(tr("Asking the print service for its printers..."));
    if (m_asking) {
        m_askAgain = true;
        return;
    }
    m_asking = true;
    askInBackground<platform::PrinterList>(
        this, [&printers = m_printers] { return printers.query(); },
        [this](const QFuture<platform::PrinterList>& answer) {
            m_asking = false;
            if (std::exchange(m_askAgain, false))
                refresh();
            else
                showList(answer.result());
        });
}

void PrintersWindow::showList(const platform::PrinterList& list) {
    treePrinters->clear();
    for (const platform::PrintDestination& dest : list.destinations) {
        auto* item = new QTreeWidgetItem(treePrinters);
        item->setText(NameColumn, dest.name);
        item->setText(DefaultColumn, dest.isDefault ? tr("Default") : QString());
        item->setText(StateColumn, stateText(dest.state));
        item->setText(LocationColumn, dest.location);
        item->setText(ModelColumn, dest.makeAndModel);
        if (!dest.info.isEmpty() && dest.info != dest.name)
            item->setToolTip(NameColumn, dest.info);
        if (dest.isDefault) {
            QFont bold = item->font(NameColumn);
            bold.setBold(true);
            item->setFont(NameColumn, bold);
        }
    }
    for (int c = 0; c < ColumnCount - 1; ++c)
        treePrinters->resizeColumnToContents(c);

    if (!list.serviceReachable)
        lblMessage->setText(tr("No print service could be reached, so no printers are listed."));
    else if (list.destinations.empty())
        lblMessage->setText(tr("The print service reports no printers."));
    else if (list.destinations.size() == 1)
        lblMessage->setText(tr("1 printer found."));
    else
        lblMessage->setText(tr("%1 printers found.").arg(list.destinations.size()));
    emit listShown();
}

} // namespace ombrix
