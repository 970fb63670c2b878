#include "ProgramThreads.h"
#include "main_window/PrinterInstallControl.h"
#include "main_window/PrintersWindow.h"
#include "platform/PlatformError.h"
#include "platform/linux/modules/LazyPrinters.h"
#include "platform/linux/printers/CupsPrinters.h"

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <cups/cups.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace std::chrono_literals;
using ombrix::PrinterInstallControl;
using ombrix::PrintersWindow;
using ombrix::platform::CupsPrinters;
using ombrix::platform::PrinterList;
using ombrix::platform::PrinterState;

namespace {

// A unix-domain socket that listens but never accepts: a scheduler that has
// stopped answering.
class MuteSocket {
public:
    explicit MuteSocket(const QString& path) : m_fd(::socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray p = path.toLocal8Bit();
        qstrncpy(addr.sun_path, p.constData(), sizeof addr.sun_path);
        m_ok = m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
               ::listen(m_fd, 8) == 0;
    }
    ~MuteSocket() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    MuteSocket(const MuteSocket&) = delete;
    MuteSocket& operator=(const MuteSocket&) = delete;
    bool ok() const { return m_ok; }

private:
    int m_fd;
    bool m_ok = false;
};

bool canConnect(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    qstrncpy(addr.sun_path, path.toLocal8Bit().constData(), sizeof addr.sun_path);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

// Points libcups at another server; it reads CUPS_SERVER again on next use.
void useServer(const QString& server) {
    qputenv("CUPS_SERVER", server.toLocal8Bit());
    cupsSetServer(nullptr);
}

const ombrix::platform::PrintDestination* find(const PrinterList& list, const QString& name) {
    for (const auto& d : list.destinations)
        if (d.name == name)
            return &d;
    return nullptr;
}

// Waits until the window shows the answer to the question it asked last.
bool answered(PrintersWindow* window) {
    QSignalSpy shown(window, &PrintersWindow::listShown);
    return shown.wait(20000);
}

QTreeWidgetItem* row(QTreeWidget* tree, const QString& name) {
    const auto items = tree->findItems(name, Qt::MatchExactly, 0);
    return items.size() == 1 ? items.front() : nullptr;
}

} // namespace

// The printers view against a CUPS scheduler of its own: cupsd with a private
// configuration, listening only on a unix socket in a temporary folder, with
// queues on the file: device.
class tst_Printers : public QObject {
    Q_OBJECT
    ProgramThreads m_threads;

private slots:
    void initTestCase();
    void cleanupTestCase();

    void stateFromScheduler_data();
    void stateFromScheduler();
    void listsEveryQueueWithTheDefaultMarked();
    void programLoadsThePrintersModuleOnFirstQuery();
    void windowListsQueuesByName();
    void operationFiveShowsOneWindowAndRefreshes();
    void otherOperationsAreErrors();
    void withoutSchedulerListsNoneAndSaysSo_data();
    void withoutSchedulerListsNoneAndSaysSo();
    void schedulerWithoutQueuesListsNone();

private:
    bool lpadmin(const QString& program, const QStringList& args);
    QString socketPath() const { return m_dir.filePath(QStringLiteral("cups.sock")); }

