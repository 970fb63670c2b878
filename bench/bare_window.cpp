// A bare Qt window: the yardstick the program's start-up, memory and idle
// figures are compared with.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("A bare Qt window"));
    window.setWindowTitle(QStringLiteral("bare"));
    window.resize(402, 374);
    window.show();
    return app.exec();
}
