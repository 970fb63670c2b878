#include "registry/clsRegistryAccess.h"

#include <QByteArray>

#include <algorithm>
#include <array>

namespace ombrix {

using namespace platform;

namespace {

constexpr DWORD kBufferSize = 260;

HKEY hiveOf(std::int32_t hive) {
    return hive == 0 ? HKEY_LOCAL_MACHINE : static_cast<HKEY>(static_cast<std::uint32_t>(hive));
}

// Narrow (UTF-8) text, when the text has one: a lone surrogate would
// silently turn into "?", naming another key or writing other data.
std::optional<QByteArray> narrowText(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            return std::nullopt;
    }
    return text.toUtf8();
}

// A key path or value name. A zero character cannot cross as narrow text
// either: the name would silently become a shorter one.
std::optional<QByteArray> narrowName(const QString& text) {
    if (text.contains(QChar(u'\0')))
        return std::nullopt;
    return narrowText(text);
}

std::uint32_t dwordOf(const unsigned char* b) {
    return b[0] + 256u * b[1] + 65536u * b[2] + 16777216u * b[3];
}

// Closes the key it holds at the latest when it goes, so that a failing
// step cannot leave a handle open.
class OpenedKey {
public:
    explicit OpenedKey(Registry& registry) : m_registry(registry) {}
    ~OpenedKey() { close(); }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;

    HKEY* place() { return &m_key; }
    // Takes the status of the open; only a successful open is closed.
    bool opened(LONG status) {
        m_open = status == ERROR_SUCCESS;
        return m_open;
    }
    // Opens the key for the access; a path without narrow text opens nothing.
    bool open(HKEY root, const std::optional<QByteArray>& path, DWORD access) {
        return path && opened(m_registry.RegOpenKeyExA(root, path->constData(), 0, access, &m_key));
    }
    HKEY get() const { return m_key; }
    void close() noexcept {
        if (!m_open)
            return;
        m_open = false;
        try {
            m_registry.RegCloseKey(m_key);
        } catch (...) {
            // Its status is not acted on, nor is its failure.
        }
    }

private:
    Registry& m_registry;
    HKEY m_key = 0;
    bool m_open = false;
};

// The rows rowAt gives for index 0, 1, … of an open key, until it gives
// none; nothing when the key does not open.
template <class RowAt>
std::optional<std::vector<std::vector<QString>>>
listRows(Registry& registry, const QString& subKey, std::int32_t hive, DWORD access, RowAt rowAt) {
    OpenedKey key(registry);
    if (!key.open(hiveOf(hive), narrowName(subKey), access))
        return std::nullopt;
    std::vector<std::vector<QString>> rows;
    for (DWORD index = 0;; ++index) {
        auto row = rowAt(key.get(), index);
        if (!row)
            return rows;
        rows.push_back(std::move(*row));
    }
}

} // namespace

QString dwordText(std::uint32_t value) {
    return QStringLiteral("&H") + QString::number(value, 16).toUpper();
}