    QTemporaryDir m_dir;
    QProcess m_cupsd;
    QString m_clientDir; // lpadmin, cupsdisable
};

bool tst_Printers::lpadmin(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(QDir(m_clientDir).filePath(program), QStringList{"-h", socketPath()} + args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning() << program << args << p.readAllStandardError();
        return false;
    }
    return true;
}

void tst_Printers::initTestCase() {
    const QStringList sbin{"/usr/sbin", "/sbin", "/usr/bin"};
    const QString cupsd = QStandardPaths::findExecutable("cupsd", sbin);
    const QString lpadminPath = QStandardPaths::findExecutable("lpadmin", sbin);
    if (cupsd.isEmpty() || lpadminPath.isEmpty())
        QSKIP("cupsd and lpadmin are needed (Debian packages cups, cups-client)");
    m_clientDir = QFileInfo(lpadminPath).absolutePath();
    QVERIFY(m_dir.isValid());
    // The scheduler hands work to its own user (lp when run as root).
    QFile::setPermissions(m_dir.path(), QFile::permissions(m_dir.path()) | QFile::ReadGroup |
                                            QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    const QDir dir(m_dir.path());
    for (const char* sub : {"spool", "cache", "state", "tmp", "log"})
        QVERIFY(dir.mkpath(sub));

    QFile conf(dir.filePath("cupsd.conf"));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write(QStringLiteral("Listen %1\n"
                              "Browsing No\nBrowseLocalProtocols none\nWebInterface No\n"
                              "DefaultAuthType None\nLogLevel warn\n"
                              "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                              "<Policy default>\n  <Limit All>\n    Order deny,allow\n"
                              "    Allow all\n  </Limit>\n</Policy>\n")
                   .arg(socketPath())
                   .toLocal8Bit());
    conf.close();

    QString files = QStringLiteral("FileDevice Yes\nServerRoot %1\nRequestRoot %1/spool\n"
                                   "CacheDir %1/cache\nStateDir %1/state\nTempDir %1/tmp\n"
                                   "ErrorLog %1/log/error_log\nAccessLog %1/log/access_log\n"
                                   "PageLog %1/log/page_log\n"
                                   "ServerBin /usr/lib/cups\nDataDir /usr/share/cups\n")
                        .arg(m_dir.path());
    if (::geteuid() != 0) {
        // A scheduler run by a user works as that user.
        const passwd* pw = ::getpwuid(::geteuid());
        const group* gr = ::getgrgid(::getegid());
        QVERIFY(pw && gr);
        files +=
            QStringLiteral("User %1\nGroup %2\nSystemGroup %2\n").arg(pw->pw_name, gr->gr_name);
    }
    QFile filesConf(dir.filePath("cups-files.conf"));
    QVERIFY(filesConf.open(QIODevice::WriteOnly));
    filesConf.write(files.toLocal8Bit());
    filesConf.close();

    // The scheduler must not outlive this test, even when the test dies.
    m_cupsd.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_cupsd.setProcessChannelMode(QProcess::ForwardedChannels);
    m_cupsd.start(cupsd,
                  {"-f", "-c", dir.filePath("cupsd.conf"), "-s", dir.filePath("cups-files.conf")});
    QVERIFY2(m_cupsd.waitForStarted(), qPrintable(m_cupsd.errorString()));
    if (!QTest::qWaitFor([this] { return canConnect(socketPath()); }, 15000)) {
        QFile log(dir.filePath("log/error_log"));
        log.open(QIODevice::ReadOnly);
        QFAIL(qPrintable("cupsd did not start listening: " + log.readAll()));
    }

    // Two queues on the file: device; q2 is the default, q1 is stopped.
    QVERIFY(lpadmin("lpadmin", {"-p", "q1", "-v", "file:/dev/null", "-E", "-L", "Room 12", "-D",
                                "First queue"}));
    QVERIFY(lpadmin("lpadmin", {"-p", "q2", "-v", "file:/dev/null", "-E", "-L", "Hall", "-m",
                                "drv:///sample.drv/generic.ppd"}));
    QVERIFY(lpadmin("lpadmin", {"-d", "q2"}));
    QVERIFY(lpadmin("cupsdisable", {"q1"}));

    // Only the scheduler decides the default: no user settings, no overrides.
    qputenv("HOME", m_dir.path().toLocal8Bit());
    qunsetenv("PRINTER");
    qunsetenv("LPDEST");
    useServer(socketPath());
}

void tst_Printers::cleanupTestCase() {
    if (m_cupsd.state() == QProcess::NotRunning)
        return;
    m_cupsd.terminate();
    if (!m_cupsd.waitForFinished(10000))
        m_cupsd.kill();
    m_cupsd.waitForFinished();
}

void tst_Printers::stateFromScheduler_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<PrinterState>("state");
    QTest::newRow("3 is idle") << QByteArray("3") << PrinterState::Idle;
    QTest::newRow("4 is processing") << QByteArray("4") << PrinterState::Processing;
    QTest::newRow("5 is stopped") << QByteArray("5") << PrinterState::Stopped;
    QTest::newRow("another number is unknown") << QByteArray("6") << PrinterState::Unknown;
    QTest::newRow("an empty value is unknown") << QByteArray("") << PrinterState::Unknown;
    QTest::newRow("trailing text is unknown") << QByteArray("3x") << PrinterState::Unknown;
}

void tst_Printers::stateFromScheduler() {
    QFETCH(QByteArray, value);
    QFETCH(PrinterState, state);
    QCOMPARE(ombrix::platform::printerStateFromIpp(value.constData()), state);
    QCOMPARE(ombrix::platform::printerStateFromIpp(nullptr), PrinterState::Unknown);
}

void tst_Printers::listsEveryQueueWithTheDefaultMarked() {
    const PrinterList list = CupsPrinters().query();
    QVERIFY(list.serviceReachable);
    QCOMPARE(list.destinations.size(), std::size_t(2));
    const auto* q1 = find(list, "q1");
    const auto* q2 = find(list, "q2");
    QVERIFY(q1 && q2);
    QVERIFY(!q1->isDefault);
    QVERIFY(q2->isDefault);
    QCOMPARE(q1->state, PrinterState::Stopped);
    QCOMPARE(q2->state, PrinterState::Idle);
    QCOMPARE(q1->location, QStringLiteral("Room 12"));
    QCOMPARE(q2->location, QStringLiteral("Hall"));
    QCOMPARE(q1->info, QStringLiteral("First queue"));

    // The make and model as the scheduler reports it to its own client tool.
    QProcess lpoptions;
    const QString program = QStandardPaths::findExecutable("lpoptions", {"/usr/bin", "/bin"});
    QVERIFY(!program.isEmpty());
    lpoptions.start(program, {"-h", socketPath(), "-p", "q2"});
    QVERIFY(lpoptions.waitForFinished(10000));
    const auto match = QRegularExpression("printer-make-and-model='([^']*)'")
                           .match(QString::fromLocal8Bit(lpoptions.readAllStandardOutput()));
    QVERIFY(match.hasMatch());
    QVERIFY(!q2->makeAndModel.isEmpty());
    QCOMPARE(q2->makeAndModel, match.captured(1));
}

void tst_Printers::programLoadsThePrintersModuleOnFirstQuery() {
    ombrix::platform::LazyPrinters lazy; // the module built beside the program
    const PrinterList list = lazy.query();
    QVERIFY(list.serviceReachable);
    QStringList names;
    for (const auto& d : list.destinations)
        names << d.name;
    names.sort();
    QCOMPARE(names, (QStringList{"q1", "q2"}));

    ombrix::platform::LazyPrinters missing("libombrix_no_such_module.so");
    QVERIFY_THROWS_EXCEPTION(ombrix::platform::PlatformError, missing.query());
}

void tst_Printers::windowListsQueuesByName() {
    CupsPrinters printers;
    PrintersWindow window(printers);
    window.refresh();
    QVERIFY(answered(&window));
    auto* tree = window.findChild<QTreeWidget*>("treePrinters");
    auto* message = window.findChild<QLabel*>("lblMessage");
    QVERIFY(tree && message);
    QCOMPARE(tree->topLevelItemCount(), 2);
    QTreeWidgetItem* q1 = row(tree, "q1");
    QTreeWidgetItem* q2 = row(tree, "q2");
    QVERIFY(q1 && q2);
    QCOMPARE(q1->text(1), QString());
    QCOMPARE(q2->text(1), QStringLiteral("Default"));
    QCOMPARE(q1->text(2), QStringLiteral("Stopped"));
    QCOMPARE(q2->text(2), QStringLiteral("Idle"));
    QCOMPARE(q1->text(3), QStringLiteral("Room 12"));
    QVERIFY(!q2->text(4).isEmpty());
    QCOMPARE(message->text(), QStringLiteral("2 printers found."));
}

void tst_Printers::operationFiveShowsOneWindowAndRefreshes() {
    CupsPrinters printers;
    PrinterInstallControl control(printers);
    QVERIFY(!control.call(PrinterInstallControl::ShowPrinters).isValid());
    PrintersWindow* window = control.window();
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("Printers"));
    QVERIFY(answered(window));

