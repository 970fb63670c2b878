// The links to other computers: what fails on their threads comes back as
// values, when they try again, and how they end.
#include "FakeCounterSources.h"
#include "platform/links/RemoteComputerLinks.h"
#include "platform/linux/counters/LinuxCounterSources.h"

#include <QFile>
#include <QProcess>
#include <QTest>

#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>

#include <unistd.h>

using namespace ombrix::platform;

namespace {

// Runs the command; its exit code, -1 when it crashed or did not end.
int run(const QString& program, const QStringList& args, QString* output = nullptr) {
    QProcess process;
    process.start(program, args);
    const bool ended = process.waitForFinished(30000);
    if (output)
        *output = QString::fromLocal8Bit(process.readAll()).trimmed();
    return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// The threads of this process, as the kernel counts them.
int threadCount() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("Threads:"))
            return line.mid(8).trimmed().toInt();
    return -1;
}

} // namespace

class tst_RemoteComputers : public QObject {
    Q_OBJECT
private slots:
    void collectorLibraryWritesNoEnvironment();
    void init();
    void cleanup();
    void failureComesBackAndTheLinkGoesOn_data();
    void failureComesBackAndTheLinkGoesOn();
    void connectsAgainAfterALossOrWhenAsked();
    void answerWaitedForOnTheAskingThread();
    void endWaitsForTheQuestionUnderWay_data();
    void endWaitsForTheQuestionUnderWay();
    void programEndsWhileAComputerNeverAnswers();
    void linksNobodyHoldsEnd_data();
    void linksNobodyHoldsEnd();

private:
    // Asks the link a question and waits for its answer.
    template <class T, class Work> LinkAnswer<T> ask(ComputerLink& link, Work work) {
        std::optional<LinkAnswer<T>> answer;
        link.ask<T>(this, std::move(work), [&](LinkAnswer<T> a) { answer = std::move(a); });
        if (!QTest::qWaitFor([&] { return answer.has_value(); }))
            return {std::nullopt, "no answer"};
        return *answer;
    }
    RawSample sample(ComputerLink& link) {
        return ask<RawSample>(link, [](PerfCounters& c) { return c.sample({}); })
            .value.value_or(RawSample{0, {}, false});
    }

    std::unique_ptr<FakeCounterSources> m_sources;
    std::unique_ptr<RemoteComputerLinks> m_links;
    QStringList m_errors; // what reached the error sink
};

void tst_RemoteComputers::init() {
    m_sources = std::make_unique<FakeCounterSources>();
    m_errors.clear();
    // Nothing is tried again by the clock during a test: only when asked to.
    m_links = std::make_unique<RemoteComputerLinks>(
        *m_sources,
        [this](std::exception_ptr error) {
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                m_errors << e.what();
            }
        },
        LinkBackoff{std::chrono::hours(1), std::chrono::hours(1)});
}

void tst_RemoteComputers::cleanup() {
    m_links.reset();
    m_sources.reset();
}

void tst_RemoteComputers::failureComesBackAndTheLinkGoesOn_data() {
    QTest::addColumn<QString>("computer"); // empty: this one
    QTest::addColumn<QString>("thrown");   // by the question, or "handler" by its answer's handler
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QStringList>("errors");
    QTest::newRow("standard exception") << "far"
                                        << "bad reply"
                                        << "bad reply" << QStringList();
    QTest::newRow("exception without a message") << "far"
                                                 << ""
                                                 << "Unknown error" << QStringList();
    QTest::newRow("anything else") << "far"
                                   << "int"
                                   << "Unknown error" << QStringList();
    QTest::newRow("in the answer's handler") << "far"
                                             << "handler"
                                             << "" << QStringList{"handler"};
    QTest::newRow("this computer, standard exception") << ""
                                                       << "bad reply"
                                                       << "bad reply" << QStringList();
    QTest::newRow("this computer, in the answer's handler") << ""
                                                            << "handler"
                                                            << "" << QStringList{"handler"};
}

