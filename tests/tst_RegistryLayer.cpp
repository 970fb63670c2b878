#include "platform/registry/MemoryRegistryStore.h"
#include "platform/registry/RegistryLayer.h"
#include "platform/registry/SqliteRegistryStore.h"

#include "FakeRegistryProvider.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <cstring>

using namespace ombrix::platform;
using ombrix::platform::registry::RegistryLayer;

// The layer's rules, run once over the in-memory store and once over the
// SQLite store.
class tst_RegistryLayer : public QObject {
    Q_OBJECT
public:
    explicit tst_RegistryLayer(bool sqlite) : m_sqlite(sqlite) {}

private slots:
    void init();
    void cleanup();
    void handlesThatAreNotOpenAnswer6_data();
    void handlesThatAreNotOpenAnswer6();
    void accessMaskLimitsWhatAHandleMayDo_data();
    void accessMaskLimitsWhatAHandleMayDo();
    void badPathsAreInvalidParameters_data();
    void badPathsAreInvalidParameters();
    void argumentsTheLayerRefuses();
    void namesCompareWithoutCaseAndKeepTheirCase();
    void subkeysEnumerateInNameOrderValuesInCreationOrder();
    void tooSmallBufferAnswers234AndStaysUntouched();
    void keyWithSubkeysCannotBeDeleted();
    void deletedKeyUnderOpenHandle();
    void dataUpToAMegabyteIsKept();
    void replacedValueKeepsItsPlaceAndName();
    void mountedProviderServesItsKeysReadOnly();
    void keysOnTheWayToAMountPointExist();
    void ordinaryKeyUnderAMountPointRoundTrips_data();
    void ordinaryKeyUnderAMountPointRoundTrips();
    void keysOnTheWayToServedKeysTakeValues_data();
    void keysOnTheWayToServedKeysTakeValues();
    void servedKeyRefusesWritesAndDeletes_data();
    void servedKeyRefusesWritesAndDeletes();
    void mountPointListsStoredAndServedKeys();

private:
    HKEY create(const char* path, DWORD access = KEY_ALL_ACCESS);
    void setDword(HKEY key, const char* name, DWORD value);
    LONG queryDword(HKEY key, const char* name, DWORD& value);
    LONG valueNameAt(HKEY key, DWORD index, QByteArray& name);
    void mountServices();
    QStringList subkeys(const QString& path);

    bool m_sqlite;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RegistryLayer> m_layer;
};

HKEY tst_RegistryLayer::create(const char* path, DWORD access) {
    HKEY key = 0;
    DWORD disposition = 0;
    const LONG status = m_layer->RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, access,
                                                 nullptr, &key, &disposition);
    if (status != ERROR_SUCCESS)
        qWarning("create %s: %d", path, status);
    return key;
}

void tst_RegistryLayer::setDword(HKEY key, const char* name, DWORD value) {
    QCOMPARE(m_layer->RegSetValueExA(key, name, 0, REG_DWORD,
                                     reinterpret_cast<const unsigned char*>(&value), 4),
             ERROR_SUCCESS);
}

LONG tst_RegistryLayer::queryDword(HKEY key, const char* name, DWORD& value) {
    DWORD size = sizeof value;
    return m_layer->RegQueryValueExA(key, name, nullptr, nullptr,
                                     reinterpret_cast<unsigned char*>(&value), &size);
}

LONG tst_RegistryLayer::valueNameAt(HKEY key, DWORD index, QByteArray& name) {
    char buffer[64];
    DWORD size = sizeof buffer;
    const LONG status =
        m_layer->RegEnumValueA(key, index, buffer, &size, nullptr, nullptr, nullptr, nullptr);
    name = status == ERROR_SUCCESS ? QByteArray(buffer, size) : QByteArray();
    return status;
}

namespace {

const QString kServices = QStringLiteral("SYSTEM\\CurrentControlSet\\Services");

QByteArray servicesPath(const QString& rel) {
    return (rel.isEmpty() ? kServices : kServices + '\\' + rel).toUtf8();
}

} // namespace

// A network view as the live one serves it: adapters in index order, not in
// name order.
void tst_RegistryLayer::mountServices() {
    auto provider = std::make_shared<FakeRegistryProvider>();
    provider->keys["Tcpip\\Parameters"] = ProviderKey{{}, {{"HostName", REG_SZ, {'h', 0}}}};
    provider->keys["NetBT\\Adapters"] = ProviderKey{{"eth1", "eth0"}, {}};
    for (const char* name : {"NetBT\\Adapters\\eth1", "NetBT\\Adapters\\eth0"})
        provider->keys[name] = ProviderKey{{}, {{"NameServer", REG_SZ, {0}}}};
    provider->keys["eth0\\Parameters\\Tcpip"] =
        ProviderKey{{}, {{"EnableDHCP", REG_DWORD, {1, 0, 0, 0}}}};
    QVERIFY(m_layer->mount(HKEY_CURRENT_USER, kServices.toStdString(), provider));
}