    control.call(PrinterInstallControl::ShowPrinters);
    QCOMPARE(control.window(), window);
    QVERIFY(answered(window));
    int shown = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        shown += qobject_cast<PrintersWindow*>(w) && w->isVisible();
    QCOMPARE(shown, 1);

    // Closed and shown again: the same window, with what the scheduler says now.
    window->findChild<QPushButton*>("cmdClose")->click();
    QVERIFY(!window->isVisible());
    QVERIFY(lpadmin("lpadmin", {"-p", "q3", "-v", "file:/dev/null", "-E"}));
    control.call(PrinterInstallControl::ShowPrinters);
    QCOMPARE(control.window(), window);
    QVERIFY(window->isVisible());
    QVERIFY(answered(window));
    auto* tree = window->findChild<QTreeWidget*>("treePrinters");
    QCOMPARE(tree->topLevelItemCount(), 3);

    // "Refresh" reads the scheduler again.
    QVERIFY(lpadmin("lpadmin", {"-x", "q3"}));
    window->findChild<QPushButton*>("cmdRefresh")->click();
    QVERIFY(answered(window));
    QCOMPARE(tree->topLevelItemCount(), 2);
    QVERIFY(!row(tree, "q3"));
}

void tst_Printers::otherOperationsAreErrors() {
    CupsPrinters printers;
    PrinterInstallControl control(printers);
    QVERIFY_THROWS_EXCEPTION(ombrix::platform::PlatformError, control.call(4));
    QVERIFY_THROWS_EXCEPTION(ombrix::platform::PlatformError, control.get(5));
    QVERIFY(!control.window());
}

