#include "drive_details/Drive.h"

#include "app/CopyAction.h"
#include "app/Forms.h"
#include "app/Handler.h"
#include "app/Twips.h"
#include "drive_details/DriveReport.h"
#include "platform/FileSystem.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>

#include <algorithm>
#include <optional>

namespace ombrix {
namespace {

QLabel* makeLabel(QWidget* parent, const char* name, const QRect& geometry) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setMinimumWidth(geometry.width());
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

} // namespace

Drive::Drive(platform::FileSystem& fileSystem, Forms& forms, QWidget* parent)
    : QMainWindow(parent), m_fileSystem(fileSystem), m_forms(forms) {
    setObjectName(QStringLiteral("Drive"));
    setWindowTitle(QStringLiteral("HDD Info"));

    QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("File"));
    QAction* close = file->addAction(QStringLiteral("Close"));
    close->setObjectName(QStringLiteral("Close"));
    connect(close, &QAction::triggered, this, [this] { handle([this] { Close_Click(); }); });

    auto* client = new QWidget(this);
    setCentralWidget(client);
    LblDrive = makeLabel(client, "LblDrive", twipsRect(120, 240, 1935, 255));
    LblSN = makeLabel(client, "LblSN", twipsRect(120, 600, 1935, 255));
    LblTot = makeLabel(client, "LblTot", twipsRect(120, 960, 1935, 495));
    LblFree = makeLabel(client, "LblFree", twipsRect(120, 1320, 2175, 375));

    // Holds the drive text; it lies below the client area, out of sight, and
    // is the only control that takes the keyboard focus.
    Text1 = new QLineEdit(QStringLiteral("Text1"), client);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(twipsRect(1680, 3480, 495, 285));
    Text1->setAccessibleName(QStringLiteral("Drive letter"));
    setFocusProxy(Text1);
    Text1->setFocus();

    resize(twips(2790), twips(2160) + menuBar()->sizeHint().height());

    Text1->installEventFilter(this);
    installEventFilter(this);

    addCopyAction(this, [this] {
        DriveReport shown;
        shown.drive = LblDrive->text();
        shown.serial = LblSN->text();
        shown.total = LblTot->text();
        shown.free = LblFree->text();
        return DriveReportLines(shown);
    });
}

void Drive::Form_Load() {
    handle([this] {
        GetDriveInfo();
        m_keyPreview = true;
    });
}

void Drive::fitReport() {
    // A label keeps its place and grows to the right rather than wrapping its
    // text into the line below or cutting it; the window widens to match.
    int right = 0;
    for (QLabel* label : {LblDrive, LblSN, LblTot, LblFree}) {
        const int width = std::max(label->minimumWidth(), label->sizeHint().width());
        label->resize(width, label->height());
        right = std::max(right, label->x() + width + twips(120));
    }
    if (right > width()) // the client area spans the whole window width
        resize(right, height());
}

void Drive::Close_Click() {
    hide();
    m_forms.show(QStringLiteral("Ombrix2"));
}

bool Drive::eventFilter(QObject* watched, QEvent* event) {
    // Ctrl+C copies the report, not the hidden drive text.
    if (watched == Text1 && event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        event->ignore(); // not overridden: the window's shortcut runs
        return true;
    }
    if (m_keyPreview && event->type() == QEvent::KeyPress &&
        (watched == Text1 || watched == this)) {
        const QString typed = static_cast<QKeyEvent*>(event)->text();
        handle([&] { Form_KeyPress(typed); });
        // The drive text changes only through the key rule.
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void Drive::Form_KeyPress(const QString& typed) {
    if (!isDriveKey(typed))
        return;
    Text1->setText(typed);
    Text1->setText(Text1->text().toUpper());
    GetDriveInfo();
}

void Drive::GetDriveInfo() {
    const DriveReport report = GetDriveReport(m_fileSystem, Text1->text(), QLocale());
    auto show = [](QLabel* label, const std::optional<QString>& text) {
        if (text)
            label->setText(*text);
    };
    show(LblDrive, report.drive);
    show(LblSN, report.serial);
    show(LblFree, report.free);
    show(LblTot, report.total);
    fitReport();
}

} // namespace ombrix
