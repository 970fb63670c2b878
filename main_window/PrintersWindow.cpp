#include "main_window/PrintersWindow.h"

#include "app/Background.h"
#include "app/CopyAction.h"
#include "app/Handler.h"
#include "app/ShownTextDelegate.h"
#include "app/VisibleText.h"
#include "main_window/PrinterListText.h"
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

} // namespace

PrintersWindow::PrintersWindow(const platform::Printers& printers, NotCarriedSource notCarried,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), m_printers(printers), m_notCarried(std::move(notCarried)) {
    setWindowTitle(tr("Printers"));

    lblMessage = new QLabel(this);
    lblMessage->setObjectName(QStringLiteral("lblMessage"));
    lblMessage->setWordWrap(true);

    treePrinters = new QTreeWidget(this);
    treePrinters->setObjectName(QStringLiteral("treePrinters"));
    treePrinters->setAccessibleName(tr("Printers"));
    treePrinters->setColumnCount(ColumnCount);
    treePrinters->setItemDelegate(new ShownTextDelegate(treePrinters));
    treePrinters->setHeaderLabels(PrinterColumnTitles());
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
    addCopyAction(this, [this] { return shownLines(); });
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
        auto* item = new QTreeWidgetItem(treePrinters, PrinterRowTexts(dest));
        if (!dest.info.isEmpty() && dest.info != dest.name)
            item->setToolTip(NameColumn, ShownText(dest.info));
        if (dest.isDefault) {
            QFont bold = item->font(NameColumn);
            bold.setBold(true);
            item->setFont(NameColumn, bold);
        }
    }
    for (int c = 0; c < ColumnCount - 1; ++c)
        treePrinters->resizeColumnToContents(c);

    lblMessage->setText(PrinterListMessage(list));
    // The list's answer tells whether the print service could be reached.
    if (m_notCarried)
        ShowNotCarriedLine(*this, 0, 0, 0,
                           NotCarriedLine(m_notCarried(), QStringLiteral("printers")));
    emit listShown();
}

QStringList PrintersWindow::shownLines() const {
    std::vector<QStringList> rows;
    for (int i = 0; i < treePrinters->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = treePrinters->topLevelItem(i);
        QStringList& row = rows.emplace_back();
        for (int c = 0; c < ColumnCount; ++c)
            row << item->text(c);
    }
    return PrinterTableLines(rows) << lblMessage->text();
}

} // namespace ombrix
