#include "drive_details/Drive.h"

#include "app/Background.h"
#include "app/CopyAction.h"
#include "app/FitLabel.h"
#include "app/Forms.h"
#include "app/Handler.h"
#include "app/Twips.h"
#include "app/VisibleText.h"
#include "drive_details/DriveReport.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>

namespace ombrix {
namespace {

// The labels keep their place and size whatever the report says: a long
// line wraps where the label is high enough for two, then shrinks to fit.
QLabel* makeLabel(QWidget* parent, const char* name, const QRect& geometry) {
    auto* label = new FitLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

} // namespace

Drive::Drive(platform::FileSystem& fileSystem, Forms& forms, NotCarriedSource notCarried,
             QWidget* parent)
    : QMainWindow(parent), m_fileSystem(fileSystem), m_forms(forms),
      m_notCarried(std::move(notCarried)) {
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
    lblWithoutLetter = makeLabel(client, "lblWithoutLetter", twipsRect(120, 1740, 2535, 375));

    // Holds the drive text; it lies below the client area, out of sight, and
    // is the only control that takes the keyboard focus.
    Text1 = new QLineEdit(QStringLiteral("Text1"), client);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(twipsRect(1680, 3480, 495, 285));
    Text1->setAccessibleName(QStringLiteral("Drive letter"));
    // Command keys go on to it as to any text box; the drive text still
    // changes only through the key rule.
    Text1->setReadOnly(true);
    setFocusProxy(Text1);
    Text1->setFocus();

    resize(twips(2790), twips(2160) + menuBar()->sizeHint().height());

    Text1->installEventFilter(this);
    installEventFilter(this);

    addCopyAction(this, [this] {
        DriveLines shown;
        shown.drive = LblDrive->text();
        shown.serial = LblSN->text();
        shown.total = LblTot->text();
        shown.free = LblFree->text();
        QStringList lines = shownDriveLines(shown);
        if (!lblWithoutLetter->text().isEmpty())
            lines << lblWithoutLetter->text();
        return VisibleLines(lines);
    });
}

void Drive::Form_Load() {
    handle([this] {
        GetDriveInfo();
        m_keyPreview = true;
    });
}

void Drive::Close_Click() {
    hide();
    m_forms.showMain();
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
        const auto* key = static_cast<QKeyEvent*>(event);
        if (isCommandKey(key->modifiers()))
            return QMainWindow::eventFilter(watched, event);
        const QString typed = key->text();
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
    const quint64 report = ++m_lastReport;
    setCursor(Qt::BusyCursor);
    askInBackground<DriveLines>(
        this,
        [&fileSystem = m_fileSystem, drive = Text1->text(), locale = QLocale()] {
            return readDriveLines(fileSystem, drive, locale);
        },
        [this, report](const QFuture<DriveLines>& answer) {
            // The lines always show the report for the last letter typed.
            if (report == m_lastReport)
                showReport(answer.result());
        });
}

void Drive::showReport(const DriveLines& lines) {
    unsetCursor();
    auto apply = [](QLabel* label, const std::optional<QString>& text) {
        if (text)
            label->setText(*text);
    };
    apply(LblDrive, lines.drive);
    apply(LblSN, lines.serial);
    apply(LblTot, lines.total);
    apply(LblFree, lines.free);
    lblWithoutLetter->setText(volumesWithoutLetterText(lines.volumesWithoutLetter));
    if (m_notCarried)
        ShowNotCarriedLine(*centralWidget(), twips(120), twips(2160), twips(2550),
                           NotCarriedLine(m_notCarried(), QStringLiteral("drives")));
}

} // namespace ombrix