// The subkeys of a key as an enumeration gives them, or its open status.
QStringList tst_RegistryLayer::subkeys(const QString& path) {
    HKEY key = 0;
    const LONG status =
        m_layer->RegOpenKeyExA(HKEY_CURRENT_USER, path.toUtf8().constData(), 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS)
        return {QString::number(status)};
    QStringList names;
    char name[64];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (m_layer->RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names << QString::fromUtf8(name);
    }
    m_layer->RegCloseKey(key);
    return names;
}

void tst_RegistryLayer::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    m_layer = std::make_unique<RegistryLayer>();
    std::shared_ptr<registry::RegistryStore> store;
    if (m_sqlite)
        store = std::make_shared<registry::SqliteRegistryStore>(
            m_dir->filePath(QStringLiteral("sub/registry.db")).toStdString());
    else
        store = std::make_shared<registry::MemoryRegistryStore>();
    m_layer->setStore(HKEY_CURRENT_USER, store);
}

void tst_RegistryLayer::cleanup() {
    QCOMPARE(m_layer->openHandleCount(), std::size_t{0});
    m_layer.reset();
    m_dir.reset();
}

void tst_RegistryLayer::handlesThatAreNotOpenAnswer6_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("closed handle") << 0;
    QTest::newRow("forged handle") << 1;
    QTest::newRow("root key without a store") << 2;
    QTest::newRow("zero") << 3;
}

