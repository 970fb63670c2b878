#pragma once
#include <QString>
#include <QStringList>

namespace ombrix {
namespace platform {
class Registry;
}

// Where the Computers window keeps the list it last showed: under the
// current user, one name a line.
inline constexpr char kComputersKey[] = "Software\\Ombrix\\Computers";
inline constexpr char kLastListValue[] = "Last list";

// The names of the list last used; none when nothing was stored.
QStringList StoredComputers(platform::Registry& registry);
// Keeps names as the list last used; an empty list leaves none.
void StoreComputers(platform::Registry& registry, const QStringList& names);

// The names, each computer once (ComputerKey), in their first order.
QStringList ComputersOnce(const QStringList& names);

} // namespace ombrix
