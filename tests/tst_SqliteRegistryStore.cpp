#include "FakeRegistryProvider.h"
#include "network_report/NetworkReport.h"
#include "platform/registry/RegistryLayer.h"
#include "platform/registry/SqliteRegistryStore.h"
#include "platform/registry/StoreFile.h"
#include "platform/registry/SystemRegistry.h"
#include "registry/clsRegistryAccess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <sqlite3.h>
#include <sys/stat.h>

using namespace ombrix;
using namespace ombrix::platform;
using registry::SqliteRegistryStore;

// What the SQLite store does with its file.
class tst_SqliteRegistryStore : public QObject {
    Q_OBJECT
private slots:
    void fileIsMadeOnlyByTheFirstWrite();
    void writesSurviveReopening();
    void corruptStoreIsNeverOverwritten_data();
    void corruptStoreIsNeverOverwritten();
    void onlyAWriteMakesOrMarksAStore_data();
    void onlyAWriteMakesOrMarksAStore();
    void damagedStoreLeavesTheLiveViewReadable_data();
    void damagedStoreLeavesTheLiveViewReadable();
    void userStoreFollowsXdgDataHome_data();
    void userStoreFollowsXdgDataHome();
};

namespace {

std::unique_ptr<registry::RegistryLayer> layerOn(const QString& db) {
    auto layer = std::make_unique<registry::RegistryLayer>();
    layer->setStore(HKEY_CURRENT_USER, std::make_shared<SqliteRegistryStore>(db.toStdString()));
    return layer;
}

LONG putValue(registry::RegistryLayer& layer, const char* path, const char* name,
              const QByteArray& data) {
    HKEY key = 0;
    LONG status = layer.RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS,
                                        nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = layer.RegSetValueExA(key, name, 0, REG_BINARY,
                                      reinterpret_cast<const unsigned char*>(data.constData()),
                                      static_cast<DWORD>(data.size()));
        layer.RegCloseKey(key);
    }
    return status;
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs SQL on a file as another program would.
bool runSql(const QString& path, const QByteArray& sql) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK &&
              sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

long long applicationId(const QString& path) {
    sqlite3* db = nullptr;
    sqlite3_stmt* s = nullptr;
    long long id = -1;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "PRAGMA application_id", -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW)
        id = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    sqlite3_close(db);
    return id;
}

QStringList filesIn(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// What another program, or damage, may have left where a store belongs.
bool makeFile(const QString& path, const QString& kind) {
    const QByteArray notes = "CREATE TABLE notes(id INTEGER PRIMARY KEY, body TEXT);"
                             "INSERT INTO notes(body) VALUES('mine');";
    if (kind == "directory")
        return QDir().mkpath(path);
    if (kind == "database")
        return runSql(path, notes);
    if (kind == "database in WAL mode")
        return runSql(path, "PRAGMA journal_mode=WAL;" + notes);
    if (kind == "database with its own mark")
        return runSql(path, "PRAGMA application_id=1234;" + notes);
    if (kind == "database with no tables")
        return runSql(path, "PRAGMA user_version=7;");
    if (kind == "older store without our mark")
        return putValue(*layerOn(path), "Soft", "v", "old") == ERROR_SUCCESS &&
               runSql(path, "PRAGMA application_id=0;");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (kind == "garbage")
        file.write(QByteArray("\x13\x37garbage").repeated(500));
    return true; // "zero-length"
}

} // namespace

void tst_SqliteRegistryStore::fileIsMadeOnlyByTheFirstWrite() {
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("ombrix/registry.db"));
    auto layer = layerOn(db);
    HKEY key = 0;
    QCOMPARE(layer->RegOpenKeyExA(HKEY_CURRENT_USER, "Soft", 0, KEY_READ, &key),
             ERROR_FILE_NOT_FOUND);
    char name[8];
    DWORD size = sizeof name;
    QCOMPARE(
        layer->RegEnumKeyExA(HKEY_CURRENT_USER, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
        ERROR_NO_MORE_ITEMS);
    size = 0;
    QCOMPARE(layer->RegQueryValueExA(HKEY_CURRENT_USER, "v", nullptr, nullptr, nullptr, &size),
             ERROR_FILE_NOT_FOUND);
    // Opening the root key through "create" writes nothing either.
    QCOMPARE(layer->RegCreateKeyExA(HKEY_CURRENT_USER, "", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    &key, nullptr),
             ERROR_SUCCESS);
    layer->RegCloseKey(key);
    QVERIFY(!QFile::exists(db));
    QVERIFY(!QDir(dir.filePath(QStringLiteral("ombrix"))).exists());

    QCOMPARE(putValue(*layer, "Soft", "v", "x"), ERROR_SUCCESS);
    QVERIFY(QFile::exists(db));
    // A user's store is theirs alone, whatever the umask.
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(db).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0600u);
    QCOMPARE(::stat(QFile::encodeName(dir.filePath("ombrix")).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0700u);
}

