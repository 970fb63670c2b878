#include "app/Background.h"
#include "app/Forms.h"
#include "drive_details/Drive.h"
#include "drive_details/DriveReport.h"

#include "FakeFileSystem.h"
#include "ProgramThreads.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QtTest>

#include <limits>

using ombrix::Drive;

class tst_Drive : public QObject {
    Q_OBJECT
    ProgramThreads m_threads;

private:
    std::unique_ptr<FakeFileSystem> m_fs;
    std::unique_ptr<ombrix::Forms> m_forms;
    QPointer<QWidget> m_main;

    Drive* window() { return m_forms->get<Drive>(); }
    QString label(const char* name) {
        return window()->findChild<QLabel*>(QString::fromLatin1(name))->text();
    }
    QStringList lines() {
        return {label("LblDrive"), label("LblSN"), label("LblTot"), label("LblFree")};
    }
    QString driveText() { return window()->findChild<QLineEdit*>(QStringLiteral("Text1"))->text(); }
    // Lets every report started so far reach the window.
    static void settle() {
        ombrix::waitForBackgroundWork();
        QCoreApplication::sendPostedEvents();
    }
    // Types into whatever holds the keyboard focus in the shown window, as a
    // user would, and waits for the report.
    void type(const QString& text, Qt::Key key = Qt::Key_unknown,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        QVERIFY(target);
        QTest::sendKeyEvent(QTest::Click, target, key, text, modifiers);
        settle();
    }
    void showDrive() {
        QWidget* w = m_forms->show<Drive>();
        QVERIFY(QTest::qWaitForWindowActive(w));
        settle();
    }

private slots:
    // Sizes are shown in the user's locale: pin one so the expected figures hold on any machine.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void init() {
        m_fs = std::make_unique<FakeFileSystem>();
        m_fs->drives[u'C'] = {2, 1234567890, 85235228672ull, 270553174016ull};
        m_fs->drives[u'D'] = {4, std::nullopt, std::nullopt, std::nullopt};
        m_forms = std::make_unique<ombrix::Forms>();
        m_forms->add<Drive>([this] {
            auto w = std::make_unique<Drive>(*m_fs, *m_forms);
            w->Form_Load();
            return w;
        });
        m_forms->addMain<QWidget>([] { return std::make_unique<QWidget>(); });
    }
    void cleanup() {
        m_forms.reset();
        settle();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void firstReportIsForTheCurrentDirectorysDrive_data() {
        QTest::addColumn<QChar>("currentDrive");
        QTest::addColumn<bool>("available");
        QTest::addColumn<QString>("firstLine");
        QTest::newRow("current directory on C:") << QChar(u'C') << true << "Unit C: - Hard Disk";
        QTest::newRow("current directory on no drive")
            << QChar(u'X') << true << "Unit Text1: not found";
        QTest::newRow("no file-system object") << QChar(u'C') << false << "Unit Text1: not found";
    }
    void firstReportIsForTheCurrentDirectorysDrive() {
        QFETCH(QChar, currentDrive);
        QFETCH(bool, available);
        QFETCH(QString, firstLine);
        m_fs->currentDrive = currentDrive;
        m_fs->unavailable = !available;
        QCOMPARE(driveText(), QStringLiteral("Text1"));
        settle();
        QCOMPARE(label("LblDrive"), firstLine);
        QCOMPARE(m_fs->created, 1);
    }

    void smallAndCapitalLettersGiveTheSameReport() {
        showDrive();
        type(QStringLiteral("c"));
        const QStringList small = lines();
        QCOMPARE(driveText(), QStringLiteral("C"));
        type(QStringLiteral("C"), Qt::Key_C, Qt::ShiftModifier);
        QCOMPARE(lines(), small);
        QCOMPARE(small, (QStringList{"Unit C: - Hard Disk", "Serial #: 1234567890",
                                     "Total Size: 258,019.61 MB", "Free Space: 81,286.65 MB"}));
        QCOMPARE(m_fs->created, 3); // a fresh object for every report
    }

    // Volumes mounted past Z: are named by their number under the report of
    // any drive, as long as there are such.
    void volumesWithoutLetterAreCounted() {
        m_fs->volumesWithoutLetter = 12;
        showDrive();
        type(QStringLiteral("c"));
        QVERIFY2(label("lblWithoutLetter").startsWith(QStringLiteral("12 mounted volumes")),
                 qPrintable(label("lblWithoutLetter")));
        m_fs->volumesWithoutLetter = 0;
        type(QStringLiteral("d"));
        QCOMPARE(label("lblWithoutLetter"), QString());
    }

    void otherKeysChangeNothing_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        const Qt::KeyboardModifiers plain = Qt::NoModifier;
        QTest::newRow("digit") << "5" << int(Qt::Key_5) << plain;
        QTest::newRow("space") << " " << int(Qt::Key_Space) << plain;
        QTest::newRow("backspace") << "\b" << int(Qt::Key_Backspace) << plain;
        QTest::newRow("enter") << "\r" << int(Qt::Key_Return) << plain;
        QTest::newRow("small accented letter")
            << QStringLiteral("é") << int(Qt::Key_unknown) << plain;
        QTest::newRow("capital accented letter")
            << QStringLiteral("Ä") << int(Qt::Key_unknown) << plain;
        QTest::newRow("letter beyond Z")
            << QStringLiteral("[") << int(Qt::Key_BracketLeft) << plain;
        QTest::newRow("two letters at once")
            << QStringLiteral("ab") << int(Qt::Key_unknown) << plain;
        QTest::newRow("arrow key without text") << QString() << int(Qt::Key_Left) << plain;
        // Keys with Ctrl, Alt or Meta keep their usual meaning, whatever text they carry.
        QTest::newRow("Alt+Z") << "z" << int(Qt::Key_Z) << Qt::KeyboardModifiers(Qt::AltModifier);
        QTest::newRow("Ctrl+C as a letter")
            << "c" << int(Qt::Key_C) << Qt::KeyboardModifiers(Qt::ControlModifier);
        QTest::newRow("Ctrl+C as a control code")
            << "\x03" << int(Qt::Key_C) << Qt::KeyboardModifiers(Qt::ControlModifier);
        QTest::newRow("Meta+E") << "e" << int(Qt::Key_E) << Qt::KeyboardModifiers(Qt::MetaModifier);
        QTest::newRow("Ctrl+Shift+E")
            << "E" << int(Qt::Key_E) << (Qt::ControlModifier | Qt::ShiftModifier);
        QTest::newRow("Alt+Shift+C")
            << "C" << int(Qt::Key_C) << (Qt::AltModifier | Qt::ShiftModifier);
    }
    void otherKeysChangeNothing() {
        QFETCH(QString, text);
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        showDrive();
        type(QStringLiteral("d"));
        const QStringList before = lines();
        const int reports = m_fs->created;
        type(text, Qt::Key(key), modifiers);
        QCOMPARE(lines(), before);
        QCOMPARE(driveText(), QStringLiteral("D"));
        QCOMPARE(m_fs->created, reports);
    }

    void everyCharacterCodeIsSafe() {
        // The rule itself, for every code point.
        int accepted = 0;
        for (char32_t code = 0; code <= 0x10FFFF; ++code)
            accepted += ombrix::isDriveKey(QString::fromUcs4(&code, 1)) ? 1 : 0;
        QCOMPARE(accepted, 52);

        // Through the window: every code of the basic plane (control codes and
        // lone surrogates among them) and a spread over the others, including
        // each plane's first and last code.
        showDrive();
        QWidget* target = QApplication::focusWidget();
        QVERIFY(target);
        int letters = 0;
        auto press = [&](char32_t code) {
            QKeyEvent event(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier,
                            QString::fromUcs4(&code, 1));
            QCoreApplication::sendEvent(target, &event);
            if ((code >= 'A' && code <= 'Z') || (code >= 'a' && code <= 'z'))
                ++letters;
        };
        for (char32_t code = 0; code <= 0xFFFF; ++code)
            press(code);
        for (char32_t code = 0x10000; code <= 0x10FFFF; code += 0x101)
            press(code);
        for (char32_t plane = 1; plane <= 0x10; ++plane) {
            press(plane << 16);
            press((plane << 16) | 0xFFFF);
        }
        settle();
        QCOMPARE(m_fs->created, 1 + letters);
        QCOMPARE(driveText(), QStringLiteral("Z"));
        QCOMPARE(label("LblDrive"), QStringLiteral("Unit Z: not found"));
    }

    void sizesUseTheLocaleAndTheMegabyteThreshold_data() {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("exactly one megabyte") << quint64(1048576) << "1.00 MB";
        QTest::newRow("one byte short of a megabyte") << quint64(1048575) << "1,024 KB";
        QTest::newRow("empty") << quint64(0) << "0 KB";
        QTest::newRow("1.44 MB diskette") << quint64(1457664) << "1.39 MB";
        QTest::newRow("720 KB diskette") << quint64(737280) << "720 KB";
        QTest::newRow("80 GB disk") << quint64(80026361856ull) << "76,319.09 MB";
        QTest::newRow("half a kilobyte rounds up") << quint64(512) << "1 KB";
        QTest::newRow("beyond 2^53 bytes") << quint64(1ull << 60) << "1,099,511,627,776.00 MB";
        QTest::newRow("largest count")
            << std::numeric_limits<quint64>::max() << "17,592,186,044,416.00 MB";
    }
    void sizesUseTheLocaleAndTheMegabyteThreshold() {
        QFETCH(quint64, bytes);
        QFETCH(QString, shown);
        m_fs->drives[u'E'] = {1, -5, bytes, bytes};
        showDrive();
        auto layout = [this] {
            QList<QRect> places{window()->geometry()};
            for (const QLabel* l : window()->findChildren<QLabel*>())
                places << l->geometry();
            return places;
        };
        const QList<QRect> before = layout();
        type(QStringLiteral("e"));
        QCOMPARE(lines(), (QStringList{"Unit E: - Removable", "Serial #: -5",
                                       "Total Size: " + shown, "Free Space: " + shown}));
        // Long figures fit the labels; no label moves or grows, nor does the window.
        QCOMPARE(layout(), before);
    }

    void sizesFollowOtherLocales() {
        QCOMPARE(ombrix::formatDriveSize(80026361856ull, QLocale(QLocale::German)),
                 QStringLiteral("76.319,09 MB"));
        QCOMPARE(ombrix::formatDriveSize(1048575, QLocale(QLocale::German)),
                 QStringLiteral("1.024 KB"));
    }

    void typeCodesAreNamed_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("line");
        QTest::newRow("0 unknown") << 0 << "Unit F: - Unknow";
        QTest::newRow("1 removable") << 1 << "Unit F: - Removable";
        QTest::newRow("3 network") << 3 << "Unit F: - Network";
        QTest::newRow("4 CD-ROM") << 4 << "Unit F: - CD-ROM";
        QTest::newRow("5 RAM disc") << 5 << "Unit F: - RAM Disc";
        QTest::newRow("6 outside the table") << 6 << "Unit F: - ";
        QTest::newRow("negative outside the table") << -1 << "Unit F: - ";
    }
    void typeCodesAreNamed() {
        QFETCH(int, code);
        QFETCH(QString, line);
        m_fs->drives[u'F'] = {code, 7, 2048, 4096};
        showDrive();
        type(QStringLiteral("f"));
        QCOMPARE(label("LblDrive"), line);
        QCOMPARE(label("LblSN"), QStringLiteral("Serial #: 7"));
    }

    void reportsReplaceEachOther() {
        showDrive();
        type(QStringLiteral("q"));
        QCOMPARE(lines(), (QStringList{"Unit Q: not found", "", "", ""}));
        type(QStringLiteral("c"));
        for (const QString& line : lines())
            QVERIFY2(!line.isEmpty(), qPrintable(lines().join(u'|')));
        type(QStringLiteral("d"));
        QCOMPARE(lines(), (QStringList{"Unit D: - CD-ROM", "Unit not ready", "", ""}));
        type(QStringLiteral("d"));
        QCOMPARE(label("LblSN"), QStringLiteral("Unit not ready"));
        type(QStringLiteral("C"));
        QCOMPARE(label("LblSN"), QStringLiteral("Serial #: 1234567890"));
    }

    // Another computer's drives come without serial numbers: their sizes
    // stand, and no serial line is left from the drive shown before.
    void aDriveWithoutSerialShowsItsSizes() {
        m_fs->drives[u'H'] = {2, std::nullopt, 2048, 4096};
        showDrive();
        type(QStringLiteral("c"));
        type(QStringLiteral("h"));
        QCOMPARE(lines(),
                 (QStringList{"Unit H: - Hard Disk", "", "Total Size: 4 KB", "Free Space: 2 KB"}));
    }

    void aSizeThatCannotBeReadKeepsItsLine() {
        m_fs->drives[u'G'] = {2, 99, std::nullopt, 4096};
        showDrive();
        type(QStringLiteral("c"));
        const QString freeBefore = label("LblFree");
        type(QStringLiteral("g"));
        QCOMPARE(lines(), (QStringList{"Unit G: - Hard Disk", "Serial #: 99", "Total Size: 4 KB",
                                       freeBefore}));
    }

    void aHungDriveHoldsNothingUp() {
        auto gate = std::make_shared<FakeGate>();
        m_fs->drives[u'H'] = {3, 1, 2, 3};
        m_fs->hung[u'H'] = gate;
        showDrive();
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target, Qt::Key_H);
        // The report waits off the window's thread: the window takes the next key.
        QTRY_COMPARE(gate->waiting(), 1);
        type(QStringLiteral("c"));
        QCOMPARE(label("LblDrive"), QStringLiteral("Unit C: - Hard Disk"));
        // The late answer for H is not shown over the report for C.
        gate->open();
        settle();
        QCOMPARE(label("LblDrive"), QStringLiteral("Unit C: - Hard Disk"));

        // Closed while a report is out: the answer finds no window, and no harm is done.
        auto again = std::make_shared<FakeGate>();
        m_fs->hung[u'H'] = again;
        QTest::keyClick(target, Qt::Key_H);
        QTRY_COMPARE(again->waiting(), 1);
        window()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!m_forms->isLoaded<Drive>());
        again->open();
        settle();
    }

    void closeHidesAndShowsTheMainWindow() {
        showDrive();
        type(QStringLiteral("d"));
        const QStringList report = lines();
        const int reports = m_fs->created;
        Drive* before = window();
        window()->findChild<QAction*>(QStringLiteral("Close"))->trigger();
        QVERIFY(!before->isVisible());
        QVERIFY(m_forms->window<QWidget>()->isVisible());
        QVERIFY(m_forms->isLoaded<Drive>());
        showDrive();
        QCOMPARE(window(), before);
        QCOMPARE(lines(), report);
        QCOMPARE(driveText(), QStringLiteral("D"));
        QCOMPARE(m_fs->created, reports);
    }

    void closingUnloadsAndTheNextOpeningReportsAfresh() {
        showDrive();
        type(QStringLiteral("d"));
        window()->close();
        QVERIFY(!m_forms->isLoaded<Drive>());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        showDrive();
        QCOMPARE(driveText(), QStringLiteral("Text1"));
        QCOMPARE(label("LblDrive"), QStringLiteral("Unit C: - Hard Disk"));
    }

    void onlyTheHiddenDriveTextTakesTheFocus() {
        showDrive();
        const auto text1 = window()->findChild<QLineEdit*>(QStringLiteral("Text1"));
        QCOMPARE(QApplication::focusWidget(), text1);
        QVERIFY(text1->y() >= window()->centralWidget()->height());
        for (QWidget* w : window()->findChildren<QWidget*>()) {
            if (w != text1)
                QVERIFY2(w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(window()),
                         qPrintable(w->objectName()));
        }
    }
};

QTEST_MAIN(tst_Drive)
#include "tst_Drive.moc"
