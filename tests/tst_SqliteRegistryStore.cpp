#include "platform/registry/RegistryLayer.h"
#include "platform/registry/SqliteRegistryStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <sys/stat.h>

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
    const QString path = QString::fromStdString(SqliteRegistryStore::userStorePath());
    hadXdg ? qputenv("XDG_DATA_HOME", oldXdg) : qunsetenv("XDG_DATA_HOME");
    qputenv("HOME", oldHome);
    QCOMPARE(path, expected);
}

QTEST_GUILESS_MAIN(tst_SqliteRegistryStore)
#include "tst_SqliteRegistryStore.moc"