void tst_RegistryLayer::handlesThatAreNotOpenAnswer6() {
    QFETCH(int, kind);
    HKEY key = create("A");
    QCOMPARE(m_layer->RegCloseKey(key), ERROR_SUCCESS);
    const std::array<HKEY, 4> handles{key, key + 1, HKEY_LOCAL_MACHINE, 0};
    const HKEY bad = handles[static_cast<std::size_t>(kind)];
    HKEY out = 123;
    DWORD size = 4;
    char name[8];
    DWORD nameSize = 8;
    QCOMPARE(m_layer->RegOpenKeyExA(bad, "A", 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
    QCOMPARE(out, HKEY{0});
    QCOMPARE(m_layer->RegQueryValueExA(bad, "x", nullptr, nullptr, nullptr, &size),
             ERROR_INVALID_HANDLE);
    QCOMPARE(m_layer->RegSetValueExA(bad, "x", 0, REG_SZ, nullptr, 0), ERROR_INVALID_HANDLE);
    QCOMPARE(m_layer->RegDeleteValueA(bad, "x"), ERROR_INVALID_HANDLE);
    QCOMPARE(m_layer->RegDeleteKeyA(bad, "A"), ERROR_INVALID_HANDLE);
    QCOMPARE(m_layer->RegEnumKeyExA(bad, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
             ERROR_INVALID_HANDLE);
    QCOMPARE(m_layer->RegCloseKey(bad), ERROR_INVALID_HANDLE);
}

void tst_RegistryLayer::accessMaskLimitsWhatAHandleMayDo_data() {
    QTest::addColumn<uint>("access");
    QTest::addColumn<int>("query");
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("enumKeys");
    QTest::addColumn<int>("deleteKey");
    QTest::newRow("enumerate only") << uint(KEY_ENUMERATE_SUB_KEYS) << 5 << 5 << 0 << 5;
    QTest::newRow("read") << uint(KEY_READ) << 0 << 5 << 0 << 5;
    QTest::newRow("set value only") << uint(KEY_SET_VALUE) << 5 << 0 << 5 << 5;
    QTest::newRow("full access") << uint(KEY_ALL_ACCESS) << 0 << 0 << 0 << 0;
}

void tst_RegistryLayer::accessMaskLimitsWhatAHandleMayDo() {
    QFETCH(uint, access);
    QFETCH(int, query);
    QFETCH(int, set);
    QFETCH(int, enumKeys);
    QFETCH(int, deleteKey);
    m_layer->RegCloseKey(create("K\\Sub"));
    HKEY setup = create("K");
    setDword(setup, "v", 7);
    m_layer->RegCloseKey(setup);

    HKEY key = 0;
    QCOMPARE(m_layer->RegOpenKeyExA(HKEY_CURRENT_USER, "K", 0, access, &key), ERROR_SUCCESS);
    DWORD data = 0, size = 4;
    QCOMPARE(m_layer->RegQueryValueExA(key, "v", nullptr, nullptr,
                                       reinterpret_cast<unsigned char*>(&data), &size),
             query);
    QCOMPARE(m_layer->RegSetValueExA(key, "w", 0, REG_SZ,
                                     reinterpret_cast<const unsigned char*>("x"), 1),
             set);
    char name[16];
    DWORD nameSize = sizeof name;
    QCOMPARE(m_layer->RegEnumKeyExA(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
             enumKeys);
    QCOMPARE(m_layer->RegDeleteKeyA(key, "Sub"), deleteKey);
    m_layer->RegCloseKey(key);
}

void tst_RegistryLayer::badPathsAreInvalidParameters_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<int>("status");
    QTest::newRow("leading backslash") << QByteArray("\\A") << 87;
    QTest::newRow("trailing backslash") << QByteArray("A\\") << 87;
    QTest::newRow("empty level") << QByteArray("A\\\\B") << 87;
    QTest::newRow("only a backslash") << QByteArray("\\") << 87;
    QTest::newRow("name of 256 characters") << QByteArray(256, 'n') << 87;
    QTest::newRow("name of 255 characters") << QByteArray(255, 'n') << 0;
    QTest::newRow("255 characters of two bytes each") << QByteArray("\xc3\xa9").repeated(255) << 0;
    QTest::newRow("invalid UTF-8") << QByteArray("A\\\xff\xfe") << 87;
    QTest::newRow("overlong UTF-8") << QByteArray("\xc0\xaf") << 87;
    QTest::newRow("truncated UTF-8") << QByteArray("ab\xe2\x82") << 87;
}

void tst_RegistryLayer::badPathsAreInvalidParameters() {
    QFETCH(QByteArray, path);
    QFETCH(int, status);
    HKEY key = 0;
    QCOMPARE(m_layer->RegCreateKeyExA(HKEY_CURRENT_USER, path.constData(), 0, nullptr, 0,
                                      KEY_ALL_ACCESS, nullptr, &key, nullptr),
             status);
    m_layer->RegCloseKey(key);
    QCOMPARE(m_layer->RegOpenKeyExA(HKEY_CURRENT_USER, path.constData(), 0, KEY_READ, &key),
             status);
    m_layer->RegCloseKey(key);
}

void tst_RegistryLayer::argumentsTheLayerRefuses() {
    HKEY key = create("Args");
    const std::string longName(16384, 'v');
    const std::string longestName(16383, 'v');
    const auto* x = reinterpret_cast<const unsigned char*>("x");
    QCOMPARE(m_layer->RegSetValueExA(key, longName.c_str(), 0, REG_SZ, x, 1),
             ERROR_INVALID_PARAMETER);
    QCOMPARE(m_layer->RegSetValueExA(key, longestName.c_str(), 0, REG_SZ, x, 1), ERROR_SUCCESS);
    QCOMPARE(m_layer->RegSetValueExA(key, "v", 1, REG_SZ, x, 1), ERROR_INVALID_PARAMETER);
    QCOMPARE(m_layer->RegSetValueExA(key, "\xff", 0, REG_SZ, x, 1), ERROR_INVALID_PARAMETER);
    QCOMPARE(m_layer->RegOpenKeyExA(HKEY_CURRENT_USER, "Args", 0, KEY_READ, nullptr),
             ERROR_INVALID_PARAMETER);
    HKEY other = 0;
    QCOMPARE(m_layer->RegOpenKeyExA(HKEY_CURRENT_USER, "Args", 4, KEY_READ, &other),
             ERROR_INVALID_PARAMETER);
    QCOMPARE(m_layer->RegCreateKeyExA(HKEY_CURRENT_USER, "Args", 0, nullptr, 1, KEY_READ, nullptr,
                                      &other, nullptr),
             ERROR_INVALID_PARAMETER);
    QCOMPARE(m_layer->RegCreateKeyExA(HKEY_CURRENT_USER, nullptr, 0, nullptr, 0, KEY_READ, nullptr,
                                      &other, nullptr),
             ERROR_INVALID_PARAMETER);
    DWORD reserved = 0, size = 1;
    unsigned char data[1];
    QCOMPARE(m_layer->RegQueryValueExA(key, "v", &reserved, nullptr, data, &size),
             ERROR_INVALID_PARAMETER);
    QCOMPARE(m_layer->RegQueryValueExA(key, "v", nullptr, nullptr, data, nullptr),
             ERROR_INVALID_PARAMETER);
    char name[4];
    QCOMPARE(m_layer->RegEnumKeyExA(key, 0, name, nullptr, nullptr, nullptr, nullptr, nullptr),
             ERROR_INVALID_PARAMETER);
    QCOMPARE(m_layer->RegEnumValueA(key, 0, nullptr, &size, nullptr, nullptr, nullptr, nullptr),
             ERROR_INVALID_PARAMETER);
    m_layer->RegCloseKey(key);
}

void tst_RegistryLayer::namesCompareWithoutCaseAndKeepTheirCase() {
    HKEY key = create("Software\\Ärger");
    setDword(key, "Count", 1);
    setDword(key, "COUNT", 2);
    m_layer->RegCloseKey(key);

    QCOMPARE(m_layer->RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\äRGER", 0, KEY_READ, &key),
             ERROR_SUCCESS);
    DWORD value = 0;
    QCOMPARE(queryDword(key, "count", value), ERROR_SUCCESS);
    QCOMPARE(value, DWORD{2});
    QByteArray valueName;
    QCOMPARE(valueNameAt(key, 0, valueName), ERROR_SUCCESS);
    QCOMPARE(valueName, QByteArray("Count"));
    QCOMPARE(valueNameAt(key, 1, valueName), ERROR_NO_MORE_ITEMS);
    m_layer->RegCloseKey(key);

    char name[32];
    DWORD nameSize = sizeof name;
    QCOMPARE(m_layer->RegEnumKeyExA(HKEY_CURRENT_USER, 0, name, &nameSize, nullptr, nullptr,
                                    nullptr, nullptr),
             ERROR_SUCCESS);
    QCOMPARE(QByteArray(name), QByteArray("Software"));
    QCOMPARE(nameSize, DWORD{8});
}

void tst_RegistryLayer::subkeysEnumerateInNameOrderValuesInCreationOrder() {
    for (const char* name : {"P\\b", "P\\_x", "P\\A", "P\\c", "P\\B10"})
        m_layer->RegCloseKey(create(name));
    HKEY key = create("P");
    for (const char* name : {"zeta", "alpha", "", "mid"})
        setDword(key, name, 1);
    QStringList keys, values;
    char name[32];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        const LONG status =
            m_layer->RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            QCOMPARE(status, ERROR_NO_MORE_ITEMS);
            break;
        }
        keys << QString::fromUtf8(name, size);
    }
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        const LONG status =
            m_layer->RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            QCOMPARE(status, ERROR_NO_MORE_ITEMS);
            break;
        }
        values << QString::fromUtf8(name, size);
    }
    m_layer->RegCloseKey(key);
    // Compared upper-cased, as the registry does: "_" sorts after the letters.
    QCOMPARE(keys, QStringList({"A", "b", "B10", "c", "_x"}));
    QCOMPARE(values, QStringList({"zeta", "alpha", "", "mid"}));
}

