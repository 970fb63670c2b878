#include "app/Forms.h"
#include "app/Handler.h"
#include "platform/PlatformError.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QTest>

using namespace ombrix;

namespace {

// A window whose state is a label text and that counts its load steps.
struct CountingForm : QWidget {
    explicit CountingForm(int& loads) {
        ++loads;
        state = new QLabel(this);
        state->setObjectName("state");
    }
    QLabel* state = nullptr;
};

struct StubbornForm : QWidget {
    void closeEvent(QCloseEvent* e) override { e->ignore(); }
};

} // namespace

class tst_Forms : public QObject {
    Q_OBJECT
private slots:
    void firstReferenceLoadsOnce() {
        Forms forms;
        int loads = 0;
        forms.add<CountingForm>([&] { return std::make_unique<CountingForm>(loads); });
        QVERIFY(!forms.isLoaded<CountingForm>());
        QWidget* first = forms.get<CountingForm>();
        QWidget* again = forms.show<CountingForm>();
        forms.show<CountingForm>();
        QCOMPARE(first, again);
        QCOMPARE(loads, 1);
        QVERIFY(first->isVisible());
    }

    void hidingKeepsState() {
        Forms forms;
        int loads = 0;
        forms.add<CountingForm>([&] { return std::make_unique<CountingForm>(loads); });
        auto* w = static_cast<CountingForm*>(forms.show<CountingForm>());
        w->state->setText("kept");
        w->hide();
        auto* shown = static_cast<CountingForm*>(forms.show<CountingForm>());
        QCOMPARE(shown, w);
        QCOMPARE(shown->state->text(), QString("kept"));
        QCOMPARE(loads, 1);
    }

    void closeUnloadsAndNextOpeningLoadsAfresh() {
        Forms forms;
        int loads = 0;
        forms.add<CountingForm>([&] { return std::make_unique<CountingForm>(loads); });
        QPointer<QWidget> old = forms.show<CountingForm>();
        static_cast<CountingForm*>(old.data())->state->setText("old");
        QVERIFY(old->close());
        QVERIFY(!forms.isLoaded<CountingForm>());
        // Reopening before the old window's deferred deletion has run still loads afresh.
        auto* fresh = static_cast<CountingForm*>(forms.show<CountingForm>());
        QVERIFY(fresh != old.data());
        QCOMPARE(fresh->state->text(), QString());
        QCOMPARE(loads, 2);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(old.isNull());
        QVERIFY(forms.isLoaded<CountingForm>());
    }

    void refusedCloseKeepsTheWindow() {
        Forms forms;
        forms.add<StubbornForm>([] { return std::make_unique<StubbornForm>(); });
        QWidget* w = forms.show<StubbornForm>();
        QVERIFY(!w->close());
        QVERIFY(forms.isLoaded<StubbornForm>());
        QCOMPARE(forms.get<StubbornForm>(), w);
    }

    void failingLoadStepLeavesNothingLoaded() {
        Forms forms;
        forms.add<QWidget>(
            []() -> std::unique_ptr<QWidget> { throw platform::PlatformError("load failed"); });
        QVERIFY_THROWS_EXCEPTION(platform::PlatformError, forms.get<QWidget>());
        QVERIFY(!forms.isLoaded<QWidget>());
    }

    void unknownWindowIsNotMade() {
        Forms forms;
        QCOMPARE(forms.get<QLabel>(), nullptr);
        QCOMPARE(forms.show<QLabel>(), static_cast<QWidget*>(nullptr));
    }

    void handlerErrorsReachTheSink() {
        QStringList seen;
        {
            const ScopedErrorSink sink([&](std::exception_ptr e) {
                try {
                    std::rethrow_exception(e);
                } catch (const std::exception& ex) {
                    seen << ex.what();
                }
            });
            handle([] { throw platform::PlatformError("boom"); });
            handle([] {});
        }
        QCOMPARE(seen, QStringList{"boom"});
    }
};

QTEST_MAIN(tst_Forms)
#include "tst_Forms.moc"
