#include "platform/registry/RegistryLayer.h"
#include "platform/registry/SqliteRegistryStore.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace ombrix::platform;
using registry::SqliteRegistryStore;

// The SQLite store against real processes: killed writers, writers at the
// same time, a user who is not root, and readers who must see what other
// processes wrote.
class tst_RegistryDurability : public QObject {
    Q_OBJECT
private slots:
    void killedWriterLosesNoReturnedWrite_data();
    void killedWriterLosesNoReturnedWrite();
    void twoWritersAtOnceLoseNothing();
    void unprivilegedUserCannotWriteTheMachineStore_data();
    void unprivilegedUserCannotWriteTheMachineStore();
    void enumerationSeesAnotherProcesssWrites_data();
    void enumerationSeesAnotherProcesssWrites();
    void generationFollowsWhatOtherProcessesDo_data();
    void generationFollowsWhatOtherProcessesDo();

private:
    static QString helper() { return QStringLiteral(OMBRIX_BIN_DIR "/registry_helper"); }
    // Another process writes `count` values named prefix0, prefix1... into key.
    static void write(const QString& db, const QString& prefix, int count,
                      const QString& key = QStringLiteral("Durable"));
    static void checkValues(const QString& db, const QStringList& prefixes, long count,
                            const std::set<long>& only = {});
};

namespace {
constexpr long kWrites = 10000;

QByteArray fileHash(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}
} // namespace

void tst_RegistryDurability::checkValues(const QString& db, const QStringList& prefixes, long count,
                                         const std::set<long>& only) {
    registry::RegistryLayer layer;
    layer.setStore(HKEY_CURRENT_USER, std::make_shared<SqliteRegistryStore>(db.toStdString()));
    HKEY key = 0;
    QCOMPARE(layer.RegOpenKeyExA(HKEY_CURRENT_USER, "Durable", 0, KEY_READ, &key), ERROR_SUCCESS);
    for (const QString& prefix : prefixes) {
        for (long i = 0; i < count; ++i) {
            if (!only.empty() && only.count(i) == 0)
                continue;
            const QByteArray name = (prefix + QString::number(i)).toUtf8();
            DWORD value = 0xFFFFFFFF, size = 4, type = 0;
            const LONG status =
                layer.RegQueryValueExA(key, name.constData(), nullptr, &type,
                                       reinterpret_cast<unsigned char*>(&value), &size);
            if (status != ERROR_SUCCESS || value != DWORD(i) || type != REG_DWORD)
                QFAIL(qPrintable(QStringLiteral("value %1 lost (status %2)")
                                     .arg(QString::fromUtf8(name))
                                     .arg(status)));
        }
    }
    layer.RegCloseKey(key);
}

void tst_RegistryDurability::killedWriterLosesNoReturnedWrite_data() {
    QTest::addColumn<int>("killAfter");
    QTest::newRow("killed after the first write") << 1;
    QTest::newRow("killed after 500 writes") << 500;
    QTest::newRow("killed after 3000 writes") << 3000;
}

void tst_RegistryDurability::killedWriterLosesNoReturnedWrite() {
    QFETCH(int, killAfter);
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("registry.db"));
    QProcess writer;
    writer.start(helper(), {"write", db, "v", QString::number(kWrites)});
    QVERIFY(writer.waitForStarted());
    std::set<long> returned;
    QByteArray pending;
    while (long(returned.size()) < killAfter && writer.state() == QProcess::Running) {
        writer.waitForReadyRead(10000);
        pending += writer.readAllStandardOutput();
        for (qsizetype nl; (nl = pending.indexOf('\n')) >= 0; pending.remove(0, nl + 1))
            returned.insert(pending.left(nl).toLong());
    }
    writer.kill(); // SIGKILL
    QVERIFY(writer.waitForFinished(10000));
    // Lines already in the pipe were written after their write returned.
    pending += writer.readAllStandardOutput();
    for (qsizetype nl; (nl = pending.indexOf('\n')) >= 0; pending.remove(0, nl + 1))
        returned.insert(pending.left(nl).toLong());
    qInfo("%zu writes had returned when the writer was %s", returned.size(),
          writer.exitStatus() == QProcess::CrashExit ? "killed" : "already done");
    QVERIFY(long(returned.size()) >= killAfter);
    checkValues(db, {"v"}, kWrites, returned);
}