std::optional<std::int32_t> registryNumber(const QString& text) {
    const QString t = text.trimmed();
    if (t.startsWith(QLatin1String("&H"), Qt::CaseInsensitive)) {
        QString digits = t.mid(2);
        if (digits.isEmpty())
            return std::nullopt;
        bool ok = false;
        const qulonglong n = digits.toULongLong(&ok, 16);
        const bool allHex = std::all_of(digits.begin(), digits.end(), [](QChar c) {
            return c.isDigit() || (c.toUpper() >= u'A' && c.toUpper() <= u'F');
        });
        if (!ok || !allHex || n > 0xFFFFFFFFull)
            return std::nullopt;
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(n));
    }
    const QStringView unsigned_ =
        t.startsWith(u'-') || t.startsWith(u'+') ? QStringView(t).mid(1) : QStringView(t);
    if (unsigned_.isEmpty() || !std::all_of(unsigned_.begin(), unsigned_.end(),
                                            [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    bool ok = false;
    const qlonglong n = t.toLongLong(&ok, 10);
    if (!ok || n < INT32_MIN || n > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(n);
}

QString registryTypeName(std::uint32_t type) {
    static const std::array<const char*, 9> names{
        "REG_NONE",   "REG_SZ",       "REG_EXPAND_SZ",
        "REG_BINARY", "REG_DWORD",    "REG_DWORD_BIG_ENDIAN",
        "REG_LINK",   "REG_MULTI_SZ", "REG_RESOURCE_LIST"};
    return type < names.size() ? QString::fromLatin1(names[type]) : QStringLiteral("UNKNOWN_TYPE");
}

clsRegistryAccess::clsRegistryAccess(Registry& registry) : m_registry(registry) {}

std::optional<clsRegistryAccess::RowList>
clsRegistryAccess::EnumerateRegistryValues(QString xi_strSubKey,
                                           std::int32_t xi_lngRegistryHive) const {
    return listRows(
        m_registry, xi_strSubKey, xi_lngRegistryHive, KEY_READ, [&](HKEY key, DWORD index) {
            std::optional<Row> row;
            std::array<char, kBufferSize> name;
            std::array<unsigned char, kBufferSize> data;
            name.fill(' ');
            data.fill(' ');
            DWORD nameLength = kBufferSize;
            DWORD dataSize = kBufferSize;
            DWORD type = 0;
            if (m_registry.RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type,
                                         data.data(), &dataSize) != ERROR_SUCCESS)
                return row; // 259 ends the listing, any other status cuts it short
            nameLength = std::min(nameLength, kBufferSize);
            dataSize = std::min(dataSize, kBufferSize);
            QString text;
            if (type == REG_DWORD) {
                // Only the bytes the value holds count; a short value reads as
                // if zero-padded, never with the buffer's filler in it.
                std::array<unsigned char, 4> bytes{};
                std::copy_n(data.begin(), std::min<DWORD>(dataSize, 4), bytes.begin());
                text = dwordText(dwordOf(bytes.data()));
            } else {
                // The data are cut to the size the registry reported, then at
                // their first zero byte, as GetRegistryValue cuts them: a string
                // loses its terminating zero, a multi-string shows its first
                // string, and the buffer's filler never shows.
                const auto end = std::find(data.begin(), data.begin() + dataSize, 0);
                text = QString::fromUtf8(reinterpret_cast<const char*>(data.data()),
                                         end - data.begin());
            }
            row = Row{QString::fromUtf8(name.data(), nameLength), text, registryTypeName(type)};
            return row;
        });
}

std::optional<clsRegistryAccess::RowList>
clsRegistryAccess::EnumerateRegistryKeys(QString xi_strSubKey,
                                         std::int32_t xi_lngRegistryHive) const {
    return listRows(
        m_registry, xi_strSubKey, xi_lngRegistryHive, KEY_ENUMERATE_SUB_KEYS,
        [&](HKEY key, DWORD index) {
            std::optional<Row> row;
            std::array<char, kBufferSize> name;
            std::array<char, kBufferSize> className;
            name.fill(' ');
            className.fill(' ');
            DWORD nameLength = kBufferSize;
            DWORD classLength = kBufferSize;
            std::array<unsigned char, 8> lastWriteTime{};
            if (m_registry.RegEnumKeyExA(key, index, name.data(), &nameLength, nullptr,
                                         className.data(), &classLength,
                                         lastWriteTime.data()) != ERROR_SUCCESS)
                return row;
            row = Row{QString::fromUtf8(name.data(), std::min(nameLength, kBufferSize)),
                      QString::fromUtf8(className.data(), std::min(classLength, kBufferSize))};
            return row;
        });
}

bool clsRegistryAccess::DeleteRegistryValue(QString xi_strSubKey, QString xi_strValueName,
                                            std::int32_t xi_lngRegistryHive) const {
    const auto path = narrowName(xi_strSubKey);
    OpenedKey key(m_registry);
    if (!key.open(hiveOf(xi_lngRegistryHive), path, KEY_ALL_ACCESS))
        return false;
    const auto name = narrowName(xi_strValueName);
    return name && m_registry.RegDeleteValueA(key.get(), name->constData()) == ERROR_SUCCESS;
}

bool clsRegistryAccess::DeleteRegistryKey(QString xi_strSubKey,
                                          std::int32_t xi_lngRegistryHive) const {
    // Only spaces are trimmed for this test; the path itself is split untrimmed.
    const auto notSpace = [](QChar c) { return c != u' '; };
    if (std::none_of(xi_strSubKey.begin(), xi_strSubKey.end(), notSpace))
        return false;
    const qsizetype split = xi_strSubKey.lastIndexOf(u'\\');
    // A key directly under a hive is never deleted, also when written
    // with a leading "\".
    if (split <= 0)
        return false;
    const auto parent = narrowName(xi_strSubKey.left(split));
    const auto name = narrowName(xi_strSubKey.mid(split + 1));
    OpenedKey key(m_registry);
    if (!key.open(hiveOf(xi_lngRegistryHive), parent, KEY_ALL_ACCESS))
        return false;
    return name && m_registry.RegDeleteKeyA(key.get(), name->constData()) == ERROR_SUCCESS;
}

void clsRegistryAccess::SetRegistryValue(QString xi_strSubKey, QString xi_strValueName,
                                         QString xi_strValue, std::int32_t xi_lngRegistryHive,
                                         std::int32_t xi_lngValueType) const {
    const std::int32_t type = xi_lngValueType == 0 ? std::int32_t{REG_SZ} : xi_lngValueType;
    const auto path = narrowName(xi_strSubKey);
    OpenedKey key(m_registry);
    DWORD disposition = 0;
    if (!path || !key.opened(m_registry.RegCreateKeyExA(
                     hiveOf(xi_lngRegistryHive), path->constData(), 0, "1", REG_OPTION_NON_VOLATILE,
                     KEY_SET_VALUE, nullptr, key.place(), &disposition)))
        return;
    const auto name = narrowName(xi_strValueName);
    if (!name)
        return;
    if (type == REG_SZ) {
        // No terminating zero is written; an empty text has no first
        // byte to pass, so nothing is.
        const QByteArray data = narrowText(xi_strValue).value_or(QByteArray());
        if (!data.isEmpty())
            m_registry.RegSetValueExA(key.get(), name->constData(), 0, REG_SZ,
                                      reinterpret_cast<const unsigned char*>(data.data()),
                                      static_cast<DWORD>(data.size()));
    } else if (type == REG_DWORD) {
        if (const auto number = registryNumber(xi_strValue)) {
            const auto n = static_cast<std::uint32_t>(*number);
            const unsigned char data[4] = {
                static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
                static_cast<unsigned char>(n >> 16), static_cast<unsigned char>(n >> 24)};
            m_registry.RegSetValueExA(key.get(), name->constData(), 0, REG_DWORD, data, 4);
        }
    }
}

std::optional<QString> clsRegistryAccess::GetRegistryValue(QString xi_strSubKey,
                                                           QString xi_strValueName,
                                                           std::int32_t xi_lngRegistryHive) const {
    DWORD type = 0;
    const auto path = narrowName(xi_strSubKey);
    OpenedKey key(m_registry);
    if (!path || !key.opened(m_registry.RegOpenKeyA(hiveOf(xi_lngRegistryHive), path->constData(),
                                                    key.place())))
        return std::nullopt;
    std::array<unsigned char, kBufferSize> buffer{};
    DWORD size = kBufferSize;
    if (const auto name = narrowName(xi_strValueName))
        m_registry.RegQueryValueExA(key.get(), name->constData(), nullptr, &type, buffer.data(),
                                    &size);
    key.close();
    if (type == REG_DWORD) {
        return dwordText(dwordOf(buffer.data()));
    }
    // No zero in all 260 bytes: the text has no end, and stays absent.
    const auto zero = std::find(buffer.begin(), buffer.end(), 0);
    if (zero == buffer.end())
        return std::nullopt;
    return QString::fromUtf8(reinterpret_cast<const char*>(buffer.data()), zero - buffer.begin());
}

QStringList clsRegistryAccess::registryTexts(const QString& subKey, const QString& valueName,
                                             std::int32_t hive) const {
    const auto path = narrowName(subKey);
    const auto name = narrowName(valueName);
    OpenedKey key(m_registry);
    if (!path || !name ||
        !key.opened(m_registry.RegOpenKeyA(hiveOf(hive), path->constData(), key.place())))
        return {};
    // Asked for its size first; a value that grows meanwhile is asked again.
    DWORD type = 0;
    QByteArray data;
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        if (m_registry.RegQueryValueExA(key.get(), name->constData(), nullptr, &type, nullptr,
                                        &size) != ERROR_SUCCESS)
            return {};
        data.resize(size);
        const LONG status =
            m_registry.RegQueryValueExA(key.get(), name->constData(), nullptr, &type,
                                        reinterpret_cast<unsigned char*>(data.data()), &size);
        if (status == ERROR_SUCCESS) {
            data.truncate(size);
            break;
        }
        if (status != ERROR_MORE_DATA)
            return {};
        data.clear();
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ)
        return {};
    QStringList texts;
    for (const QByteArray& text : data.split('\0')) {
        if (!text.isEmpty())
            texts << QString::fromUtf8(text);
        if (type != REG_MULTI_SZ)
            break;
    }
    return texts;
}

} // namespace ombrix
