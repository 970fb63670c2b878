// How long a stuck service holds up the user-interface thread. A timer that
// should fire every 10 ms records its longest gap while the real windows ask
// a service that does not answer:
//   stall_probe printers   the printers window opened, then "Refresh", with
//                          the print service CUPS_SERVER names (a stopped one)
//   stall_probe drive      a key for a drive whose FUSE server never answers
//                          (needs root: mounts in a namespace of its own)
// bench/ui_stall.py sets up the stopped scheduler and runs both.
#include "app/Background.h"
#include "app/Forms.h"
#include "drive_details/Drive.h"
#include "main_window/PrinterInstallControl.h"
#include "main_window/PrintersWindow.h"
#include "platform/linux/BoundedCall.h"
#include "platform/linux/drives/LinuxFileSystem.h"
#include "platform/linux/modules/LazyPrinters.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace ombrix;

namespace {

constexpr int kTickMs = 10;

// The longest time between two ticks of a 10 ms timer while `act` runs and
// the loop goes on for `settleMs`; also when `done` first held.
struct Stall {
    qint64 longestMs = 0;
    qint64 answeredMs = -1;
};

Stall measure(const std::function<void()>& act, const std::function<bool()>& done, int settleMs) {
    Stall stall;
    QElapsedTimer clock;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(kTickMs);
    qint64 last = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        stall.longestMs = std::max(stall.longestMs, now - last);
        last = now;
        if (stall.answeredMs < 0 && done())
            stall.answeredMs = now;
    });
    clock.start();
    ticker.start();
    QTimer::singleShot(50, act);
    QTest::qWait(settleMs);
    return stall;
}

void print(const char* what, const Stall& stall) {
    std::printf("%-34s longest UI stall %5lld ms, result shown after %lld ms\n", what,
                stall.longestMs, stall.answeredMs);
}

int probePrinters() {
    platform::LazyPrinters printers;
    PrinterInstallControl control(printers);
    auto message = [&] {
        PrintersWindow* w = control.window();
        auto* label = w ? w->findChild<QLabel*>(QStringLiteral("lblMessage")) : nullptr;
        return label ? label->text() : QString();
    };
    // Every answer names the print service or its printers; the question does not.
    auto listed = [&] {
        const QString m = message();
        return m.contains(QStringLiteral("print")) && !m.startsWith(QStringLiteral("Asking"));
    };
    // What the machine's own load costs a timer, with nothing asked.
    print("nothing asked (noise floor):", measure([] {}, [] { return true; }, 2000));
    print("printers window opened:", measure([&] { control.call(5); }, listed, 6000));
    control.window()->findChild<QLabel*>(QStringLiteral("lblMessage"))->clear();
    print("printers Refresh:",
          measure(
              [&] {
                  control.window()->findChild<QPushButton*>(QStringLiteral("cmdRefresh"))->click();
              },
              listed, 6000));
    return 0;
}

int probeDrive() {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr))
        return std::perror("a mount namespace of our own (root needed)"), 2;
    QTemporaryDir dir;
    const int fuse = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    const QByteArray options =
        QStringLiteral("fd=%1,rootmode=40000,user_id=0,group_id=0").arg(fuse).toLatin1();
    // Nobody ever reads the connection: every request on it waits.
    if (fuse < 0 || ::mount("ombrixhung", QFile::encodeName(dir.path()).constData(),
                            "fuse.ombrixhung", MS_NOSUID | MS_NODEV, options.constData()) != 0)
        return std::perror("a FUSE mount"), 2;

    platform::LinuxFileSystem fs;
    QChar letter;
    for (const platform::DriveEntry& d : fs.drives())
        if (d.mount && d.mount->mountPoint == QFile::encodeName(dir.path()))
            letter = d.letter;
    if (letter.isNull())
        return std::fprintf(stderr, "the FUSE mount got no drive letter\n"), 2;

    Forms forms;
    Drive window(fs, forms);
    window.Form_Load();
    window.show();
    auto* serial = window.findChild<QLabel*>(QStringLiteral("LblSN"));
    QTest::qWait(300);
    const Stall stall = measure(
        [&] {
            QTest::sendKeyEvent(QTest::Click, window.focusWidget(), Qt::Key_unknown,
                                QString(letter), Qt::NoModifier);
        },
        [&] { return serial->text() == QLatin1String("Unit not ready"); }, 3000);
    print(qPrintable(QStringLiteral("drive %1: on a hung FUSE mount:").arg(letter)), stall);
    ::close(fuse); // aborts the connection, so the stuck reader returns
    ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication app(argc, argv);
    // The owners of the threads the program starts, made as the program makes them.
    ombrix::platform::BoundedWorkers boundedWorkers(ombrix::kMostExitWait);
    ombrix::BackgroundThreads background;
    const QByteArray what = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (what == "printers")
        return probePrinters();
    if (what == "drive")
        return probeDrive();
    std::fprintf(stderr, "usage: stall_probe printers|drive\n");
    return 2;
}