void tst_SqliteRegistryStore::writesSurviveReopening() {
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("registry.db"));
    QCOMPARE(putValue(*layerOn(db), "A\\B", "Name", "data"), ERROR_SUCCESS);
    auto layer = layerOn(db);
    HKEY key = 0;
    QCOMPARE(layer->RegOpenKeyExA(HKEY_CURRENT_USER, "a\\b", 0, KEY_READ, &key), ERROR_SUCCESS);
    char data[8] = {};
    DWORD size = sizeof data;
    QCOMPARE(layer->RegQueryValueExA(key, "NAME", nullptr, nullptr,
                                     reinterpret_cast<unsigned char*>(data), &size),
             ERROR_SUCCESS);
    QCOMPARE(QByteArray(data, int(size)), QByteArray("data"));
    layer->RegCloseKey(key);
}

void tst_SqliteRegistryStore::corruptStoreIsNeverOverwritten_data() {
    QTest::addColumn<int>("damage");
    QTest::newRow("text instead of a database") << 0;
    QTest::newRow("a damaged page") << 1;
    QTest::newRow("a file cut short") << 2;
}

void tst_SqliteRegistryStore::corruptStoreIsNeverOverwritten() {
    QFETCH(int, damage);
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("registry.db"));
    if (damage == 0) {
        QFile file(db);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("[HKEY_CURRENT_USER\\Soft]\n\"v\"=\"x\"\n").repeated(200));
    } else {
        {
            auto layer = layerOn(db);
            for (int i = 0; i < 200; ++i)
                QCOMPARE(putValue(*layer, qPrintable(QStringLiteral("K%1").arg(i)), "v",
                                  QByteArray(100, 'd')),
                         ERROR_SUCCESS);
        }
        QFile::remove(db + "-wal");
        QFile::remove(db + "-shm");
        QFile file(db);
        QVERIFY(file.open(QIODevice::ReadWrite));
        if (damage == 1) {
            file.seek(file.size() / 2 / 4096 * 4096);
            file.write(QByteArray(64, '\xff'));
        } else {
            file.resize(file.size() / 2);
        }
    }
    const QByteArray before = contents(db);
    auto layer = layerOn(db);
    HKEY key = 0;
    QCOMPARE(layer->RegOpenKeyExA(HKEY_CURRENT_USER, "K1", 0, KEY_READ, &key),
             ERROR_REGISTRY_CORRUPT);
    QCOMPARE(layer->RegCreateKeyExA(HKEY_CURRENT_USER, "New", 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &key, nullptr),
             ERROR_REGISTRY_CORRUPT);
    QCOMPARE(layer->RegSetValueExA(HKEY_CURRENT_USER, "v", 0, REG_SZ,
                                   reinterpret_cast<const unsigned char*>("x"), 1),
             ERROR_REGISTRY_CORRUPT);
    QCOMPARE(layer->RegDeleteKeyA(HKEY_CURRENT_USER, "K1"), ERROR_REGISTRY_CORRUPT);
    char name[8];
    DWORD size = sizeof name;
    QCOMPARE(
        layer->RegEnumKeyExA(HKEY_CURRENT_USER, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
        ERROR_REGISTRY_CORRUPT);
    layer.reset();
    QCOMPARE(contents(db), before);
}

void tst_SqliteRegistryStore::onlyAWriteMakesOrMarksAStore_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<LONG>("read");  // opening a key the file may hold
    QTest::addColumn<LONG>("write"); // the first write
    QTest::newRow("zero-length file: empty")
        << "zero-length" << ERROR_FILE_NOT_FOUND << ERROR_SUCCESS;
    QTest::newRow("older store: ours")
        << "older store without our mark" << ERROR_SUCCESS << ERROR_SUCCESS;
    for (const char* kind : {"database", "database in WAL mode", "database with its own mark",
                             "database with no tables"})
        QTest::newRow(qPrintable(QStringLiteral("another program's %1").arg(kind)))
            << kind << ERROR_REGISTRY_CORRUPT << ERROR_REGISTRY_CORRUPT;
}