void tst_RegistryLayer::tooSmallBufferAnswers234AndStaysUntouched() {
    HKEY key = create("Buf");
    const unsigned char data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    QCOMPARE(m_layer->RegSetValueExA(key, "eight", 0, REG_BINARY, data, 8), ERROR_SUCCESS);
    unsigned char buffer[7];
    std::memset(buffer, 0xAA, sizeof buffer);
    DWORD size = sizeof buffer, type = 0;
    QCOMPARE(m_layer->RegQueryValueExA(key, "eight", nullptr, &type, buffer, &size),
             ERROR_MORE_DATA);
    QCOMPARE(size, DWORD{8});
    QVERIFY(std::all_of(buffer, buffer + 7, [](unsigned char c) { return c == 0xAA; }));

    char name[5];
    std::memset(name, 'z', sizeof name);
    size = sizeof buffer;
    DWORD nameSize = sizeof name;
    QCOMPARE(m_layer->RegEnumValueA(key, 0, name, &nameSize, nullptr, nullptr, buffer, &size),
             ERROR_MORE_DATA);
    QVERIFY(std::all_of(name, name + 5, [](char c) { return c == 'z'; }));
    QVERIFY(std::all_of(buffer, buffer + 7, [](unsigned char c) { return c == 0xAA; }));
    // A name of five characters needs six: the zero counts.
    nameSize = 6;
    char longer[6];
    size = 8;
    unsigned char fits[8];
    QCOMPARE(m_layer->RegEnumValueA(key, 0, longer, &nameSize, nullptr, nullptr, fits, &size),
             ERROR_SUCCESS);
    QCOMPARE(nameSize, DWORD{5});
    m_layer->RegCloseKey(key);
}