void tst_RemoteComputers::failureComesBackAndTheLinkGoesOn() {
    QFETCH(QString, computer);
    QFETCH(QString, thrown);
    QFETCH(QString, failure);
    QFETCH(QStringList, errors);
    const auto held = m_links->link(computer);
    ComputerLink& link = *held;
    std::optional<LinkAnswer<int>> answer;
    link.ask<int>(
        this,
        [thrown](PerfCounters&) -> int {
            if (thrown == "int")
                throw 42;
            if (thrown != "handler")
                throw std::runtime_error(thrown.toStdString());
            return 1;
        },
        [&](LinkAnswer<int> a) {
            answer = a;
            if (thrown == "handler")
                throw std::runtime_error("handler");
        });
    // This computer's link has answered before ask() returns.
    QCOMPARE(answer.has_value(), computer.isEmpty());
    QTRY_VERIFY(answer.has_value());
    QCOMPARE(answer->failure, failure);
    QCOMPARE(answer->value.has_value(), failure.isEmpty());
    QCOMPARE(m_errors, errors);
    // The link answers the next question, and still takes the computer to answer.
    const auto next = ask<int>(link, [](PerfCounters& c) { return int(c.objects().size()); });
    QCOMPARE(next.value, std::optional(2));
    QVERIFY(link.answering());
    // This computer needs no connection, nor the library other computers do.
    const QStringList connected = computer.isEmpty() ? QStringList() : QStringList{computer};
    QCOMPARE(m_sources->connected(), connected);
    QCOMPARE(m_sources->prepared, int(connected.size()));
    QCOMPARE(m_links->reached(), connected);
}

void tst_RemoteComputers::connectsAgainAfterALossOrWhenAsked() {
    m_sources->setUnreachable({"far"});
    const auto held = m_links->link("far");
    ComputerLink& link = *held;
    int verdicts = 0;
    link.watch(this, [&] { ++verdicts; });
    auto objects = [&] {
        return ask<int>(link, [](PerfCounters& c) { return int(c.objects().size()); });
    };
    QCOMPARE(objects().failure, QStringLiteral("No route to host"));
    QVERIFY(!link.answering());
    QCOMPARE(link.whyNot(), QStringLiteral("No route to host"));
    QCOMPARE(verdicts, 1);
    // After a failed connection it waits before it tries again...
    m_sources->setUnreachable({});
    QCOMPARE(objects().failure, QStringLiteral("No route to host"));
    QCOMPARE(m_sources->connected().size(), 1);
    // ...unless the user names the computer.
    link.retry();
    QCOMPARE(objects().value, std::optional(2));
    QCOMPARE(m_sources->connected().size(), 2);
    QVERIFY(link.answering());
    QCOMPARE(m_links->reached(), QStringList{"far"});

    // A reading that finds it silent after one got through is a loss: the
    // next question connects afresh at once; a second loss in a row waits.
    QVERIFY(sample(link).reachable);
    *m_sources->remoteDown = true;
    QVERIFY(!sample(link).reachable);
    QVERIFY(!link.answering());
    QCOMPARE(link.whyNot(), QStringLiteral("The computer does not answer"));
    QVERIFY(!sample(link).reachable);
    QCOMPARE(m_sources->connected().size(), 3);
    QVERIFY(!sample(link).reachable); // nothing asked of the computer
    QCOMPARE(m_sources->connected().size(), 3);
    *m_sources->remoteDown = false;
    link.retry();
    QVERIFY(sample(link).reachable);
    QVERIFY(link.answering());
    QCOMPARE(m_sources->connected().size(), 4);
}

// As the program's start asks, before there is an event loop: the answer,
// or why there is none.
void tst_RemoteComputers::answerWaitedForOnTheAskingThread() {
    m_sources->setUnreachable({"gone"});
    const auto failed = m_links->link("gone")->askNow<int>([](PerfCounters&) { return 1; });
    QCOMPARE(failed.failure, "No route to host");
    QVERIFY(!failed.value);
    const auto answered =
        m_links->link("far")->askNow<int>([](PerfCounters& c) { return int(c.objects().size()); });
    QCOMPARE(answered.value, std::optional(2));
    QVERIFY(answered.failure.isEmpty());
}

void tst_RemoteComputers::endWaitsForTheQuestionUnderWay_data() {
    QTest::addColumn<bool>("connecting"); // else reading
    QTest::newRow("connecting") << true;
    QTest::newRow("reading") << false;
}

void tst_RemoteComputers::endWaitsForTheQuestionUnderWay() {
    QFETCH(bool, connecting);
    // The fake gives up after a while, as the collector's library does.
    auto gate = std::make_shared<FakeGate>();
    (connecting ? m_sources->connectGate : m_sources->remote.gate) = gate;
    m_sources->remote.gateBound = m_sources->connectBound = std::chrono::milliseconds(500);
    bool answered = false;
    m_links->link("far")->ask<RawSample>(
        this, [](PerfCounters& c) { return c.sample({}); },
        [&](const LinkAnswer<RawSample>&) { answered = true; });
    m_links->link("near"); // a link that waits for nothing
    QTRY_COMPARE(gate->waiting(), 1);
    m_links.reset();
    // Its thread has left the fake before the links are gone; the sources
    // may go now, and no answer comes.
    QCOMPARE(gate->waiting(), 0);
    QCOMPARE(m_sources->connectsEnded.load(), 1);
    m_sources.reset();
    QTest::qWait(50);
    QVERIFY(!answered);
}

