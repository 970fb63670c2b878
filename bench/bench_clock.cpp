// How late after each second boundary the main window's clock label changes.
//   bench_clock [seconds=60]   (runs headless with QT_QPA_PLATFORM=offscreen)
#include "app/Forms.h"
#include "main_window/Ombrix2.h"
#include "platform/qt/SystemClock.h"

#include "FakeMachine.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace ombrix;

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    FakeMachine machine;
    platform::SystemClock clock;
    Forms forms;
    Ombrix2 window(forms, machine.services(&clock));
    window.Form_Load();
    window.show();

    auto* label = window.findChild<QLabel*>("Label1");
    std::vector<double> lateMs;
    QString last;
    // Runs after the window's own handler, so the label holds the new text.
    QObject::connect(window.findChild<QTimer*>("Timer1"), &QTimer::timeout, [&] {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        if (label->text() != last && !last.isEmpty())
            lateMs.push_back(ts.tv_nsec / 1e6);
        last = label->text();
    });
    QTimer::singleShot(seconds * 1000 + 500, &app, &QApplication::quit);
    app.exec();

    std::sort(lateMs.begin(), lateMs.end());
    if (lateMs.empty())
        return 1;
    std::printf("clock label changes: %zu over %d s; after the second boundary: median %.3f ms, "
                "worst %.3f ms\n",
                lateMs.size(), seconds, lateMs[lateMs.size() / 2], lateMs.back());
    return 0;
}
