#pragma once
// What a computer of a test's own has besides its network: a file system on
// a loop device, a print scheduler of its own, a print service that stopped.
// Each empty why() when it is ready.
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace furniture {
inline int run(const QString& program, const QStringList& args) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, args);
    if (!process.waitForFinished(60000))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}
} // namespace furniture

// An ext4 image with a label (and so a UUID of its own), mounted by
// mountCommand() in whatever mount namespace runs it: it goes with that.
class LoopVolume {
public:
    explicit LoopVolume(const QString& label) {
        // Where the agent (user pcp) can read it too.
        QFile::setPermissions(m_dir.path(), QFile::Permissions(0x7755));
        const QString image = m_dir.filePath("image");
        QFile file(image);
        if (getuid() != 0 || !file.open(QIODevice::WriteOnly) || !file.resize(16 << 20)) {
            m_why = "needs root and room for a 16 MB image";
            return;
        }
        file.close();
        m_mountPoint = m_dir.filePath("volume");
        m_command = "mkdir -p '" + m_mountPoint + "' && mount -o loop '" + image + "' '" +
                    m_mountPoint + "'";
        if (furniture::run("mkfs.ext4", {"-q", "-F", "-L", label, image}) != 0)
            m_why = "mkfs.ext4 cannot make a file system";
        else if (furniture::run("unshare",
                                {"-m", "--propagation", "private", "sh", "-c", m_command}) != 0)
            m_why = "this machine does not let a loop device be mounted";
    }
    const QString& why() const { return m_why; }
    const QString& mountPoint() const { return m_mountPoint; }
    const QString& mountCommand() const { return m_command; }

private:
    QTemporaryDir m_dir;
    QString m_mountPoint, m_command, m_why;
};

// A cupsd with a configuration and files of its own, run inside a network
// namespace, with one queue. It listens on socketPath() alone, so that only
// clients given CUPS_SERVER=socketPath() reach it, no other computer.
class PrivateCups {
public:
    PrivateCups(const QString& netns, const QString& queue) {
        const QString cupsd = QStandardPaths::findExecutable("cupsd", {"/usr/sbin", "/sbin"});
        if (cupsd.isEmpty() || getuid() != 0) {
            m_why = "needs root and cupsd (cups, which scripts/setup.sh installs)";
            return;
        }
        // The agent runs as user pcp: it must reach the socket.
        QFile::setPermissions(m_dir.path(), QFile::permissions(m_dir.path()) | QFile::ReadOther |
                                                QFile::ExeOther | QFile::ReadGroup |
                                                QFile::ExeGroup);
        const QString root = m_dir.path();
        write("cupsd.conf", "Listen " + socketPath() +
                                "\nLogLevel warn\nBrowsing No\nWebInterface No\n"
                                "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n");
        for (const char* folder : {"spool", "cache", "state"})
            QDir(root).mkdir(folder);
        write("cups-files.conf", "FileDevice Yes\nServerRoot " + root + "\nRequestRoot " + root +
                                     "/spool\nTempDir " + root + "/spool\nCacheDir " + root +
                                     "/cache\nStateDir " + root + "/state\nErrorLog " + root +
                                     "/error_log\nAccessLog " + root + "/access_log\nPageLog " +
                                     root + "/page_log\n");
        m_process.start("ip",
                        {"netns", "exec", netns, cupsd, "-f", "-c", m_dir.filePath("cupsd.conf"),
                         "-s", m_dir.filePath("cups-files.conf")});
        m_process.waitForStarted(10000);
        for (const QDeadlineTimer deadline(20000); !QFile::exists(socketPath());
             QThread::msleep(50))
            if (deadline.hasExpired() || m_process.state() != QProcess::Running) {
                m_why = "cupsd did not start";
                return;
            }
        if (furniture::run("lpadmin",
                           {"-h", socketPath(), "-p", queue, "-v", "file:///dev/null", "-E"}) != 0)
            m_why = "lpadmin cannot add a queue to the test's cupsd";
    }
    ~PrivateCups() {
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
    const QString& why() const { return m_why; }
    QString socketPath() const { return m_dir.filePath("cups.sock"); }

private:
    void write(const QString& name, const QString& text) {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) <= 0)
            m_why = "cannot write " + name;
    }
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_why;
};

// A print service that stopped: a socket that takes connections into its
// queue and never answers one. Reachable by anyone, from any namespace.
class StoppedService {
public:
    StoppedService() {
        QFile::setPermissions(m_dir.path(), QFile::permissions(m_dir.path()) | QFile::ReadOther |
                                                QFile::ExeOther);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(socketPath());
        if (m_fd < 0 || std::size_t(path.size()) >= sizeof address.sun_path)
            return;
        std::copy(path.begin(), path.end(), address.sun_path);
        if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_fd, 64) != 0)
            return;
        QFile::setPermissions(socketPath(), QFile::Permissions(0x7777));
    }
    ~StoppedService() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    StoppedService(const StoppedService&) = delete;
    StoppedService& operator=(const StoppedService&) = delete;
    QString socketPath() const { return m_dir.filePath("cups.sock"); }

private:
    QTemporaryDir m_dir;
    int m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
};