void tst_RemoteComputers::programEndsWhileAComputerNeverAnswers() {
    // A namespace whose one route leads into a veth pair, the far address
    // bound to a link-layer address nobody has: what is sent there is never
    // answered.
    if (getuid() != 0)
        QSKIP("needs root to make a network namespace");
    const QString name = QStringLiteral("ombrix-silent-%1").arg(getpid());
    const QString net = QString::number(getpid() % 250 + 1);
    if (run("ip", {"netns", "add", name}) != 0)
        QSKIP("this machine does not let \"ip netns add\" make a network namespace");
    auto removeNamespace = qScopeGuard([&] { run("ip", {"netns", "del", name}); });
    for (const QStringList& step :
         {QStringList{"link", "add", "silent0", "type", "veth", "peer", "name", "silent1"},
          QStringList{"addr", "add", "10.253." + net + ".1/24", "dev", "silent0"},
          QStringList{"link", "set", "silent0", "up"}, QStringList{"link", "set", "silent1", "up"},
          QStringList{"neigh", "add", "10.253." + net + ".2", "lladdr", "02:00:00:00:00:01", "dev",
                      "silent0", "nud", "permanent"}})
        QCOMPARE(run("ip", QStringList{"-n", name} + step), 0);

    QString said;
    const int status = run(
        "ip", {"netns", "exec", name, OMBRIX_BIN_DIR "/remote_exit_probe", "10.253." + net + ".2"},
        &said);
    qInfo("%s", qPrintable(said));
    QCOMPARE(status, 0);
    QVERIFY2(said.startsWith("ended after"), qPrintable(said));
}

void tst_RemoteComputers::linksNobodyHoldsEnd_data() {
    QTest::addColumn<int>("idleMs");
    QTest::addColumn<int>("kept"); // links nobody holds that may stay
    QTest::newRow("after their idle time") << 50 << 0;
    QTest::newRow("beyond the few kept") << 3600 * 1000 << int(kMostIdleLinks);
}

// A name typed after another: each link answers while it is held, and the
// threads of those let go fall back, while the one held stays.
void tst_RemoteComputers::linksNobodyHoldsEnd() {
    QFETCH(int, idleMs);
    QFETCH(int, kept);
    const int before = threadCount();
    QVERIFY(before > 0);
    RemoteComputerLinks links(*m_sources, nullptr, LinkBackoff{},
                              std::chrono::milliseconds(idleMs));
    const auto objects = [](PerfCounters& c) { return int(c.objects().size()); };
    const auto held = links.link("held");
    for (int i = 0; i < 30; ++i)
        QCOMPARE(ask<int>(*links.link(QString("far%1").arg(i)), objects).value, std::optional(2));
    QTRY_VERIFY2(threadCount() <= before + 1 + kept, qPrintable(QString::number(threadCount())));
    QCOMPARE(ask<int>(*held, objects).value, std::optional(2));
    // A computer named again after its link ended is reached afresh.
    QCOMPARE(ask<int>(*links.link("far0"), objects).value, std::optional(2));
    QCOMPARE(m_sources->connected().count("far0"), 2);
}

// libpcp puts its configuration into the environment the first time it is
// used, on whatever thread that is, while others may read the environment
// (painting does). The counter sources, made before any thread, set it all
// first: the library's first use then writes nothing. First of these tests,
// so that nothing here has used the library before.
void tst_RemoteComputers::collectorLibraryWritesNoEnvironment() {
    const auto libraryMapped = [] {
        QFile maps("/proc/self/maps");
        return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("/libpcp.so");
    };
    if (libraryMapped())
        QSKIP("this process has used libpcp before");
    const auto environment = [] {
        QStringList all;
        for (char** e = environ; *e; ++e)
            all << QString::fromLocal8Bit(*e);
        return all;
    };
    LinuxCounterSources sources(OMBRIX_BIN_DIR "/libombrix_pcp.so");
    const QStringList before = environment();
    sources.prepare();
    QVERIFY(libraryMapped());
    QCOMPARE(environment(), before);
    QVERIFY(qEnvironmentVariableIsSet("PCP_VAR_DIR"));
}

QTEST_MAIN(tst_RemoteComputers)
#include "tst_RemoteComputers.moc"