void tst_RegistryLayer::keyWithSubkeysCannotBeDeleted() {
    m_layer->RegCloseKey(create("D\\E\\F"));
    QCOMPARE(m_layer->RegDeleteKeyA(HKEY_CURRENT_USER, "D\\E"), ERROR_ACCESS_DENIED);
    QCOMPARE(m_layer->RegDeleteKeyA(HKEY_CURRENT_USER, "D\\E\\F"), ERROR_SUCCESS);
    QCOMPARE(m_layer->RegDeleteKeyA(HKEY_CURRENT_USER, "D\\E\\F"), ERROR_FILE_NOT_FOUND);
    QCOMPARE(m_layer->RegDeleteKeyA(HKEY_CURRENT_USER, "d\\e"), ERROR_SUCCESS);
    QCOMPARE(m_layer->RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_INVALID_PARAMETER);
    QCOMPARE(m_layer->RegDeleteKeyA(HKEY_CURRENT_USER, nullptr), ERROR_INVALID_PARAMETER);
}

void tst_RegistryLayer::deletedKeyUnderOpenHandle() {
    HKEY key = create("Gone");
    QCOMPARE(m_layer->RegDeleteKeyA(HKEY_CURRENT_USER, "Gone"), ERROR_SUCCESS);
    DWORD size = 0;
    QCOMPARE(m_layer->RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size),
             ERROR_KEY_DELETED);
    QCOMPARE(m_layer->RegSetValueExA(key, "v", 0, REG_SZ, nullptr, 0), ERROR_KEY_DELETED);
    QCOMPARE(m_layer->RegCloseKey(key), ERROR_SUCCESS);
}

void tst_RegistryLayer::dataUpToAMegabyteIsKept() {
    HKEY key = create("Big");
    std::vector<unsigned char> data(1024 * 1024 + 1, 0x5A);
    QCOMPARE(m_layer->RegSetValueExA(key, "big", 0, REG_BINARY, data.data(),
                                     static_cast<DWORD>(data.size())),
             ERROR_INVALID_PARAMETER);
    QCOMPARE(m_layer->RegSetValueExA(key, "big", 0, REG_BINARY, data.data(),
                                     static_cast<DWORD>(data.size() - 1)),
             ERROR_SUCCESS);
    std::vector<unsigned char> back(data.size(), 0);
    DWORD size = static_cast<DWORD>(back.size());
    QCOMPARE(m_layer->RegQueryValueExA(key, "big", nullptr, nullptr, back.data(), &size),
             ERROR_SUCCESS);
    QCOMPARE(size, DWORD{1024 * 1024});
    QVERIFY(std::equal(back.begin(), back.end() - 1, data.begin()));
    QCOMPARE(m_layer->RegSetValueExA(key, "null data", 0, REG_BINARY, nullptr, 3),
             ERROR_INVALID_PARAMETER);
    m_layer->RegCloseKey(key);
}

