#include "about/frmAbout.h"
#include "app/AppTitle.h"
#include "app/Forms.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <memory>

using ombrix::frmAbout;

class tst_frmAbout : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loadStepSetsTheCaptions();
    void keysCloseWhicheverControlHasFocus_data();
    void keysCloseWhicheverControlHasFocus();
    void unloadsOnOkAndTheCloseBox_data();
    void unloadsOnOkAndTheCloseBox();
    void showingAgainGivesTheSameBox();
    void textsAreNotClipped();
    void ruleIsGreyOverWhite();

private:
    frmAbout* show() { return qobject_cast<frmAbout*>(m_forms->show<frmAbout>()); }

    std::unique_ptr<ombrix::Forms> m_forms;
    int m_loads = 0;
};

void tst_frmAbout::init() {
    m_forms = std::make_unique<ombrix::Forms>();
    m_loads = 0;
    m_forms->add<frmAbout>([this] {
        auto w = std::make_unique<frmAbout>();
        w->Form_Load();
        ++m_loads;
        return w;
    });
}

void tst_frmAbout::cleanup() {
    m_forms.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void tst_frmAbout::loadStepSetsTheCaptions() {
    frmAbout* box = show();
    QVERIFY(box);
    QCOMPARE(box->windowTitle(), QStringLiteral("About Ombrix (upload)"));
    QCOMPARE(box->findChild<QLabel*>("lblTitle")->text(), ombrix::appTitle());
    QCOMPARE(box->findChild<QLabel*>("lblVersion")->text(), QStringLiteral("Version 1.0"));
    QCOMPARE(box->findChild<QLabel*>("lblDescription")->text(),
             QStringLiteral("This program is designed to gather information on your system "
                            "including the operating system."));
    QVERIFY(!box->findChild<QLabel*>("Label1")->text().isEmpty());
}

void tst_frmAbout::keysCloseWhicheverControlHasFocus_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("focusOnOk");
    QTest::newRow("Enter on OK") << int(Qt::Key_Return) << true;
    QTest::newRow("keypad Enter on OK") << int(Qt::Key_Enter) << true;
    QTest::newRow("Escape on OK") << int(Qt::Key_Escape) << true;
    QTest::newRow("Enter with no control focused") << int(Qt::Key_Return) << false;
    QTest::newRow("Escape with no control focused") << int(Qt::Key_Escape) << false;
}

void tst_frmAbout::keysCloseWhicheverControlHasFocus() {
    QFETCH(int, key);
    QFETCH(bool, focusOnOk);
    frmAbout* box = show();
    QVERIFY(QTest::qWaitForWindowActive(box));
    auto* ok = box->findChild<QPushButton*>("cmdOK");
    QVERIFY(ok->isDefault());
    if (focusOnOk) {
        ok->setFocus();
        QVERIFY(ok->hasFocus());
    } else {
        if (QWidget* focused = QApplication::focusWidget())
            focused->clearFocus();
        QVERIFY(!QApplication::focusWidget());
    }
    QWidget* target = focusOnOk ? static_cast<QWidget*>(ok) : box;
    QPointer<frmAbout> guard(box);
    QTest::keyClick(target, Qt::Key(key));
    QVERIFY(!m_forms->isLoaded<frmAbout>());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(guard.isNull());
}

void tst_frmAbout::unloadsOnOkAndTheCloseBox_data() {
    QTest::addColumn<bool>("viaOk");
    QTest::newRow("OK") << true;
    QTest::newRow("close box") << false;
}

void tst_frmAbout::unloadsOnOkAndTheCloseBox() {
    QFETCH(bool, viaOk);
    frmAbout* box = show();
    QCOMPARE(m_loads, 1);
    if (viaOk)
        QTest::mouseClick(box->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    else
        QVERIFY(box->close());
    QVERIFY(!m_forms->isLoaded<frmAbout>());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // The next opening loads it afresh, load step and all.
    frmAbout* again = show();
    QCOMPARE(m_loads, 2);
    QCOMPARE(again->windowTitle(), QStringLiteral("About Ombrix (upload)"));
}

void tst_frmAbout::showingAgainGivesTheSameBox() {
    frmAbout* box = show();
    QCOMPARE(show(), box);
    QCOMPARE(m_loads, 1);
    int boxes = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        boxes += qobject_cast<frmAbout*>(w) != nullptr;
    QCOMPARE(boxes, 1);
}

// The layout is given for a small system font: with the toolkit's font every
// text must still fit its label.
void tst_frmAbout::textsAreNotClipped() {
    frmAbout* box = show();
    for (const char* name : {"lblTitle", "lblVersion", "lblDescription", "Label1"}) {
        auto* label = box->findChild<QLabel*>(name);
        QVERIFY2(label->heightForWidth(label->width()) <= label->height(), name);
        QVERIFY2(box->rect().contains(label->geometry()), name);
    }
    auto* ok = box->findChild<QPushButton*>("cmdOK");
    QVERIFY(ok->fontMetrics().horizontalAdvance(ok->text()) < ok->width());
}

void tst_frmAbout::ruleIsGreyOverWhite() {
    frmAbout* box = show();
    QWidget* line = box->findChild<QWidget*>("Line1");
    QVERIFY(line);
    const QImage image = box->grab().toImage();
    // Rows 163 (grey, 1 px) and 164 to 165 (white, 2 px), at 1x.
    QVERIFY(image.devicePixelRatio() == 1.0);
    for (int x : {10, 200, 376}) {
        QCOMPARE(image.pixelColor(x, 163), QColor(128, 128, 128));
        QCOMPARE(image.pixelColor(x, 164), QColor(Qt::white));
        QCOMPARE(image.pixelColor(x, 165), QColor(Qt::white));
    }
    QVERIFY(image.pixelColor(200, 162) != QColor(128, 128, 128));
    QVERIFY(image.pixelColor(200, 166) != QColor(Qt::white));
}

QTEST_MAIN(tst_frmAbout)
#include "tst_frmAbout.moc"
