#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

// Runs the built program with arguments, with no display in reach: the
// command line is answered before any window would need one.
class tst_CommandLine : public QObject {
    Q_OBJECT

private slots:
    void answersWithoutADisplay_data();
    void answersWithoutADisplay();
    void unwritableOutputIsAnError_data();
    void unwritableOutputIsAnError();
    void progressShowsOnATerminal();
};

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

QProcessEnvironment withoutDisplay() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    return env;
}

Run run(const QStringList& args, const QString& stdoutFile = {}) {
    QProcess process;
    process.setProcessEnvironment(withoutDisplay());
    if (!stdoutFile.isEmpty())
        process.setStandardOutputFile(stdoutFile);
    process.start(QStringLiteral(OMBRIX_BIN_DIR "/ombrix"), args);
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

} // namespace

void tst_CommandLine::answersWithoutADisplay_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("stdoutPattern"); // the whole of stdout
    QTest::addColumn<QString>("stderrPattern"); // the whole of stderr

    const QString version = QStringLiteral("ombrix " OMBRIX_VERSION "\n");
    const QString help = QStringLiteral("Usage: ombrix \\[options\\]\n(.|\n)*--version(.|\n)*");
    const QString usageError = QStringLiteral("ombrix: [^\n]+\n");
    QTest::newRow("--version") << QStringList{"--version"} << 0 << version << QString();
    QTest::newRow("-v") << QStringList{"-v"} << 0 << version << QString();
    QTest::newRow("--help") << QStringList{"--help"} << 0 << help << QString();
    QTest::newRow("-h") << QStringList{"-h"} << 0 << help << QString();
    QTest::newRow("Qt's own option passes")
        << QStringList{"-platform", "offscreen", "--version"} << 0 << version << QString();
    QTest::newRow("unknown long") << QStringList{"--bogus"} << 2 << QString() << usageError;
    QTest::newRow("unknown short") << QStringList{"-x"} << 2 << QString() << usageError;
    QTest::newRow("several unknown")
        << QStringList{"--a", "--b", "-c"} << 2 << QString() << usageError;
    QTest::newRow("unknown beside --version")
        << QStringList{"--version", "--bogus"} << 2 << QString() << usageError;
    QTest::newRow("argument") << QStringList{"file.txt"} << 2 << QString() << usageError;
    QTest::newRow("missing value") << QStringList{"-platform"} << 2 << QString() << usageError;
    // Another computer is read before any window, once there is a display:
    // one that cannot be reached ends the run with one line naming it.
    QTest::newRow("computer, without a display")
        << QStringList{"--computer", "127.0.0.1:1"} << 1 << QString()
        << QStringLiteral("ombrix: cannot open the display; run it in a desktop session\n");
    QTest::newRow("computer that cannot be reached") // after what Qt says of its platform
        << QStringList{"-platform", "offscreen", "--computer", "127.0.0.1:1"} << 1 << QString()
        << QStringLiteral("([^\n]*\n)*ombrix: [^\n]*127\\.0\\.0\\.1:1[^\n]*\n");
    QTest::newRow("computer without a name")
        << QStringList{"--computer", " \\\\ "} << 2 << QString() << usageError;
    QTest::newRow("two computers")
        << QStringList{"--computer", "a", "--computer", "b"} << 2 << QString() << usageError;
    QTest::newRow("a list of computers that is not there")
        << QStringList{"--report", "--computers", "/nonexistent/ombrix-hosts"} << 2 << QString()
        << QStringLiteral("ombrix: --computers /nonexistent/ombrix-hosts cannot be read: [^\n]+\n");
    QTest::newRow("a folder as a list of computers")
        << QStringList{"--report", "--computers", "/"} << 2 << QString() << usageError;
    // A list for the windows is read before the display is looked for.
    QTest::newRow("a list of computers for the windows")
        << QStringList{"--computers", OMBRIX_FIXTURES_DIR "/computers.txt"} << 1 << QString()
        << QStringLiteral("ombrix: cannot open the display; run it in a desktop session\n");
    QTest::newRow("a list for the windows that is not there")
        << QStringList{"--computers", "/nonexistent/ombrix-hosts"} << 2 << QString() << usageError;
    for (const char* count : {"0", "-3", "many", ""})
        QTest::newRow(qPrintable(QStringLiteral("--parallel \"%1\"").arg(count)))
            << QStringList{"--report", "--computer", "127.0.0.1:1", "--parallel", count} << 2
            << QString() << usageError;
    QTest::newRow("--parallel for the windows")
        << QStringList{"--parallel", "4"} << 2 << QString() << usageError;
    QTest::newRow("a report of computers one at a time")
        << QStringList{"--report",   "--computer", "127.0.0.1:1", "--computer", "127.0.0.1:2",
                       "--parallel", "1"}
        << 1 << QStringLiteral("=== 127.0.0.1:1 ===\n(.|\n)*=== 127.0.0.1:2 ===\n(.|\n)*")
        << QStringLiteral("ombrix: 127.0.0.1:1 could not be reached: [^\r\n\x1b]+\n"
                          "ombrix: 127.0.0.1:2 could not be reached: [^\r\n\x1b]+\n");
    QTest::newRow("a report of computers, no progress on a pipe")
        << QStringList{"--report", "--computer", "127.0.0.1:1"} << 1
        << QStringLiteral("=== 127.0.0.1:1 ===\n(.|\n)*")
        << QStringLiteral("ombrix: 127.0.0.1:1 could not be reached: [^\r\n\x1b]+\n");
    QTest::newRow("--computer without a value")
        << QStringList{"--computer"} << 2 << QString() << usageError;
    // A port that is none is bad usage, for the windows and the report alike.
    for (const char* port : {"127.0.0.2:abc", "127.0.0.2:65536"}) {
        QTest::addRow("windows of %s", port)
            << QStringList{"--computer", port} << 2 << QString() << usageError;
        QTest::addRow("report of %s", port)
            << QStringList{"--report", "--computer", port} << 2 << QString() << usageError;
    }
}