void tst_RegistryLayer::replacedValueKeepsItsPlaceAndName() {
    HKEY key = create("R");
    setDword(key, "First", 1);
    setDword(key, "Second", 2);
    setDword(key, "FIRST", 3);
    QCOMPARE(m_layer->RegDeleteValueA(key, "second"), ERROR_SUCCESS);
    QCOMPARE(m_layer->RegDeleteValueA(key, "second"), ERROR_FILE_NOT_FOUND);
    setDword(key, "Third", 4);
    char name[16];
    DWORD nameSize = sizeof name, value = 0, size = 4;
    QCOMPARE(m_layer->RegEnumValueA(key, 0, name, &nameSize, nullptr, nullptr,
                                    reinterpret_cast<unsigned char*>(&value), &size),
             ERROR_SUCCESS);
    QCOMPARE(QByteArray(name), QByteArray("First"));
    QCOMPARE(value, DWORD{3});
    nameSize = sizeof name;
    QCOMPARE(m_layer->RegEnumValueA(key, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
             ERROR_SUCCESS);
    QCOMPARE(QByteArray(name), QByteArray("Third"));
    m_layer->RegCloseKey(key);
}

void tst_RegistryLayer::mountedProviderServesItsKeysReadOnly() {
    auto provider = std::make_shared<FakeRegistryProvider>();
    provider->keys["Tcpip\\Parameters"] =
        ProviderKey{{"Interfaces"}, {{"HostName", REG_SZ, {'h', 'o', 's', 't', 0}}}};
    // A key the provider does not serve falls through to the store.
    m_layer->RegCloseKey(create("Net\\Services\\Other"));
    QVERIFY(m_layer->mount(HKEY_CURRENT_USER, "Net\\Services", provider));
    QVERIFY(!m_layer->mount(HKEY_CURRENT_USER, "Bad\\", provider));

    HKEY key = 0;
    QCOMPARE(m_layer->RegOpenKeyExA(HKEY_CURRENT_USER, "Net\\Services\\Tcpip\\Parameters", 0,
                                    KEY_ALL_ACCESS, &key),
             ERROR_ACCESS_DENIED);
    QCOMPARE(m_layer->RegOpenKeyA(HKEY_CURRENT_USER, "Net\\Services\\Tcpip\\Parameters", &key),
             ERROR_SUCCESS);
    char data[16] = {};
    DWORD size = sizeof data, type = 0;
    QCOMPARE(m_layer->RegQueryValueExA(key, "hostname", nullptr, &type,
                                       reinterpret_cast<unsigned char*>(data), &size),
             ERROR_SUCCESS);
    QCOMPARE(QByteArray(data), QByteArray("host"));
    QCOMPARE(m_layer->RegSetValueExA(key, "HostName", 0, REG_SZ, nullptr, 0), ERROR_ACCESS_DENIED);
    QCOMPARE(m_layer->RegDeleteValueA(key, "HostName"), ERROR_ACCESS_DENIED);
    char name[16];
    DWORD nameSize = sizeof name;
    QCOMPARE(m_layer->RegEnumKeyExA(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
             ERROR_SUCCESS);
    QCOMPARE(QByteArray(name), QByteArray("Interfaces"));
    m_layer->RegCloseKey(key);

    QCOMPARE(m_layer->RegOpenKeyExA(HKEY_CURRENT_USER, "Net\\Services\\Other", 0, KEY_READ, &key),
             ERROR_SUCCESS);
    m_layer->RegCloseKey(key);
    HKEY created = 0;
    QCOMPARE(m_layer->RegCreateKeyExA(HKEY_CURRENT_USER, "Net\\Services\\Tcpip\\Parameters\\New", 0,
                                      nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr),
             ERROR_ACCESS_DENIED);
    QCOMPARE(m_layer->RegDeleteKeyA(HKEY_CURRENT_USER, "Net\\Services\\Tcpip\\Parameters"),
             ERROR_ACCESS_DENIED);
}

void tst_RegistryLayer::keysOnTheWayToAMountPointExist() {
    auto provider = std::make_shared<FakeRegistryProvider>();
    provider->keys[""] = ProviderKey{{"Tcpip"}, {}};
    QVERIFY(m_layer->mount(HKEY_CURRENT_USER, "SYSTEM\\CurrentControlSet\\Services", provider));
    m_layer->RegCloseKey(create("Alpha"));
    m_layer->RegCloseKey(create("Zulu"));

    QStringList names;
    char name[32];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (m_layer->RegEnumKeyExA(HKEY_CURRENT_USER, i, name, &size, nullptr, nullptr, nullptr,
                                   nullptr) != ERROR_SUCCESS)
            break;
        names << QString::fromUtf8(name);
    }
    QCOMPARE(names, QStringList({"Alpha", "SYSTEM", "Zulu"}));
    HKEY key = 0;
    QCOMPARE(m_layer->RegOpenKeyExA(HKEY_CURRENT_USER, "system\\currentcontrolset", 0,
                                    KEY_ENUMERATE_SUB_KEYS, &key),
             ERROR_SUCCESS);
    DWORD size = sizeof name;
    QCOMPARE(m_layer->RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
             ERROR_SUCCESS);
    QCOMPARE(QByteArray(name), QByteArray("Services"));
    m_layer->RegCloseKey(key);
    QCOMPARE(m_layer->RegDeleteKeyA(HKEY_CURRENT_USER, "SYSTEM\\CurrentControlSet"),
             ERROR_ACCESS_DENIED);
}

void tst_RegistryLayer::ordinaryKeyUnderAMountPointRoundTrips_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("parentGoes");
    QTest::newRow("a service beside the served keys") << "MyService\\Params" << true;
    QTest::newRow("below a key on the way to a served key") << "Tcpip\\Custom" << false;
    QTest::newRow("below an adapter's key on the way") << "ETH0\\Settings" << false;
}