void tst_Printers::withoutSchedulerListsNoneAndSaysSo_data() {
    QTest::addColumn<QString>("socketName");
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing at the socket")
        << QStringLiteral("none.sock") << false
        << QStringLiteral("No print service could be reached, so no printers are listed.");
    QTest::newRow("a scheduler that never answers")
        << QStringLiteral("mute.sock") << true
        << QStringLiteral("The print service could not be read (no answer), so no printers are "
                          "listed.");
}

void tst_Printers::withoutSchedulerListsNoneAndSaysSo() {
    QFETCH(QString, socketName);
    QFETCH(bool, listening);
    QFETCH(QString, message);
    const QString path = m_dir.filePath(socketName);
    std::optional<MuteSocket> mute;
    if (listening) {
        mute.emplace(path);
        QVERIFY(mute->ok());
    }
    useServer(path);
    // A short bound keeps the silent case brief here.
    CupsPrinters printers(200ms);
    PrinterInstallControl control(printers);
    control.call(PrinterInstallControl::ShowPrinters);
    PrintersWindow* window = control.window();
    QVERIFY(window && window->isVisible());
    QVERIFY(answered(window));
    useServer(socketPath());

    QCOMPARE(window->findChild<QTreeWidget*>("treePrinters")->topLevelItemCount(), 0);
    QCOMPARE(window->findChild<QLabel*>("lblMessage")->text(), message);
}

void tst_Printers::schedulerWithoutQueuesListsNone() {
    QVERIFY(lpadmin("lpadmin", {"-x", "q1"}));
    QVERIFY(lpadmin("lpadmin", {"-x", "q2"}));
    CupsPrinters printers;
    const PrinterList list = printers.query();
    QVERIFY(list.serviceReachable);
    QVERIFY(list.destinations.empty());
    PrintersWindow window(printers);
    window.refresh();
    QVERIFY(answered(&window));
    QCOMPARE(window.findChild<QTreeWidget*>("treePrinters")->topLevelItemCount(), 0);
    QCOMPARE(window.findChild<QLabel*>("lblMessage")->text(),
             QStringLiteral("The print service reports no printers."));
}

QTEST_MAIN(tst_Printers)
#include "tst_Printers.moc"
