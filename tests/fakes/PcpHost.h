#pragma once
// A computer of a test's own for the collector: a network namespace joined to
// the test's by a veth pair, with a pmcd in it.
#include "TestPmcd.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>

#include <unistd.h>

namespace pcp_host {
inline QString run(const QString& program, const QStringList& args, int* code = nullptr) {
    QProcess process;
    process.start(program, args);
    process.waitForFinished(20000);
    if (code)
        *code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}
} // namespace pcp_host

// furnished: the namespace is set up as a computer on a network is, its
// facts known: a default route through gatewayAddress(), a resolver file
// of its own (resolverDomain(), resolverServers()), an address of a label
// on insideInterface() (aliasLabel(), aliasAddress()) and a leased one
// (with a lifetime, as a DHCP client adds it) on extraInterface().
// agents: the pmcd's, started at once; none: startPmcd() starts it.
struct PcpHostOptions {
    bool furnished = false;
    std::optional<TestPmcd::Agents> agents = TestPmcd::Agents::Open;
};

// A network namespace joined to this one by a veth pair, with a further
// interface pair of its own and a pmcd listening on its address. Everything
// goes when the object does.
class PcpHost {
public:
    // hostName: the name the pmcd's computer gives itself (a UTS namespace of
    // its own); empty: this machine's. block: the second number of the
    // addresses, so that tests running at once do not share them, nor two
    // hosts of one test (their blocks two apart: the next one is for the
    // address that never answers).
    explicit PcpHost(QString hostName = {}, int block = 251, PcpHostOptions options = {})
        : m_hostName(std::move(hostName)),
          m_tag(QString::number(getpid() % 100000) +
                (block == 251 ? QString() : "b" + QString::number(block))) {
        m_namespace = "ombrix-pcp-" + m_tag;
        m_outside = "opo" + m_tag;
        m_inside = "opi" + m_tag;
        m_extra = "opx" + m_tag;
        const int net = getpid() % 250 + 1;
        m_address = QStringLiteral("10.%1.%2.2").arg(block).arg(net);
        m_blackholed = QStringLiteral("10.%1.%2.1").arg(block + 1).arg(net);
        m_unreachable = QStringLiteral("10.%1.%2.2").arg(block + 1).arg(net);
        m_gateway = QStringLiteral("10.%1.%2.1").arg(block).arg(net);
        m_alias = QStringLiteral("10.%1.%2.6").arg(block).arg(net);
        m_leased = QStringLiteral("10.%1.%2.10").arg(block).arg(net);
        const QString outsideAddress = m_gateway + "/30";
        if (getuid() != 0) {
            m_why = "needs root to make a network namespace";
            return;
        }
        int code = 0;
        pcp_host::run("ip", {"netns", "add", m_namespace}, &code);
        if (code != 0) {
            m_why = "this machine does not let \"ip netns add\" make a network namespace";
            return;
        }
        m_madeNamespace = true;
        const QStringList steps[] = {
            {"link", "add", m_outside, "type", "veth", "peer", "name", m_inside, "netns",
             m_namespace},
            {"addr", "add", outsideAddress, "dev", m_outside},
            {"link", "set", m_outside, "up"},
            {"-n", m_namespace, "addr", "add", m_address + "/30", "dev", m_inside},
            {"-n", m_namespace, "link", "set", m_inside, "up"},
            {"-n", m_namespace, "link", "set", "lo", "up"},
            {"-n", m_namespace, "link", "add", m_extra, "type", "veth", "peer", "name",
             m_extra + "p"},
            // An address routed into the namespace, which has no such address
            // and forwards nothing: what is sent there gets no answer at all.
            {"route", "add", m_blackholed + "/32", "via", m_address, "dev", m_outside},
        };
        const QStringList furniture[] = {
            {"-n", m_namespace, "route", "add", "default", "via", m_gateway},
            {"-n", m_namespace, "addr", "add", m_alias + "/30", "dev", m_inside, "label",
             aliasLabel()},
            {"-n", m_namespace, "addr", "add", m_leased + "/30", "dev", m_extra, "valid_lft",
             "3600", "preferred_lft", "3600"},
        };
        QList<QStringList> all(std::begin(steps), std::end(steps));
        if (options.furnished)
            all << QList<QStringList>(std::begin(furniture), std::end(furniture));
        for (const QStringList& step : all) {
            pcp_host::run("ip", step, &code);
            if (code != 0) {
                m_why = "ip " + step.join(' ') + " failed";
                return;
            }
        }
        // An address with no route at all: a connection fails at once with
        // "No route to host". Not tied to a link, so taken away by hand.
        pcp_host::run("ip", {"route", "add", "unreachable", m_unreachable + "/32"}, &code);
        if (code != 0) {
            m_why = "ip route add unreachable " + m_unreachable + " failed";
            return;
        }
        m_madeRoute = true;
        // "ip netns exec" binds the files of this folder over /etc's.
        if (options.furnished) {
            m_madeResolver = QDir().mkpath(resolverFolder());
            QFile resolver(resolverFolder() + "/resolv.conf");
            if (!resolver.open(QIODevice::WriteOnly) ||
                resolver.write("domain " + resolverDomain().toUtf8() + "\nsearch " +
                               resolverDomain().toUtf8() + "\nnameserver " +
                               resolverServers().join("\nnameserver ").toUtf8() + "\n") <= 0) {
                m_why = "cannot write " + resolver.fileName();
                return;
            }
        }
        if (options.agents)
            startPmcd(*options.agents);
    }
    ~PcpHost() {
        m_pmcd.reset();
        if (m_madeResolver)
            QDir(resolverFolder()).removeRecursively();
        if (m_madeRoute)
            pcp_host::run("ip", {"route", "del", "unreachable", m_unreachable + "/32"});
        if (m_madeNamespace) {
            pcp_host::run("ip", {"link", "del", m_outside});
            pcp_host::run("ip", {"netns", "del", m_namespace});
        }
    }
    // A pmcd with these agents in place of the one before; false, and why()
    // says why, when it does not answer.
    bool startPmcd(TestPmcd::Agents agents, TestPmcd::Extras extras = {}) {
        m_pmcd.reset();
        m_pmcd.emplace(QStringList{m_address}, 44321, m_namespace, agents, m_hostName, QString(),
                       true, std::move(extras));
        m_why = m_pmcd->why();
        return m_why.isEmpty();
    }

