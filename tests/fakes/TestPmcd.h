#pragma once
// A pmcd of a test's or benchmark's own, with the Linux and process agents,
// its files in a private folder, stopped when the object goes. Optionally run
// inside a network namespace ("ip netns exec") and a UTS namespace of its own
// under another host name ("unshare -u"), and with fewer agents or a process
// agent set up as Debian sets it up, or with the hostile agent
// (hostile_pmda.py) alone in one of its modes; optionally with variables
// of its own and a mount namespace of its own, furnished by a shell prelude.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <optional>

#include <csignal>
#include <sys/prctl.h>

class TestPmcd {
public:
    // Where PCP's own configuration file says its programs live.
    static QString conf(const QString& key, const QString& fallback) {
        QFile file(QStringLiteral("/etc/pcp.conf"));
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& line : file.readAll().split('\n'))
                if (line.startsWith(key.toLatin1() + '='))
                    return QString::fromLocal8Bit(line.mid(key.size() + 1)).trimmed();
        return fallback;
    }

    enum class Agents {
        Open,      // the process agent with -A: it answers clients it has not authenticated
        AsDebian,  // the process agent as Debian's pmcd.conf runs it: only authenticated ones
        NoProcess, // no process agent
        PmcdOnly,  // pmcd's own agent alone
        Hostile,   // hostile_pmda.py alone, serving every metric the program reads
        Collector, // the Linux agent and the program's own, pmdaombrix, from the build
    };

    // What pmcd and its agents get besides: variables ("NAME=value") and
    // shell commands run first, in a private mount namespace that pmcd and
    // its agents then keep (mounts there are seen by nobody else and go
    // with them).
    struct Extras {
        QStringList environment;
        QString prelude;
    };

    // Listens on each address, at port. Empty why() when it answers.
    // mode: the hostile agent's (hostile_pmda.py lists them). With wait
    // false it is only started, so that several start at once, and answers
    // once waitUntilAnswers() says so.
    TestPmcd(QStringList addresses, int port, QString netns = {}, Agents agents = Agents::Open,
             QString hostName = {}, const QString& mode = {}, bool wait = true, Extras extras = {})
        : m_addresses(std::move(addresses)), m_port(port), m_netns(std::move(netns)),
          m_agents(agents), m_hostName(std::move(hostName)), m_extras(std::move(extras)) {
        const QString binDir = conf("PCP_BINADM_DIR", "/usr/lib/pcp/bin");
        m_pmcd = binDir + "/pmcd";
        if (!QFile::exists(m_pmcd)) {
            m_why = "Performance Co-Pilot's pmcd is not installed (scripts/setup.sh installs it)";
            return;
        }
        // pmcd's names of the agents it runs, merged as its own set-up does.
        const QString varDir = conf("PCP_VAR_DIR", "/var/lib/pcp");
        const QString pmdas = conf("PCP_PMDAS_DIR", varDir + "/pmdas");
        // Beside this header; the build names its folder, since a compiler
        // cache may make __FILE__ relative to the build's folder.
#ifdef OMBRIX_FAKES_DIR
        const QString hostile = QStringLiteral(OMBRIX_FAKES_DIR "/hostile_pmda.py");
#else
        const QString hostile =
            QFileInfo(QStringLiteral(__FILE__)).dir().filePath("hostile_pmda.py");
#endif
        QStringList names{"root_pmcd"};
        if (agents == Agents::Hostile) {
            // Its own name space, with every name the others have for what it serves.
            QProcess pmns;
            pmns.setStandardOutputFile(m_dir.filePath("root_hostile"));
            pmns.start("/usr/bin/python3", {hostile, "--pmns"});
            if (!pmns.waitForFinished(20000) || pmns.exitCode() != 0) {
                m_why = "the hostile agent needs python3-pcp (scripts/setup.sh installs it)";
                return;
            }
            names = QStringList{m_dir.filePath("root_hostile")};
        } else if (agents != Agents::PmcdOnly) {
            names << "root_linux";
        }
#ifdef OMBRIX_BIN_DIR
        const QString collector = QStringLiteral(OMBRIX_BIN_DIR "/pmdaombrix");
        if (agents == Agents::Collector) {
            QProcess pmns;
            pmns.start(collector, {"--pmns"});
            QFile root(m_dir.filePath("root_ombrix"));
            if (!pmns.waitForFinished(20000) || pmns.exitCode() != 0 ||
                !root.open(QIODevice::WriteOnly)) {
                m_why = "pmdaombrix does not print its names";
                return;
            }
            root.write("root {\n    ombrix\n}\n" + pmns.readAllStandardOutput());
            names << root.fileName();
        }
#endif
        if (agents == Agents::Open || agents == Agents::AsDebian)
            names << pmdas + "/proc/root_proc";
        QProcess merge;
        merge.setWorkingDirectory(varDir + "/pmns");
        merge.start(binDir + "/pmnsmerge", names << m_dir.filePath("root"));
        if (!merge.waitForFinished(20000) || merge.exitCode() != 0) {
            m_why = "pmnsmerge failed: " + QString::fromLocal8Bit(merge.readAllStandardError());
            return;
        }
        QFile config(m_dir.filePath("pmcd.conf"));
        if (!config.open(QIODevice::WriteOnly)) {
            m_why = "cannot write pmcd.conf";
            return;
        }
        // Debian runs the process agent without -A, so that it answers only
        // clients it has authenticated, which another computer's are not.
        QString lines = "pmcd\t2\tdso\tpmcd_init\t" + pmdas + "/pmcd/pmda_pmcd.so\n";
        if (agents == Agents::Hostile)
            lines = "hostile\t473\tpipe\tbinary\t/usr/bin/python3 " + hostile + " " + mode + "\n";
        else if (agents != Agents::PmcdOnly)
            lines += "linux\t60\tdso\tlinux_init\t" + pmdas + "/linux/pmda_linux.so\n";
#ifdef OMBRIX_BIN_DIR
        if (agents == Agents::Collector)
            lines += "ombrix\t406\tpipe\tbinary\t" + collector + " -l " +
                     m_dir.filePath("ombrix.log") + "\n";
#endif
        if (agents == Agents::Open || agents == Agents::AsDebian)
            lines += "proc\t3\tpipe\tbinary\t" + pmdas + "/proc/pmdaproc -d 3 " +
                     (agents == Agents::Open ? "-A " : "") + "-l " + m_dir.filePath("proc.log") +
                     "\n";
        config.write((lines + "\n[access]\nallow \".*\" : fetch;\n").toLocal8Bit());
        config.close();
        if (!launch() || (wait && !answers()))
            m_why = "pmcd did not start: " + logTail();
    }
    ~TestPmcd() {
        stop();
    }
    TestPmcd(const TestPmcd&) = delete;
    TestPmcd& operator=(const TestPmcd&) = delete;

    const QString& why() const {
        return m_why;
    }
    QString host(int i = 0) const {
        return m_addresses.value(i) + ":" + QString::number(m_port);
    }

    // "pminfo -f" of one metric with a single value, from this pmcd.
    std::optional<double> pminfo(const QString& metric) const {
        const QString text = pminfoText(metric);
        const auto at = text.indexOf(QLatin1String("value "));
        if (at < 0)
            return std::nullopt;
        bool ok = false;
        const double value = text.mid(at + 6).section('\n', 0, 0).trimmed().toDouble(&ok);
        return ok ? std::optional(value) : std::nullopt;
    }

    // pmcd's process: its namespaces are those its agents run in.
    qint64 pid() const {
        return m_process.processId();
    }

    bool running() const {
        return m_process.state() != QProcess::NotRunning;
    }
    bool start() {
        return launch() && answers();
    }
    bool waitUntilAnswers() {
        if (m_why.isEmpty() && !answers())
            m_why = "pmcd did not start: " + logTail();
        return m_why.isEmpty();
    }
    void stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    bool launch() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PCP_RUN_DIR", m_dir.path());
        for (const QString& variable : m_extras.environment)
            env.insert(variable.section('=', 0, 0), variable.section('=', 1));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        // It goes with its caller, also one that crashed.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        // The hostile agent's slow answer is waited for, not cut off by pmcd.
        QStringList args{"-f", "-A",
                         "-t", m_agents == Agents::Hostile ? "30" : "5",
                         "-p", QString::number(m_port)};
        for (const QString& address : m_addresses)
            args << "-i" << address;
        // Its files are in this private folder, so it keeps the caller's user.
        args << "-n" << m_dir.filePath("root") << "-c" << m_dir.filePath("pmcd.conf") << "-l"
             << m_dir.filePath("pmcd.log") << "-s" << m_dir.filePath("pmcd.socket") << "-x"
             << m_dir.filePath("pmcd.err") << "-U" << qEnvironmentVariable("USER", "root");
        // Each of these programs runs the next in its place, so pmcd keeps
        // the process that is stopped.
        QStringList command = QStringList{m_pmcd} + args;
        if (!m_extras.prelude.isEmpty()) {
            const QString script = m_extras.prelude + "\nexec \"$@\"";
            command =
                QStringList{"unshare", "-m", "--propagation", "private", "sh", "-c", script, "sh"} +
                command;
        }
        if (!m_hostName.isEmpty())
            command = QStringList{"unshare", "-u", "sh", "-c", "hostname \"$0\" && exec \"$@\"",
                                  m_hostName} +
                      command;
        if (!m_netns.isEmpty())
            command = QStringList{"ip", "netns", "exec", m_netns} + command;
        m_process.start(command.takeFirst(), command);
        return m_process.waitForStarted(5000);
    }
    bool answers() const {
        for (int i = 0; i < 100; ++i) {
            if (pminfoText(m_agents == Agents::PmcdOnly ? "pmcd.numagents" : "hinv.ncpu")
                    .contains(QLatin1String("value ")))
                return true;
            if (m_process.state() == QProcess::NotRunning)
                return false;
            QThread::msleep(100);
        }
        return false;
    }
    QString pminfoText(const QString& metric) const {
        QProcess process;
        process.start(QStringLiteral("pminfo"), {"-h", host(), "-f", metric});
        process.waitForFinished(10000);
        return QString::fromLocal8Bit(process.readAllStandardOutput());
    }
    QString logTail() const {
        QFile log(m_dir.filePath("pmcd.log"));
        return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll().right(400))
                                             : QString();
    }
    QStringList m_addresses;
    int m_port;
    QString m_netns;
    Agents m_agents;
    QString m_hostName;
    Extras m_extras;
    QString m_pmcd, m_why;
    QTemporaryDir m_dir;
    QProcess m_process;
};
