// A bare Qt window whose label shows the time of day, changed at each second
// boundary: the floor for the program's idle cost, which keeps a clock too.
#include <QApplication>
#include <QLabel>
#include <QTime>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel window;
    window.setWindowTitle(QStringLiteral("ticking"));
    window.resize(402, 374);
    QTimer tick;
    tick.setSingleShot(true);
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const QTime now = QTime::currentTime();
        window.setText(now.toString(QStringLiteral("HH:mm:ss")));
        tick.start(1000 - now.msec());
    });
    tick.start(0);
    window.show();
    return app.exec();
}
