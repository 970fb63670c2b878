#include "network_report/frmNetCheck.h"

#include "app/CopyAction.h"
#include "app/Handler.h"
#include "app/ShownTextDelegate.h"
#include "app/Twips.h"
#include "app/VisibleText.h"
#include "network_report/NetworkReport.h"
#include "registry/clsRegistryAccess.h"

#include <QCloseEvent>
#include <QFont>
#include <QListWidget>
#include <QPushButton>

namespace ombrix {

frmNetCheck::frmNetCheck(platform::Registry& registry, NotCarriedSource notCarried, QWidget* parent)
    : QDialog(parent), m_registry(registry), m_notCarried(std::move(notCarried)) {
    // A fixed tool window: small title bar with only a close box, no taskbar
    // entry, no resizing.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setObjectName(QStringLiteral("frmNetCheck"));
    setWindowTitle(QStringLiteral("Network Check"));
    setGeometry(twipsRect(435, 1950, 5460, 4965));
    setFixedSize(twipsSize(5460, 4965));
    // The layout is drawn for an 8-point face: at larger sizes the button
    // captions would not fit.
    QFont face = font();
    face.setPointSize(8);
    setFont(face);

    List1 = new QListWidget(this);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setGeometry(twipsRect(90, 90, 5280, 4155));
    List1->setSortingEnabled(false);
    List1->setItemDelegate(new ShownTextDelegate(List1));
    // Lines can be picked for Copy.
    List1->setSelectionMode(QAbstractItemView::ExtendedSelection);

    cmdNetCheck = new QPushButton(QStringLiteral("Check Network"), this);
    cmdNetCheck->setObjectName(QStringLiteral("cmdNetCheck"));
    cmdNetCheck->setGeometry(twipsRect(1410, 4455, 1305, 375));
    cmdNetCheck->setDefault(true);

    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setGeometry(twipsRect(3015, 4455, 1185, 375));

    setTabOrder(cmdNetCheck, cmdClose);
    setTabOrder(cmdClose, List1);
    cmdNetCheck->setFocus();

    connect(cmdNetCheck, &QPushButton::clicked, this, [this] { cmdNetCheck_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
    addCopyAction(this, [this] { return VisibleLines(copiedLines()); });
}

QStringList frmNetCheck::copiedLines() const {
    QStringList selected, all;
    for (int row = 0; row < List1->count(); ++row) {
        const QListWidgetItem* item = List1->item(row);
        all << item->text();
        if (item->isSelected())
            selected << item->text();
    }
    return selected.isEmpty() ? all : selected;
}

frmNetCheck::~frmNetCheck() = default;

void frmNetCheck::Form_Load() {
    handle([&] { m_access = std::make_unique<clsRegistryAccess>(m_registry); });
}

void frmNetCheck::Form_Unload() {
    m_access.reset();
}

void frmNetCheck::cmdNetCheck_Click() {
    handle([&] {
        List1->clear();
        if (!m_access)
            return;
        // The list is filled in one step: one layout for the whole report.
        List1->addItems(BuildNetworkReport(*m_access));
        if (m_notCarried)
            ShowNotCarriedLine(*this, twips(90), twips(4965), twips(5280),
                               NotCarriedLine(m_notCarried(), QStringLiteral("network")));
    });
}

void frmNetCheck::cmdClose_Click() {
    close();
}

// Escape (the cancel role) closes the window like "Close".
void frmNetCheck::reject() {
    close();
}

void frmNetCheck::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

} // namespace ombrix
