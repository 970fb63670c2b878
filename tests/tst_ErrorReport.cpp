#include "app/AppTitle.h"
#include "app/Application.h"
#include "app/ErrorReport.h"
#include "app/Forms.h"
#include "app/Handler.h"
#include "app/Startup.h"
#include "main_window/Ombrix2.h"
#include "platform/PlatformError.h"
#include "platform/linux/LinuxCpuLibrary.h"

#include "FakeMachine.h"
#include "FakeMessageBoxes.h"
#include "ProgramApplication.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace ombrix;

namespace {
FakeMessageBoxes* g_boxes = nullptr;

} // namespace

// Runs with the program's own application object, so the report and the
// exit status are the ones the program gives.
class tst_ErrorReport : public QObject {
    Q_OBJECT
private slots:
    void init() { g_boxes->shown.clear(); }

    void missingProcessorLibraryIsReportedAndEndsTheProgram_data() {
        QTest::addColumn<QString>("library");
        QTest::addColumn<QString>("named");
        QTest::newRow("no such library") << "/nonexistent/libgetcpu.so"
                                         << "libgetcpu.so";
        // A library without the three functions: the C library itself.
        QTest::newRow("library without the functions") << "libc.so.6"
                                                       << "GetProcessor";
    }
    void missingProcessorLibraryIsReportedAndEndsTheProgram() {
        QFETCH(QString, library);
        QFETCH(QString, named);
        auto* app = static_cast<Application*>(qApp);
        FakeMachine machine;
        platform::LinuxCpuLibrary cpu(library.toStdString());
        Forms forms;
        forms.addMain<Ombrix2>([&] {
            auto w = std::make_unique<Ombrix2>(forms, machine.services(nullptr, &cpu));
            w->Form_Load();
            return w;
        });
        const int status = runProgram(*app, forms);
        QCOMPARE(status, kErrorExitStatus);
        QCOMPARE(g_boxes->shown.size(), 1);
        QCOMPARE(g_boxes->shown[0].caption, appTitle());
        QVERIFY2(g_boxes->shown[0].text.contains(named), qPrintable(g_boxes->shown[0].text));
        QVERIFY(!forms.isLoaded<Ombrix2>());
        QCOMPARE(g_boxes->shown[0].icon, platform::MessageBoxes::Icon::Critical);
    }

    void handlerErrorIsReportedOnceAndEndsTheLoop() {
        auto* app = static_cast<Application*>(qApp);
        Forms forms;
        forms.addMain<QPushButton>([] {
            auto button = std::make_unique<QPushButton>("go");
            QObject::connect(button.get(), &QPushButton::clicked, [] {
                handle([] { throw platform::PlatformError("printer control failed"); });
                handle([] { throw platform::PlatformError("a second error"); });
            });
            return button;
        });
        QTimer::singleShot(0, [&] { forms.get<QPushButton>()->click(); });
        const int status = runProgram(*app, forms);
        QCOMPARE(status, kErrorExitStatus);
        QCOMPARE(g_boxes->shown.size(), 1);
        QCOMPARE(g_boxes->shown[0].text, QString("printer control failed"));
        QVERIFY(!forms.isLoaded<QPushButton>());
    }
};

int main(int argc, char** argv) {
    return runWithProgramApplication<tst_ErrorReport>(argc, argv, &g_boxes);
}

#include "tst_ErrorReport.moc"