void tst_RegistryLayer::ordinaryKeyUnderAMountPointRoundTrips() {
    QFETCH(QString, path);
    QFETCH(bool, parentGoes);
    mountServices();
    const QByteArray full = servicesPath(path);
    const QString parent = QString::fromUtf8(full).section('\\', 0, -2);
    HKEY key = 0;
    DWORD disposition = 0;
    QCOMPARE(m_layer->RegCreateKeyExA(HKEY_CURRENT_USER, full.constData(), 0, nullptr, 0,
                                      KEY_ALL_ACCESS, nullptr, &key, &disposition),
             ERROR_SUCCESS);
    QCOMPARE(disposition, DWORD{REG_CREATED_NEW_KEY});
    setDword(key, "Start", 3);
    m_layer->RegCloseKey(key);

    QCOMPARE(m_layer->RegOpenKeyExA(HKEY_CURRENT_USER, full.constData(), 0, KEY_ALL_ACCESS, &key),
             ERROR_SUCCESS);
    DWORD value = 0;
    QCOMPARE(queryDword(key, "start", value), ERROR_SUCCESS);
    QCOMPARE(value, DWORD{3});
    QByteArray name;
    QCOMPARE(valueNameAt(key, 0, name), ERROR_SUCCESS);
    QCOMPARE(name, QByteArray("Start"));
    QCOMPARE(m_layer->RegDeleteValueA(key, "Start"), ERROR_SUCCESS);
    QCOMPARE(m_layer->RegDeleteValueA(key, "Start"), ERROR_FILE_NOT_FOUND);
    m_layer->RegCloseKey(key);
    const QString last = path.section('\\', -1);
    QVERIFY(subkeys(parent).contains(last));

    QCOMPARE(m_layer->RegDeleteKeyA(HKEY_CURRENT_USER, full.constData()), ERROR_SUCCESS);
    QCOMPARE(m_layer->RegOpenKeyExA(HKEY_CURRENT_USER, full.constData(), 0, KEY_READ, &key),
             ERROR_FILE_NOT_FOUND);
    QVERIFY(!subkeys(parent).contains(last));
    QCOMPARE(m_layer->RegDeleteKeyA(HKEY_CURRENT_USER, parent.toUtf8().constData()),
             parentGoes ? ERROR_SUCCESS : ERROR_ACCESS_DENIED);
}

void tst_RegistryLayer::keysOnTheWayToServedKeysTakeValues_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("the mount point") << "";
    QTest::newRow("a key on the way to a served key") << "Tcpip";
    QTest::newRow("an adapter's key on the way") << "eth0\\Parameters";
}

// Such keys exist before the store holds them, and take values as any key.
void tst_RegistryLayer::keysOnTheWayToServedKeysTakeValues() {
    QFETCH(QString, path);
    mountServices();
    HKEY key = 0;
    QCOMPARE(m_layer->RegOpenKeyExA(HKEY_CURRENT_USER, servicesPath(path).constData(), 0,
                                    KEY_ALL_ACCESS, &key),
             ERROR_SUCCESS);
    DWORD value = 0;
    QCOMPARE(queryDword(key, "Mine", value), ERROR_FILE_NOT_FOUND);
    QByteArray name;
    QCOMPARE(valueNameAt(key, 0, name), ERROR_NO_MORE_ITEMS);
    QCOMPARE(m_layer->RegDeleteValueA(key, "Mine"), ERROR_FILE_NOT_FOUND);
    if (m_sqlite) // reading made no store file
        QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("sub/registry.db"))));
    setDword(key, "Mine", 7);
    QCOMPARE(queryDword(key, "Mine", value), ERROR_SUCCESS);
    QCOMPARE(value, DWORD{7});
    QCOMPARE(valueNameAt(key, 0, name), ERROR_SUCCESS);
    QCOMPARE(name, QByteArray("Mine"));
    QCOMPARE(m_layer->RegDeleteValueA(key, "Mine"), ERROR_SUCCESS);
    m_layer->RegCloseKey(key);
    // It still leads to served keys: it has subkeys, and stays.
    QCOMPARE(m_layer->RegDeleteKeyA(HKEY_CURRENT_USER, servicesPath(path).constData()),
             ERROR_ACCESS_DENIED);
}

void tst_RegistryLayer::servedKeyRefusesWritesAndDeletes_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("stored");
    QTest::newRow("values of the live view") << "Tcpip\\Parameters" << false;
    QTest::newRow("the adapter list") << "NetBT\\Adapters" << false;
    QTest::newRow("one adapter") << "NetBT\\Adapters\\eth0" << false;
    QTest::newRow("one the store also holds") << "eth0\\Parameters\\Tcpip" << true;
}

