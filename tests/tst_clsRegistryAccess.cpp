#include "registry/clsRegistryAccess.h"

#include "platform/registry/MemoryRegistryStore.h"
#include "platform/registry/RegistryLayer.h"
#include "platform/registry/SqliteRegistryStore.h"

#include "FakeRegistry.h"
#include "FakeRegistryProvider.h"

#include <QTemporaryDir>
#include <QTest>

using namespace ombrix;
using namespace ombrix::platform;

namespace {
constexpr int kAbsent = -1; // "no value written" in the tables below
const auto kHkcu = static_cast<std::int32_t>(HKEY_CURRENT_USER);
} // namespace

// The registry class over the real layer, once with in-memory stores and
// once with SQLite stores.
class tst_clsRegistryAccess : public QObject {
    Q_OBJECT
public:
    explicit tst_clsRegistryAccess(bool sqlite) : m_sqlite(sqlite) {}

private slots:
    void init();
    void cleanup();
    void getReadsEachKindOfData_data();
    void getReadsEachKindOfData();
    void setWritesOnlyWhatConverts_data();
    void setWritesOnlyWhatConverts();
    void dwordReadWritesBackTheSameValue_data();
    void dwordReadWritesBackTheSameValue();
    void deleteKeyOnlyBelowTheFirstLevel_data();
    void deleteKeyOnlyBelowTheFirstLevel();
    void deleteValueNeedsFullAccess();
    void hiveZeroIsLocalMachine();
    void listingKeys();
    void listingValues();
    void listingStopsAtDataThatDoesNotFit();
    void failedStepLeavesQuietResultsAndKeysClosed_data();
    void failedStepLeavesQuietResultsAndKeysClosed();
    void namesWithZeroCharactersReachNoKey();
    void badPathsGiveTheQuietResult_data();
    void badPathsGiveTheQuietResult();

private:
    void put(const char* path, const char* name, DWORD type, const QByteArray& data);
    std::optional<std::pair<DWORD, QByteArray>> raw(const char* path, const char* name);

    bool m_sqlite;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<registry::RegistryLayer> m_layer;
    std::unique_ptr<FakeRegistry> m_fake;
    std::unique_ptr<clsRegistryAccess> m_access;
};

void tst_clsRegistryAccess::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    m_layer = std::make_unique<registry::RegistryLayer>();
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        std::shared_ptr<registry::RegistryStore> store;
        if (m_sqlite)
            store = std::make_shared<registry::SqliteRegistryStore>(
                m_dir->filePath(QString::number(root) + QStringLiteral("/registry.db"))
                    .toStdString());
        else
            store = std::make_shared<registry::MemoryRegistryStore>();
        m_layer->setStore(root, store);
    }
    m_fake = std::make_unique<FakeRegistry>(*m_layer);
    m_access = std::make_unique<clsRegistryAccess>(*m_fake);
}

void tst_clsRegistryAccess::cleanup() {
    QCOMPARE(m_fake->open, 0);
    QCOMPARE(m_layer->openHandleCount(), std::size_t{0});
    m_access.reset();
    m_fake.reset();
    m_layer.reset();
    m_dir.reset();
}

void tst_clsRegistryAccess::put(const char* path, const char* name, DWORD type,
                                const QByteArray& data) {
    HKEY key = 0;
    QCOMPARE(m_layer->RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS,
                                      nullptr, &key, nullptr),
             ERROR_SUCCESS);
    if (name)
        QCOMPARE(m_layer->RegSetValueExA(key, name, 0, type,
                                         reinterpret_cast<const unsigned char*>(data.constData()),
                                         static_cast<DWORD>(data.size())),
                 ERROR_SUCCESS);
    m_layer->RegCloseKey(key);
}