    const QString& why() const { return m_why; }
    const QString& address() const { return m_address; }
    const QString& blackholed() const { return m_blackholed; }
    const QString& unreachable() const { return m_unreachable; }
    const QString& netns() const { return m_namespace; }
    const QString& insideInterface() const { return m_inside; } // holds address()
    const QString& extraInterface() const { return m_extra; }
    const QString& gatewayAddress() const { return m_gateway; }
    const QString& aliasAddress() const { return m_alias; }
    QString aliasLabel() const { return m_inside + ":w"; } // "IF:label", at most 15 bytes
    const QString& leasedAddress() const { return m_leased; }
    QString resolverFolder() const { return "/etc/netns/" + m_namespace; }
    static QString resolverDomain() { return QStringLiteral("far.ombrix.test"); }
    static QStringList resolverServers() { return {"192.0.2.53", "198.51.100.53"}; }
    TestPmcd& pmcd() { return *m_pmcd; }

    // The namespace's interfaces, as the namespace itself lists them.
    QStringList interfaces() const {
        const QString text =
            pcp_host::run("ip", {"netns", "exec", m_namespace, "cat", "/proc/net/dev"});
        QStringList names;
        for (const QString& line : text.split('\n'))
            if (line.contains(':'))
                names << line.left(line.indexOf(':')).trimmed();
        return names;
    }

private:
    QString m_hostName, m_tag, m_namespace, m_outside, m_inside, m_extra, m_address, m_blackholed,
        m_unreachable, m_gateway, m_alias, m_leased, m_why;
    bool m_madeNamespace = false, m_madeRoute = false, m_madeResolver = false;
    std::optional<TestPmcd> m_pmcd;
};