void tst_RegistryLayer::servedKeyRefusesWritesAndDeletes() {
    QFETCH(QString, path);
    QFETCH(bool, stored);
    const QByteArray full = servicesPath(path);
    if (stored) {
        const HKEY old = create(full.constData());
        setDword(old, "Old", 1);
        m_layer->RegCloseKey(old);
    }
    mountServices();
    HKEY key = 0;
    QCOMPARE(m_layer->RegOpenKeyExA(HKEY_CURRENT_USER, full.constData(), 0, KEY_SET_VALUE, &key),
             ERROR_ACCESS_DENIED);
    QCOMPARE(m_layer->RegCreateKeyExA(HKEY_CURRENT_USER, full.constData(), 0, nullptr, 0, KEY_WRITE,
                                      nullptr, &key, nullptr),
             ERROR_ACCESS_DENIED);
    QCOMPARE(m_layer->RegOpenKeyA(HKEY_CURRENT_USER, full.constData(), &key), ERROR_SUCCESS);
    const DWORD one = 1;
    QCOMPARE(m_layer->RegSetValueExA(key, "New", 0, REG_DWORD,
                                     reinterpret_cast<const unsigned char*>(&one), 4),
             ERROR_ACCESS_DENIED);
    QCOMPARE(m_layer->RegDeleteValueA(key, "Old"), ERROR_ACCESS_DENIED);
    // The provider's values only, never the store's behind them.
    DWORD size = 0;
    QCOMPARE(m_layer->RegQueryValueExA(key, "Old", nullptr, nullptr, nullptr, &size),
             ERROR_FILE_NOT_FOUND);
    m_layer->RegCloseKey(key);
    QCOMPARE(m_layer->RegCreateKeyExA(HKEY_CURRENT_USER, (full + "\\New\\Deeper").constData(), 0,
                                      nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
             ERROR_ACCESS_DENIED);
    QCOMPARE(m_layer->RegDeleteKeyA(HKEY_CURRENT_USER, full.constData()), ERROR_ACCESS_DENIED);
    QCOMPARE(m_layer->RegOpenKeyA(HKEY_CURRENT_USER, full.constData(), &key), ERROR_SUCCESS);
    m_layer->RegCloseKey(key);
}

void tst_RegistryLayer::mountPointListsStoredAndServedKeys() {
    for (const char* path : {"Alpha", "tcpip\\Old", "Zeta", "NetBT\\Adapters\\Saved"})
        m_layer->RegCloseKey(create(servicesPath(path).constData()));
    mountServices();
    // Case-insensitive name order, each name once, the store's spelling kept.
    QCOMPARE(subkeys(kServices), QStringList({"Alpha", "eth0", "NetBT", "tcpip", "Zeta"}));
    QCOMPARE(subkeys(kServices + "\\TCPIP"), QStringList({"Old", "Parameters"}));
    // A served key's own subkeys first, in the provider's order.
    QCOMPARE(subkeys(kServices + "\\NetBT\\Adapters"), QStringList({"eth1", "eth0", "Saved"}));
    QCOMPARE(subkeys(kServices + "\\eth0\\Parameters"), QStringList({"Tcpip"}));

    // An open enumeration sees keys made since.
    HKEY key = 0;
    QCOMPARE(m_layer->RegOpenKeyExA(HKEY_CURRENT_USER, servicesPath({}).constData(), 0,
                                    KEY_ENUMERATE_SUB_KEYS, &key),
             ERROR_SUCCESS);
    char name[16];
    DWORD size = sizeof name;
    QCOMPARE(m_layer->RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
             ERROR_SUCCESS);
    m_layer->RegCloseKey(create(servicesPath("Beta").constData()));
    size = sizeof name;
    QCOMPARE(m_layer->RegEnumKeyExA(key, 1, name, &size, nullptr, nullptr, nullptr, nullptr),
             ERROR_SUCCESS);
    QCOMPARE(QByteArray(name), QByteArray("Beta"));
    m_layer->RegCloseKey(key);

    QCOMPARE(m_layer->RegDeleteKeyA(HKEY_CURRENT_USER,
                                    servicesPath("NetBT\\Adapters\\Saved").constData()),
             ERROR_SUCCESS);
    QCOMPARE(m_layer->RegDeleteKeyA(HKEY_CURRENT_USER, servicesPath("Tcpip\\Old").constData()),
             ERROR_SUCCESS);
    QCOMPARE(m_layer->RegDeleteKeyA(HKEY_CURRENT_USER, servicesPath("Tcpip").constData()),
             ERROR_ACCESS_DENIED);
    QCOMPARE(m_layer->RegDeleteKeyA(HKEY_CURRENT_USER, servicesPath({}).constData()),
             ERROR_ACCESS_DENIED);
    QCOMPARE(subkeys(kServices + "\\NetBT\\Adapters"), QStringList({"eth1", "eth0"}));
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    tst_RegistryLayer memory(false);
    int failures = QTest::qExec(&memory, argc, argv);
    tst_RegistryLayer sqlite(true);
    failures += QTest::qExec(&sqlite, argc, argv);
    return failures;
}

#include "tst_RegistryLayer.moc"