void tst_RegistryDurability::twoWritersAtOnceLoseNothing() {
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("registry.db"));
    QProcess a, b;
    a.setStandardOutputFile(QProcess::nullDevice());
    b.setStandardOutputFile(QProcess::nullDevice());
    a.start(helper(), {"write", db, "a", QString::number(kWrites)});
    b.start(helper(), {"write", db, "b", QString::number(kWrites)});
    QVERIFY(a.waitForFinished(120000));
    QVERIFY(b.waitForFinished(120000));
    QCOMPARE(a.exitCode(), 0);
    QCOMPARE(b.exitCode(), 0);
    checkValues(db, {"a", "b"}, kWrites);
}

void tst_RegistryDurability::unprivilegedUserCannotWriteTheMachineStore_data() {
    QTest::addColumn<bool>("keepLog");
    QTest::newRow("store with its log file") << true;
    QTest::newRow("store without a log file") << false;
}

void tst_RegistryDurability::unprivilegedUserCannotWriteTheMachineStore() {
    QFETCH(bool, keepLog);
    if (::geteuid() != 0)
        QSKIP("needs root to set up the machine store and drop to an unprivileged user");
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        QSKIP("setpriv (util-linux) is not installed");
    QTemporaryDir dir;
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
    const QString machineDb = dir.filePath(QStringLiteral("machine/registry.db"));
    const QString userDir = dir.filePath(QStringLiteral("user"));
    const QString userDb = userDir + QStringLiteral("/registry.db");
    {
        registry::RegistryLayer layer;
        layer.setStore(HKEY_LOCAL_MACHINE,
                       std::make_shared<SqliteRegistryStore>(
                           machineDb.toStdString(), SqliteRegistryStore::Writers::RootOnly));
        layer.setStore(HKEY_CURRENT_USER,
                       std::make_shared<SqliteRegistryStore>(userDb.toStdString()));
        for (auto [root, path, data] : {std::tuple{HKEY_LOCAL_MACHINE, "Soft\\Co", "orig"},
                                        std::tuple{HKEY_CURRENT_USER, "Mine", "mine"}}) {
            HKEY key = 0;
            QCOMPARE(layer.RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                           nullptr),
                     ERROR_SUCCESS);
            QCOMPARE(layer.RegSetValueExA(key, "v", 0, REG_SZ,
                                          reinterpret_cast<const unsigned char*>(data), 5),
                     ERROR_SUCCESS);
            layer.RegCloseKey(key);
        }
    }
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(machineDb).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0644u); // every user reads the machine's store
    if (!keepLog) {
        QFile::remove(machineDb + "-wal");
        QFile::remove(machineDb + "-shm");
    }
    // The user's own store, which its owner made read-only.
    for (const QString& path : {userDir, userDb, userDb + "-wal", userDb + "-shm"})
        QVERIFY(::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0);
    QVERIFY(::chmod(QFile::encodeName(userDb).constData(), 0444) == 0);
    const QByteArray before = fileHash(machineDb);

    QProcess user;
    user.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups", helper(),
                         "unprivileged", machineDb, userDb});
    QVERIFY(user.waitForFinished(30000));
    const QString out = QString::fromUtf8(user.readAllStandardOutput());
    QVERIFY2(user.exitCode() == 0, qPrintable(user.readAllStandardError()));
    const QStringList expected{"read=orig",         "keys=1",          "deleteValue=0",
                               "deleteKey=0",       "create=5",        "openForWrite=5",
                               "deleteKeyAtRoot=5", "afterwards=orig", "userRead=mine",
                               "userSet=5"};
    QCOMPARE(out.split('\n', Qt::SkipEmptyParts), expected);
    QCOMPARE(fileHash(machineDb), before);
    QVERIFY(keepLog || !QFile::exists(machineDb + "-wal"));
}

void tst_RegistryDurability::write(const QString& db, const QString& prefix, int count,
                                   const QString& key) {
    QProcess writer;
    writer.setStandardOutputFile(QProcess::nullDevice());
    writer.start(helper(), {"write", db, prefix, QString::number(count), key});
    QVERIFY(writer.waitForFinished(60000));
    QVERIFY2(writer.exitCode() == 0, writer.readAllStandardError().constData());
}

void tst_RegistryDurability::enumerationSeesAnotherProcesssWrites_data() {
    QTest::addColumn<bool>("subkeys");
    QTest::newRow("values") << false;
    QTest::newRow("subkeys") << true;
}

