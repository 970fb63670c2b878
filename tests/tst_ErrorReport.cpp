#include "app/AppTitle.h"
#include "app/Application.h"
#include "app/ErrorReport.h"
#include "app/Forms.h"
#include "app/Handler.h"
#include "app/Startup.h"
#include "platform/PlatformError.h"

#include "FakeMessageBoxes.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace ombrix;

namespace {
FakeMessageBoxes* g_boxes = nullptr;

struct FailingLoad : QWidget {
    FailingLoad() { throw platform::PlatformError("libgetcpu.so: cannot open shared object file"); }
};
} // namespace

// Runs with the program's own application object, so the report and the
// exit status are the ones the program gives.
class tst_ErrorReport : public QObject {
    Q_OBJECT
private slots:
    void init() { g_boxes->shown.clear(); }

    void failingLoadStepIsReportedAndEndsTheProgram() {
        auto* app = static_cast<Application*>(qApp);
        Forms forms;
        forms.add("Ombrix2", [] { return std::make_unique<FailingLoad>(); });
        const int status = runProgram(*app, forms, "Ombrix2");
        QCOMPARE(status, kErrorExitStatus);
        QCOMPARE(g_boxes->shown.size(), 1);
        QCOMPARE(g_boxes->shown[0].caption, appTitle());
        QVERIFY(g_boxes->shown[0].text.contains("libgetcpu.so"));
        QCOMPARE(g_boxes->shown[0].icon, platform::MessageBoxes::Icon::Critical);
    }

    void handlerErrorIsReportedOnceAndEndsTheLoop() {
        auto* app = static_cast<Application*>(qApp);
        Forms forms;
        forms.add("Main", [] {
            auto button = std::make_unique<QPushButton>("go");
            QObject::connect(button.get(), &QPushButton::clicked, [] {
                handle([] { throw platform::PlatformError("printer control failed"); });
                handle([] { throw platform::PlatformError("a second error"); });
            });
            return button;
        });
        QTimer::singleShot(0, [&] { forms.get<QPushButton>("Main")->click(); });
        const int status = runProgram(*app, forms, "Main");
        QCOMPARE(status, kErrorExitStatus);
        QCOMPARE(g_boxes->shown.size(), 1);
        QCOMPARE(g_boxes->shown[0].text, QString("printer control failed"));
        QVERIFY(!forms.isLoaded("Main"));
    }
};

int main(int argc, char** argv) {
    FakeMessageBoxes boxes;
    g_boxes = &boxes;
    Application app(argc, argv, boxes);
    tst_ErrorReport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ErrorReport.moc"