void tst_CommandLine::answersWithoutADisplay() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, stdoutPattern);
    QFETCH(QString, stderrPattern);
    const Run r = run(args);
    QCOMPARE(r.status, status);
    const auto whole = [](const QString& p) {
        return QRegularExpression(QRegularExpression::anchoredPattern(p));
    };
    QVERIFY2(whole(stdoutPattern).match(r.out).hasMatch(), qPrintable(r.out));
    QVERIFY2(whole(stderrPattern).match(r.err).hasMatch(), qPrintable(r.err));
}

void tst_CommandLine::unwritableOutputIsAnError_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("output"); // a shell redirection of descriptor 1
    // The report opens sockets and files of its own: none of them may take
    // the place of a closed output and receive the report.
    for (const char* args : {"--version", "--help", "--report", "--report --format json"}) {
        QTest::addRow("%s, closed output", args) << QString(args).split(' ') << ">&-";
        QTest::addRow("%s, a full disk", args) << QString(args).split(' ') << ">/dev/full";
    }
}

// An answer that could not be written is not reported as success: one line
// on stderr and status 1.
void tst_CommandLine::unwritableOutputIsAnError() {
    QFETCH(QStringList, args);
    QFETCH(QString, output);
    if (output.contains("/dev/full") && !QFileInfo::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full on this machine");
    QProcess process;
    process.setProcessEnvironment(withoutDisplay());
    process.start("/bin/sh",
                  QStringList{"-c", "exec \"$0\" \"$@\" " + output, OMBRIX_BIN_DIR "/ombrix"} +
                      args);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    const QByteArray err = process.readAllStandardError();
    QCOMPARE(process.exitCode(), 1);
    QVERIFY2(err.startsWith("ombrix: ") && err.count('\n') == 1, err.constData());
}

// A report of other computers says how far it is on standard error when
// that is a terminal, on one line that it clears before its last messages.
void tst_CommandLine::progressShowsOnATerminal() {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    const QByteArray terminal = ptsname(master);
    QProcess process;
    process.setProcessEnvironment(withoutDisplay());
    process.setChildProcessModifier([&terminal] {
        const int fd = open(terminal.constData(), O_RDWR | O_NOCTTY);
        if (fd >= 0)
            dup2(fd, STDERR_FILENO);
    });
    process.start(QStringLiteral(OMBRIX_BIN_DIR "/ombrix"),
                  {"--report", "--computer", "127.0.0.1:1", "--computer", "127.0.0.1:1"});
    QVERIFY(process.waitForFinished(60000));
    QByteArray err;
    char buffer[4096];
    pollfd ready{master, POLLIN, 0};
    while (poll(&ready, 1, 0) == 1 && (ready.revents & POLLIN)) {
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got <= 0)
            break;
        err.append(buffer, got);
    }
    close(master);
    QCOMPARE(process.exitCode(), 1);
    // Drawn at the line's start, once the names are counted (one computer
    // named twice), then cleared; the failure follows on a line of its own.
    QVERIFY2(err.startsWith("\rombrix: 0 of 1 computers, 0.0 s\x1b[K"), err.constData());
    QVERIFY2(err.contains("\r\x1b[Kombrix: 127.0.0.1:1 could not be reached: "), err.constData());
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_CommandLine.moc"
