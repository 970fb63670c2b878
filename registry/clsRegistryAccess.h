#pragma once
#include "platform/Registry.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace ombrix {

// The program's one gateway to the registry. Keeps no state: every call
// opens the key it needs and closes it before it returns. Failures show only
// in the results (absent, false, nothing written); no error leaves a method.
//
// The hive is a signed 32-bit number, as the root key constants read when
// taken as such; 0 means HKEY_LOCAL_MACHINE.
class clsRegistryAccess {
public:
    // Row list: rows numbered from 1 are at index 0 onwards; columns from 0.
    using Row = std::vector<QString>;
    using RowList = std::vector<Row>;

    explicit clsRegistryAccess(platform::Registry& registry);

    // Rows of (name, data as text, type name); absent when the key cannot be
    // opened. Data other than a DWORD are cut to the size the registry
    // reported, then at their first zero byte (see the .cpp).
    std::optional<RowList> EnumerateRegistryValues(QString xi_strSubKey,
                                                   std::int32_t xi_lngRegistryHive = 0) const;
    // Rows of (subkey name, class text); absent when the key cannot be opened.
    std::optional<RowList> EnumerateRegistryKeys(QString xi_strSubKey,
                                                 std::int32_t xi_lngRegistryHive = 0) const;
    bool DeleteRegistryValue(QString xi_strSubKey, QString xi_strValueName,
                             std::int32_t xi_lngRegistryHive = 0) const;
    bool DeleteRegistryKey(QString xi_strSubKey, std::int32_t xi_lngRegistryHive = 0) const;
    void SetRegistryValue(QString xi_strSubKey, QString xi_strValueName, QString xi_strValue,
                          std::int32_t xi_lngRegistryHive = 0,
                          std::int32_t xi_lngValueType = 0) const;
    std::optional<QString> GetRegistryValue(QString xi_strSubKey, QString xi_strValueName,
                                            std::int32_t xi_lngRegistryHive = 0) const;

    // Every string of a text value, whole: each of a multi-string, where
    // GetRegistryValue gives the first; one for a plain string. Empty for a
    // value of another type, a missing value or a key that cannot be opened.
    QStringList registryTexts(const QString& subKey, const QString& valueName,
                              std::int32_t hive = 0) const;

private:
    platform::Registry& m_registry;
};

// "&H" and the upper-case hexadecimal digits of the value, no leading zeros.
QString dwordText(std::uint32_t value);
// The number SetRegistryValue writes for a text, if the text is one: decimal
// (surrounding spaces and one sign allowed) or "&H" hexadecimal of up to
// eight significant digits, read as 32-bit two's complement.
std::optional<std::int32_t> registryNumber(const QString& text);
// The name of a registry type code; "UNKNOWN_TYPE" outside 0 to 8.
QString registryTypeName(std::uint32_t type);

} // namespace ombrix
