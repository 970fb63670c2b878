#include "app/FitLabel.h"
#include "app/ShownTextDelegate.h"

#include <QTest>

using namespace ombrix;

// A label in a fixed layout shows its whole value: in a smaller font where it
// must, elided only past the smallest readable size, and never losing the
// value a screen reader reads.
class tst_FitLabel : public QObject {
    Q_OBJECT
private slots:
    void fittingTextIsDrawnAsIs() {
        FitLabel label("2596");
        label.setGeometry(0, 0, 80, 17);
        label.grab();
        QVERIFY(label.toolTip().isEmpty());
    }

    void slightlyTooWideTextShrinksWithoutEliding() {
        FitLabel label("Computer Name:");
        QFont f = label.font();
        f.setPointSizeF(9);
        label.setFont(f);
        const int natural = label.fontMetrics().horizontalAdvance(label.text());
        label.setGeometry(0, 0, natural * 9 / 10, 17);
        label.grab();
        QVERIFY(label.toolTip().isEmpty()); // all of it is drawn
        QCOMPARE(label.text(), QString("Computer Name:"));
    }

    void hopelesslyLongTextIsElidedWithTheValueInTheTooltip() {
        const QString model = "Intel(R) Xeon(R) Platinum 8480+ CPU @ 2.00GHz with a long suffix";
        FitLabel label(model);
        label.setGeometry(0, 0, 81, 17);
        label.grab();
        QCOMPARE(label.toolTip(), model);
        QCOMPARE(label.text(), model);
        // A new value that fits clears the tooltip again.
        label.setText("AMD EPYC");
        label.grab();
        QVERIFY(label.toolTip().isEmpty());
    }

    void aLabelTwoLinesHighWrapsBeforeItShrinks_data() {
        QTest::addColumn<bool>("wrap");
        QTest::addColumn<bool>("whole");
        QTest::newRow("two lines") << true << true;
        QTest::newRow("one line") << false << false;
    }
    void aLabelTwoLinesHighWrapsBeforeItShrinks() {
        QFETCH(bool, wrap);
        QFETCH(bool, whole);
        // Too long for one line even at the smallest size, short enough for two.
        FitLabel label("Total Size: 17,592,186,044,416.00 MB");
        QFont f = label.font();
        f.setPointSizeF(8);
        label.setFont(f);
        const QFontMetrics metrics(f);
        label.setGeometry(0, 0, metrics.horizontalAdvance("17,592,186,044,416.00 MB") + 2,
                          2 * metrics.lineSpacing() + 2);
        label.setWordWrap(wrap);
        label.grab();
        QCOMPARE(label.toolTip().isEmpty(), whole);
    }

    // A name's bidirectional controls are drawn written out, in a label and
    // in a list alike; the label keeps the name itself, for Copy and screen
    // readers.
    void bidiControlsAreDrawnWrittenOut() {
        const QString name = QStringLiteral("ab") + QChar(0x202E) + QStringLiteral("cd.exe");
        const QString written = QStringLiteral("ab\\u202ecd.exe");
        FitLabel label(name);
        FitLabel writtenOut(written);
        for (FitLabel* l : {&label, &writtenOut})
            l->setGeometry(0, 0, 200, 17);
        QCOMPARE(label.grab().toImage(), writtenOut.grab().toImage());
        QCOMPARE(label.text(), name);
        QVERIFY(label.toolTip().isEmpty());
        QCOMPARE(ShownTextDelegate().displayText(name, QLocale()), written);
    }
};

QTEST_MAIN(tst_FitLabel)
#include "tst_FitLabel.moc"
