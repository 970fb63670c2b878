#include "computers_window/StoredComputers.h"

#include "platform/Registry.h"
#include "registry/clsRegistryAccess.h"
#include "report/ComputerList.h"

#include <QSet>

namespace ombrix {
namespace {

constexpr auto kCurrentUser = static_cast<std::int32_t>(platform::HKEY_CURRENT_USER);

} // namespace

QStringList StoredComputers(platform::Registry& registry) {
    const clsRegistryAccess access(registry);
    const std::optional<QString> text = access.GetRegistryValue(
        QString::fromLatin1(kComputersKey), QString::fromLatin1(kLastListValue), kCurrentUser);
    return text ? ComputersOnce(ComputerNamesIn(*text)) : QStringList();
}

void StoreComputers(platform::Registry& registry, const QStringList& names) {
    const clsRegistryAccess access(registry);
    if (names.isEmpty())
        access.DeleteRegistryValue(QString::fromLatin1(kComputersKey),
                                   QString::fromLatin1(kLastListValue), kCurrentUser);
    else
        access.SetRegistryValue(QString::fromLatin1(kComputersKey),
                                QString::fromLatin1(kLastListValue), names.join(u'\n'),
                                kCurrentUser);
}

QStringList ComputersOnce(const QStringList& names) {
    QSet<QString> seen;
    QStringList once;
    for (const QString& name : names)
        if (!seen.contains(ComputerKey(name))) {
            seen.insert(ComputerKey(name));
            once << name;
        }
    return once;
}

} // namespace ombrix