// An enumeration under way takes a fresh snapshot once another process has
// changed the store, as it does after a change of its own.
void tst_RegistryDurability::enumerationSeesAnotherProcesssWrites() {
    QFETCH(bool, subkeys);
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("registry.db"));
    write(db, "a", 2, "Alpha");
    registry::RegistryLayer layer;
    layer.setStore(HKEY_CURRENT_USER, std::make_shared<SqliteRegistryStore>(db.toStdString()));
    HKEY key = HKEY_CURRENT_USER;
    if (!subkeys)
        QCOMPARE(layer.RegOpenKeyExA(HKEY_CURRENT_USER, "Alpha", 0, KEY_READ, &key), ERROR_SUCCESS);
    const auto nameAt = [&](DWORD index) {
        char name[64];
        DWORD size = sizeof name;
        const LONG status =
            subkeys
                ? layer.RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr)
                : layer.RegEnumValueA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        return status == ERROR_SUCCESS ? QString::fromUtf8(name, int(size))
                                       : QStringLiteral("<%1>").arg(status);
    };
    QCOMPARE(nameAt(0), subkeys ? "Alpha" : "a0");
    write(db, "b", 2, subkeys ? "Beta" : "Alpha");
    QStringList rest;
    for (DWORD index = 1; index < 10 && (rest.isEmpty() || !rest.last().startsWith('<')); ++index)
        rest << nameAt(index);
    const QString end = QStringLiteral("<%1>").arg(ERROR_NO_MORE_ITEMS);
    QCOMPARE(rest, subkeys ? QStringList({"Beta", end}) : QStringList({"a1", "b0", "b1", end}));
    layer.RegCloseKey(key);
}

void tst_RegistryDurability::generationFollowsWhatOtherProcessesDo_data() {
    QTest::addColumn<QString>("before"); // what lies at the store's path
    QTest::addColumn<QString>("change"); // what another process does meanwhile
    QTest::addColumn<QStringList>("after");
    QTest::newRow("nothing changes") << "store"
                                     << "nothing" << QStringList{"a0", "a1"};
    QTest::newRow("values written") << "store"
                                    << "write" << QStringList{"a0", "a1", "b0", "b1"};
    QTest::newRow("store made where none was") << "none"
                                               << "write" << QStringList{"b0", "b1"};
    QTest::newRow("empty file filled") << "empty"
                                       << "write" << QStringList{"b0", "b1"};
    QTest::newRow("store replaced by another file") << "store"
                                                    << "replace" << QStringList{"c0"};
    QTest::newRow("store removed") << "store"
                                   << "remove" << QStringList{};
}

// What a store held when this process last read it counts for nothing once
// another process changed, made, replaced or removed the file.
void tst_RegistryDurability::generationFollowsWhatOtherProcessesDo() {
    QFETCH(QString, before);
    QFETCH(QString, change);
    QFETCH(QStringList, after);
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("registry.db"));
    if (before == "store")
        write(db, "a", 2);
    if (before == "empty")
        QVERIFY(QFile(db).open(QIODevice::WriteOnly));
    SqliteRegistryStore store(db.toStdString());
    registry::KeyPath path;
    QCOMPARE(registry::parseKeyPath("Durable", path), ERROR_SUCCESS);
    const auto names = [&] {
        std::vector<RegistryValueData> values;
        store.listValues(path, values);
        QStringList list;
        for (const RegistryValueData& value : values)
            list << QString::fromStdString(value.name);
        return list;
    };
    const QStringList first = names();
    const std::uint64_t generation = store.generation();
    QCOMPARE(store.generation(), generation);

    const QStringList logs{"", "-wal", "-shm"};
    if (change == "write") {
        write(db, "b", 2);
    } else if (change == "replace") {
        // Moved in whole, with its log, as one replaces an SQLite file.
        const QString other = dir.filePath(QStringLiteral("other.db"));
        write(other, "c", 1);
        for (const QString& log : logs) {
            QFile::remove(db + log);
            QVERIFY(!QFile::exists(other + log) || QFile::rename(other + log, db + log));
        }
    } else if (change == "remove") {
        for (const QString& log : logs)
            QFile::remove(db + log);
    }
    QCOMPARE(store.generation() != generation, change != "nothing");
    QCOMPARE(names(), after);
    if (change == "nothing")
        QCOMPARE(first, after);
}

QTEST_GUILESS_MAIN(tst_RegistryDurability)
#include "tst_RegistryDurability.moc"
