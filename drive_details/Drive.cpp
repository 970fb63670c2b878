#include "drive_details/Drive.h"

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
#include <memory>

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
    m_forms.showMain();
}

bool Drive::eventFilter(QObject* watched, QEvent* event) {
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
    const QString drive = Text1->text();

    std::unique_ptr<platform::DriveObject> unit;
    if (const std::unique_ptr<platform::FileSystemObject> fso = m_fileSystem.create()) {
        const QString path = fso->GetAbsolutePathName(drive + QStringLiteral(":\\"));
        unit = fso->GetDrive(fso->GetDriveName(path));
    }
    if (!unit) {
        LblDrive->setText(QStringLiteral("Unit ") + drive + QStringLiteral(": not found"));
        LblSN->clear();
        LblFree->clear();
        LblTot->clear();
        fitReport();
        return;
    }

    LblDrive->setText(QStringLiteral("Unit ") + unit->DriveLetter() + QStringLiteral(": - ") +
                      driveTypeName(unit->DriveType()));
    // A fact the drive cannot give leaves its label as it was; a drive
    // without a serial number is not ready at all.
    if (const auto serial = unit->SerialNumber()) {
        LblSN->setText(QStringLiteral("Serial #: ") + QString::number(*serial));
    } else {
        LblSN->setText(QStringLiteral("Unit not ready"));
        LblFree->clear();
        LblTot->clear();
    }

    const QLocale locale;
    if (const auto free = unit->AvailableSpace())
        LblFree->setText(QStringLiteral("Free Space: ") + formatDriveSize(*free, locale));
    if (const auto total = unit->TotalSize())
        LblTot->setText(QStringLiteral("Total Size: ") + formatDriveSize(*total, locale));
    fitReport();
}

} // namespace ombrix