void tst_SqliteRegistryStore::onlyAWriteMakesOrMarksAStore() {
    QFETCH(QString, kind);
    QFETCH(LONG, read);
    QFETCH(LONG, write);
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("registry.db"));
    QVERIFY(makeFile(db, kind));
    const QByteArray before = contents(db);
    const QStringList files = filesIn(dir.path());

    auto layer = layerOn(db);
    HKEY key = 0;
    QCOMPARE(layer->RegOpenKeyExA(HKEY_CURRENT_USER, "Soft", 0, KEY_READ, &key), read);
    layer->RegCloseKey(key);
    char name[8];
    DWORD size = sizeof name;
    QCOMPARE(
        layer->RegEnumKeyExA(HKEY_CURRENT_USER, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
        read == ERROR_FILE_NOT_FOUND ? ERROR_NO_MORE_ITEMS : read);
    QCOMPARE(contents(db), before);
    if (read != ERROR_SUCCESS) // an SQLite reader of our own store may open its log
        QCOMPARE(filesIn(dir.path()), files);

    QCOMPARE(putValue(*layer, "Soft", "w", "new"), write);
    layer.reset();
    if (write == ERROR_SUCCESS) {
        QCOMPARE(applicationId(db), static_cast<long long>(registry::kStoreApplicationId));
        QCOMPARE(layerOn(db)->RegOpenKeyExA(HKEY_CURRENT_USER, "Soft", 0, KEY_READ, &key),
                 ERROR_SUCCESS);
    } else {
        QCOMPARE(contents(db), before);
        QCOMPARE(filesIn(dir.path()), files);
    }
}

void tst_SqliteRegistryStore::damagedStoreLeavesTheLiveViewReadable_data() {
    QTest::addColumn<QString>("kind");
    for (const char* kind : {"garbage", "directory", "database"})
        QTest::newRow(kind) << kind;
}

void tst_SqliteRegistryStore::damagedStoreLeavesTheLiveViewReadable() {
    QFETCH(QString, kind);
    const char* services = "SYSTEM\\CurrentControlSet\\Services";
    auto provider = std::make_shared<FakeRegistryProvider>();
    provider->keys["NetBT\\Adapters"] = ProviderKey{{"eth0"}, {}};
    provider->keys["NetBT\\Adapters\\eth0"] = ProviderKey{{}, {{"NameServer", REG_SZ, {0}}}};
    provider->keys["eth0\\Parameters\\Tcpip"] =
        ProviderKey{{}, {{"IPAddress", REG_MULTI_SZ, {'1', '.', '2', 0, 0}}}};
    const auto report = [&](const QString& db) {
        registry::RegistryLayer layer;
        layer.setStore(HKEY_LOCAL_MACHINE, std::make_shared<SqliteRegistryStore>(db.toStdString()));
        layer.mount(HKEY_LOCAL_MACHINE, services, provider);
        clsRegistryAccess access(layer);
        return BuildNetworkReport(access);
    };
    QTemporaryDir dir;
    const QStringList sound = report(dir.filePath(QStringLiteral("none/registry.db")));
    QVERIFY(sound.contains("   IP Address: 1.2"));

    const QString db = dir.filePath(QStringLiteral("registry.db"));
    QVERIFY(makeFile(db, kind));
    QCOMPARE(report(db), sound);

    // What the store holds reports the damage.
    registry::RegistryLayer layer;
    layer.setStore(HKEY_LOCAL_MACHINE, std::make_shared<SqliteRegistryStore>(db.toStdString()));
    layer.mount(HKEY_LOCAL_MACHINE, services, provider);
    HKEY key = 0;
    QCOMPARE(layer.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key),
             ERROR_REGISTRY_CORRUPT);
    QCOMPARE(layer.RegOpenKeyExA(HKEY_LOCAL_MACHINE, services, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD size = 0;
    QCOMPARE(layer.RegQueryValueExA(key, "Stored", nullptr, nullptr, nullptr, &size),
             ERROR_REGISTRY_CORRUPT);
    layer.RegCloseKey(key);
}

void tst_SqliteRegistryStore::userStoreFollowsXdgDataHome_data() {
    QTest::addColumn<QByteArray>("xdg");
    QTest::addColumn<QByteArray>("home");
    QTest::addColumn<QString>("expected");
    QTest::newRow("XDG_DATA_HOME set")
        << QByteArray("/data") << QByteArray("/home/u") << "/data/ombrix/registry.db";
    QTest::newRow("XDG_DATA_HOME unset")
        << QByteArray() << QByteArray("/home/u") << "/home/u/.local/share/ombrix/registry.db";
    QTest::newRow("relative XDG_DATA_HOME is ignored")
        << QByteArray("rel") << QByteArray("/home/u") << "/home/u/.local/share/ombrix/registry.db";
}

void tst_SqliteRegistryStore::userStoreFollowsXdgDataHome() {
    QFETCH(QByteArray, xdg);
    QFETCH(QByteArray, home);
    QFETCH(QString, expected);
    const QByteArray oldXdg = qgetenv("XDG_DATA_HOME");
    const QByteArray oldHome = qgetenv("HOME");
    const bool hadXdg = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    xdg.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", xdg);
    qputenv("HOME", home);
    const QString path = QString::fromStdString(registry::userStorePath());
    hadXdg ? qputenv("XDG_DATA_HOME", oldXdg) : qunsetenv("XDG_DATA_HOME");
    qputenv("HOME", oldHome);
    QCOMPARE(path, expected);
}

QTEST_GUILESS_MAIN(tst_SqliteRegistryStore)
#include "tst_SqliteRegistryStore.moc"