std::optional<std::pair<DWORD, QByteArray>> tst_clsRegistryAccess::raw(const char* path,
                                                                       const char* name) {
    HKEY key = 0;
    if (m_layer->RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    QByteArray data(4096, '\0');
    DWORD type = 0, size = 4096;
    const LONG status = m_layer->RegQueryValueExA(
        key, name, nullptr, &type, reinterpret_cast<unsigned char*>(data.data()), &size);
    m_layer->RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    data.truncate(size);
    return std::pair{type, data};
}

void tst_clsRegistryAccess::getReadsEachKindOfData_data() {
    QTest::addColumn<int>("type"); // kAbsent: the value is not there
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("expected"); // a null text: the result is absent
    const auto le = [](quint32 v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
    QTest::newRow("missing value gives the empty text") << kAbsent << QByteArray() << "";
    QTest::newRow("DWORD 0 gives &H0") << 4 << le(0) << "&H0";
    QTest::newRow("DWORD 10 gives &HA") << 4 << le(10) << "&HA";
    QTest::newRow("DWORD 7FFFFFFF") << 4 << le(0x7FFFFFFF) << "&H7FFFFFFF";
    QTest::newRow("DWORD 80000000") << 4 << le(0x80000000) << "&H80000000";
    QTest::newRow("DWORD FFFFFFFF") << 4 << le(0xFFFFFFFF) << "&HFFFFFFFF";
    QTest::newRow("string") << 1 << QByteArray("hello", 6) << "hello";
    QTest::newRow("string stored without its zero") << 1 << QByteArray("abc") << "abc";
    QTest::newRow("UTF-8 string") << 1
                                  << QByteArray("Gr\xc3\xbc\xc3\x9f"
                                                "e")
                                  << "Grüße";
    QTest::newRow("expand string stays unexpanded")
        << 2 << QByteArray("%HOME%\\x", 9) << "%HOME%\\x";
    QTest::newRow("multi-string gives its first string")
        << 7 << QByteArray("one\0two\0\0", 9) << "one";
    QTest::newRow("binary 41 42 00 43 reads AB") << 3 << QByteArray("AB\0C", 4) << "AB";
    QTest::newRow("big-endian DWORD gives its bytes") << 5 << QByteArray("ABCD") << "ABCD";
    QTest::newRow("260 bytes without a zero are absent") << 3 << QByteArray(260, 'z') << QString();
    QTest::newRow("259-character string reads whole")
        << 1 << QByteArray(259, 's') + QByteArray(1, '\0') << QString(259, u's');
    QTest::newRow("259 characters stored without a zero read whole")
        << 1 << QByteArray(259, 's') << QString(259, u's');
    QTest::newRow("300 bytes do not fit and read empty") << 1 << QByteArray(300, 'l') << "";
}

void tst_clsRegistryAccess::getReadsEachKindOfData() {
    QFETCH(int, type);
    QFETCH(QByteArray, data);
    QFETCH(QString, expected);
    put("Soft\\Co", type == kAbsent ? nullptr : "v", static_cast<DWORD>(type), data);
    const auto result = m_access->GetRegistryValue("Soft\\Co", "V");
    QCOMPARE(result.has_value(), !expected.isNull());
    if (result)
        QCOMPARE(*result, expected);
    QCOMPARE(m_access->GetRegistryValue("Soft\\Missing", "v"), std::optional<QString>());
}

void tst_clsRegistryAccess::setWritesOnlyWhatConverts_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("storedType"); // kAbsent: nothing written
    QTest::addColumn<QByteArray>("stored");
    const auto le = [](quint32 v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
    QTest::newRow("no type writes abc as three bytes") << 0 << "abc" << 1 << QByteArray("abc");
    QTest::newRow("type 1 writes UTF-8") << 1 << "Ärger" << 1 << QByteArray("\xc3\x84rger");
    QTest::newRow("empty text writes nothing") << 1 << "" << kAbsent << QByteArray();
    QTest::newRow("type 2 writes nothing") << 2 << "abc" << kAbsent << QByteArray();
    QTest::newRow("type 3 writes nothing") << 3 << "abc" << kAbsent << QByteArray();
    QTest::newRow("&HFF stores 255") << 4 << "&HFF" << 4 << le(255);
    QTest::newRow("&hff stores 255") << 4 << "&hff" << 4 << le(255);
    QTest::newRow("12 stores 12") << 4 << "12" << 4 << le(12);
    QTest::newRow("-1 stores FFFFFFFF") << 4 << "-1" << 4 << le(0xFFFFFFFF);
    QTest::newRow("&HFFFFFFFF stores FFFFFFFF") << 4 << "&HFFFFFFFF" << 4 << le(0xFFFFFFFF);
    QTest::newRow("&H80000000 stores 80000000") << 4 << "&H80000000" << 4 << le(0x80000000);
    QTest::newRow("-2147483648 stores 80000000") << 4 << "-2147483648" << 4 << le(0x80000000);
    QTest::newRow("surrounding spaces and a plus sign") << 4 << " +7 " << 4 << le(7);
    QTest::newRow("x writes nothing") << 4 << "x" << kAbsent << QByteArray();
    QTest::newRow("empty number writes nothing") << 4 << "" << kAbsent << QByteArray();
    QTest::newRow("&H alone writes nothing") << 4 << "&H" << kAbsent << QByteArray();
    QTest::newRow("2147483648 writes nothing") << 4 << "2147483648" << kAbsent << QByteArray();
    QTest::newRow("&H100000000 writes nothing") << 4 << "&H100000000" << kAbsent << QByteArray();
    QTest::newRow("fraction writes nothing") << 4 << "1.5" << kAbsent << QByteArray();
    QTest::newRow("lone surrogate writes nothing")
        << 1 << QStringLiteral("a") + QChar(0xDC00) << kAbsent << QByteArray();
    QTest::newRow("surrogate pair is written")
        << 1 << QString::fromUtf8("\xf0\x9f\x98\x80") << 1 << QByteArray("\xf0\x9f\x98\x80");
    QTest::newRow("0x prefix writes nothing") << 4 << "&H0x1F" << kAbsent << QByteArray();
}

void tst_clsRegistryAccess::setWritesOnlyWhatConverts() {
    QFETCH(int, type);
    QFETCH(QString, text);
    QFETCH(int, storedType);
    QFETCH(QByteArray, stored);
    m_access->SetRegistryValue("New\\Key", "Val", text, 0, type);
    const auto value = raw("New\\Key", "Val");
    QCOMPARE(value.has_value(), storedType != kAbsent);
    if (value) {
        QCOMPARE(int(value->first), storedType);
        QCOMPARE(value->second, stored);
    }
    // The key is made even when nothing is written, with class text "1".
    const auto keys = m_access->EnumerateRegistryKeys("New");
    QVERIFY(keys);
    QCOMPARE(*keys, clsRegistryAccess::RowList({{"Key", "1"}}));
}

void tst_clsRegistryAccess::dwordReadWritesBackTheSameValue_data() {
    QTest::addColumn<quint32>("value");
    for (quint32 v : {0u, 1u, 0xFFu, 0x7FFFFFFFu, 0x80000000u, 0xDEADBEEFu, 0xFFFFFFFFu})
        QTest::addRow("%08X", v) << v;
}

void tst_clsRegistryAccess::dwordReadWritesBackTheSameValue() {
    QFETCH(quint32, value);
    put("R", "d", REG_DWORD, QByteArray(reinterpret_cast<const char*>(&value), 4));
    const auto text = m_access->GetRegistryValue("R", "d");
    QVERIFY(text);
    m_access->SetRegistryValue("R", "d", *text, 0, 4);
    const auto back = raw("R", "d");
    QVERIFY(back);
    QCOMPARE(back->first, REG_DWORD);
    QCOMPARE(back->second, QByteArray(reinterpret_cast<const char*>(&value), 4));
}

void tst_clsRegistryAccess::deleteKeyOnlyBelowTheFirstLevel_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("deleted");
    QTest::addColumn<bool>("touchesRegistry");
    QTest::addColumn<QString>("gone"); // the key that no longer exists
    QTest::newRow("one level is never deleted") << "A" << false << false << "";
    QTest::newRow("spaces only") << "   " << false << false << "";
    QTest::newRow("empty") << "" << false << false << "";
    QTest::newRow("A\\B\\C deletes C") << "A\\B\\C" << true << true << "A\\B\\C";
    QTest::newRow("case does not matter") << "a\\b\\c" << true << true << "A\\B\\C";
    QTest::newRow("a key with subkeys stays") << "A\\B" << false << true << "";
    QTest::newRow("missing key") << "A\\B\\Z" << false << true << "";
    QTest::newRow("missing parent") << "Q\\B\\C" << false << true << "";
    QTest::newRow("trailing backslash") << "A\\B\\" << false << true << "";
    QTest::newRow("leading backslash names a first-level key") << "\\A" << false << false << "";
}

void tst_clsRegistryAccess::deleteKeyOnlyBelowTheFirstLevel() {
    QFETCH(QString, path);
    QFETCH(bool, deleted);
    QFETCH(bool, touchesRegistry);
    QFETCH(QString, gone);
    put("A\\B\\C", nullptr, 0, {});
    m_fake->calls.clear();
    QCOMPARE(m_access->DeleteRegistryKey(path), deleted);
    QCOMPARE(!m_fake->calls.empty(), touchesRegistry);
    if (deleted)
        QCOMPARE(m_fake->calls,
                 std::vector<std::string>({"RegOpenKeyExA", "RegDeleteKeyA", "RegCloseKey"}));
    for (const char* key : {"A", "A\\B", "A\\B\\C"})
        QCOMPARE(m_access->EnumerateRegistryKeys(key).has_value(), gone != key);
}

void tst_clsRegistryAccess::deleteValueNeedsFullAccess() {
    put("Del", "v", REG_SZ, "x");
    QVERIFY(m_access->DeleteRegistryValue("Del", "V"));
    QVERIFY(!m_access->DeleteRegistryValue("Del", "V"));
    QVERIFY(!m_access->DeleteRegistryValue("Nowhere", "V"));

    // A key this user may read but not open with full access.
    auto provider = std::make_shared<FakeRegistryProvider>();
    provider->keys[""] = ProviderKey{{}, {{"Live", REG_SZ, {'o', 'n', 0}}}};
    QVERIFY(m_layer->mount(HKEY_LOCAL_MACHINE, "System\\Live", provider));
    QCOMPARE(m_access->GetRegistryValue("SYSTEM\\LIVE", "live"), std::optional<QString>("on"));
    QVERIFY(!m_access->DeleteRegistryValue("System\\Live", "Live"));
    QVERIFY(!m_access->DeleteRegistryKey("System\\Live"));
    m_access->SetRegistryValue("System\\Live", "Live", "off");
    QCOMPARE(m_access->GetRegistryValue("System\\Live", "Live"), std::optional<QString>("on"));
}

void tst_clsRegistryAccess::hiveZeroIsLocalMachine() {
    m_access->SetRegistryValue("H", "v", "machine");
    m_access->SetRegistryValue("H", "v", "user", kHkcu);
    QCOMPARE(m_access->GetRegistryValue("H", "v", static_cast<std::int32_t>(HKEY_LOCAL_MACHINE)),
             std::optional<QString>("machine"));
    QCOMPARE(m_access->GetRegistryValue("H", "v", kHkcu), std::optional<QString>("user"));
    QCOMPARE(m_access->GetRegistryValue("H", "v", 0x12345), std::optional<QString>());
    QCOMPARE(m_access->EnumerateRegistryKeys("", 0x12345), std::nullopt);
}

void tst_clsRegistryAccess::listingKeys() {
    QCOMPARE(m_access->EnumerateRegistryKeys("Absent"), std::nullopt);
    put("Adapters", nullptr, 0, {});
    QCOMPARE(m_access->EnumerateRegistryKeys("Adapters"), clsRegistryAccess::RowList());
    put("Adapters\\wlp2s0", nullptr, 0, {});
    m_access->SetRegistryValue("Adapters\\eth0", "x", "y");
    QCOMPARE(m_access->EnumerateRegistryKeys("adapters"),
             clsRegistryAccess::RowList({{"eth0", "1"}, {"wlp2s0", ""}}));
}

void tst_clsRegistryAccess::listingValues() {
    QCOMPARE(m_access->EnumerateRegistryValues("Absent"), std::nullopt);
    put("Vals", nullptr, 0, {});
    QCOMPARE(m_access->EnumerateRegistryValues("Vals"), clsRegistryAccess::RowList());
    const auto le = [](quint32 v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
    put("Vals", "dword", REG_DWORD, le(255));
    put("Vals", "zero", REG_DWORD, le(0));
    put("Vals", "ones", REG_DWORD, le(0xFFFFFFFF));
    put("Vals", "short dword", REG_DWORD, QByteArray("\x01", 1));
    put("Vals", "nine", 9, "a");
    put("Vals", "ten", 10, "b");
    put("Vals", "eleven", 11, "c");
    put("Vals", "big endian", REG_DWORD_BIG_ENDIAN, QByteArray("\0\0\0A", 4));
    put("Vals", "string", REG_SZ, QByteArray("text", 5));
    put("Vals", "bare", REG_SZ, "abc");
    put("Vals", "multi", REG_MULTI_SZ, QByteArray("one\0two\0\0", 9));
    put("Vals", "", REG_SZ, QByteArray("default", 8));
    const clsRegistryAccess::RowList expected{
        {"dword", "&HFF", "REG_DWORD"},      {"zero", "&H0", "REG_DWORD"},
        {"ones", "&HFFFFFFFF", "REG_DWORD"}, {"short dword", "&H1", "REG_DWORD"},
        {"nine", "a", "UNKNOWN_TYPE"},       {"ten", "b", "UNKNOWN_TYPE"},
        {"eleven", "c", "UNKNOWN_TYPE"},     {"big endian", "", "REG_DWORD_BIG_ENDIAN"},
        {"string", "text", "REG_SZ"},        {"bare", "abc", "REG_SZ"},
        {"multi", "one", "REG_MULTI_SZ"},    {"", "default", "REG_SZ"},
    };
    QCOMPARE(m_access->EnumerateRegistryValues("VALS"), expected);
}

void tst_clsRegistryAccess::listingStopsAtDataThatDoesNotFit() {
    put("Cut", "first", REG_SZ, "1");
    put("Cut", "second", REG_BINARY, QByteArray(260, 'b'));
    put("Cut", "third", REG_BINARY, QByteArray(300, 't'));
    put("Cut", "fourth", REG_SZ, "4");
    const auto rows = m_access->EnumerateRegistryValues("Cut");
    QVERIFY(rows);
    QCOMPARE(rows->size(), std::size_t{2});
    QCOMPARE((*rows)[1], clsRegistryAccess::Row({"second", QString(260, u'b'), "REG_BINARY"}));

    // A name of 260 characters does not fit the 260-character buffer with its zero.
    put("Long", "a", REG_SZ, "1");
    put("Long", QByteArray(260, 'n').constData(), REG_SZ, "2");
    put("Long", "c", REG_SZ, "3");
    QCOMPARE(m_access->EnumerateRegistryValues("Long")->size(), std::size_t{1});
}

void tst_clsRegistryAccess::failedStepLeavesQuietResultsAndKeysClosed_data() {
    QTest::addColumn<QString>("failing");
    for (const char* op :
         {"RegOpenKeyA", "RegOpenKeyExA", "RegQueryValueExA", "RegCreateKeyExA", "RegSetValueExA",
          "RegDeleteValueA", "RegDeleteKeyA", "RegEnumKeyExA", "RegEnumValueA", "RegCloseKey"})
        QTest::newRow(op) << op;
}

void tst_clsRegistryAccess::failedStepLeavesQuietResultsAndKeysClosed() {
    QFETCH(QString, failing);
    put("E\\F\\G", "v", REG_SZ, "x");
    m_fake->failIn = {failing.toStdString()};
    m_access->SetRegistryValue("E\\F", "w", "1", 0, 4);
    const auto value = m_access->GetRegistryValue("E\\F\\G", "v");
    const auto keys = m_access->EnumerateRegistryKeys("E");
    const auto values = m_access->EnumerateRegistryValues("E\\F\\G");
    const bool valueDeleted = m_access->DeleteRegistryValue("E\\F", "w");
    const bool keyDeleted = m_access->DeleteRegistryKey("E\\F\\G");
    m_fake->failIn.clear();
    // An operation that failed leaves the quiet result of that step.
    if (failing == "RegOpenKeyA")
        QCOMPARE(value, std::nullopt);
    if (failing == "RegQueryValueExA")
        QCOMPARE(value, std::optional<QString>(""));
    if (failing == "RegEnumKeyExA")
        QCOMPARE(keys, clsRegistryAccess::RowList());
    if (failing == "RegEnumValueA")
        QCOMPARE(values, clsRegistryAccess::RowList());
    if (failing == "RegDeleteKeyA")
        QVERIFY(!keyDeleted);
    if (failing == "RegCloseKey") {
        QCOMPARE(value, std::optional<QString>("x"));
        QVERIFY(valueDeleted);
        QVERIFY(keyDeleted);
    }
    QCOMPARE(m_layer->openHandleCount(), std::size_t{0});
    m_fake->open = 0; // the fake counted opens whose close then threw
}

void tst_clsRegistryAccess::namesWithZeroCharactersReachNoKey() {
    put("Z", "v", REG_SZ, "x");
    const QString withZero = QStringLiteral("Z") + QChar(u'\0') + QStringLiteral("Y");
    QCOMPARE(m_access->GetRegistryValue(withZero, "v"), std::nullopt);
    QCOMPARE(m_access->GetRegistryValue("Z", QStringLiteral("v") + QChar(u'\0')),
             std::optional<QString>(""));
    m_access->SetRegistryValue(withZero, "v", "changed");
    m_access->SetRegistryValue("Z", QStringLiteral("v") + QChar(u'\0'), "changed");
    QCOMPARE(m_access->GetRegistryValue("Z", "v"), std::optional<QString>("x"));
    QVERIFY(!m_access->DeleteRegistryValue("Z", QStringLiteral("v") + QChar(u'\0')));
    QVERIFY(!m_access->DeleteRegistryKey(QStringLiteral("Z\\") + QChar(u'\0')));
    QCOMPARE(m_access->EnumerateRegistryKeys(withZero), std::nullopt);
}

void tst_clsRegistryAccess::badPathsGiveTheQuietResult_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("empty level") << "Bad\\\\Key";
    QTest::newRow("leading backslash") << "\\Bad\\Key";
    QTest::newRow("trailing backslash") << "Bad\\Key\\";
    QTest::newRow("name over 255 characters") << "Bad\\" + QString(256, u'k');
    QTest::newRow("lone surrogate") << QStringLiteral("Bad\\") + QChar(0xD800);
}

void tst_clsRegistryAccess::badPathsGiveTheQuietResult() {
    QFETCH(QString, path);
    put("Bad\\Key", "v", REG_SZ, "x");
    QCOMPARE(m_access->GetRegistryValue(path, "v"), std::nullopt);
    QCOMPARE(m_access->EnumerateRegistryKeys(path), std::nullopt);
    QCOMPARE(m_access->EnumerateRegistryValues(path), std::nullopt);
    QVERIFY(!m_access->DeleteRegistryValue(path, "v"));
    QVERIFY(!m_access->DeleteRegistryKey(path));
    m_access->SetRegistryValue(path, "v", "changed");
    QCOMPARE(m_access->GetRegistryValue("Bad\\Key", "v"), std::optional<QString>("x"));
    QCOMPARE(*m_access->EnumerateRegistryKeys("Bad"), clsRegistryAccess::RowList({{"Key", ""}}));
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    tst_clsRegistryAccess memory(false);
    int failures = QTest::qExec(&memory, argc, argv);
    tst_clsRegistryAccess sqlite(true);
    failures += QTest::qExec(&sqlite, argc, argv);
    return failures;
}

#include "tst_clsRegistryAccess.moc"
