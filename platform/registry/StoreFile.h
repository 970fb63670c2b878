#pragma once
#include <cstdint>
#include <string>

struct sqlite3;

namespace ombrix::platform::registry {

// Marks an SQLite file as one of our registry stores (SQLite's
// application_id, "OMRG"). Stores made before it was set carry 0.
inline constexpr std::int32_t kStoreApplicationId = 0x4F4D5247;

enum class StoreFile {
    Missing, // nothing there
    Empty,   // a file of zero bytes: no keys yet, and a first write may fill it
    Ours,    // our mark, or our tables in an older store without it
    Foreign, // not a file, not a database, a damaged one, or another program's
    Unsure,  // could not be read just now (locked, unfinished transaction): `code` says why
};

// The path as an SQLite URI (its '%', '?' and '#' escaped).
std::string storeUri(const std::string& path);

// What lies at a store's path, found out without changing anything there:
// no log or lock file is made, no transaction rolled back.
StoreFile inspectStoreFile(const std::string& path, int& code);

// Whether an open database is one of our stores, by its mark or, with no
// mark, by its tables. Empty: the file holds no byte yet.
enum class Schema { Ours, Unmarked, Empty, Foreign, Unreadable };
Schema storeSchema(sqlite3* db, int& code);

} // namespace ombrix::platform::registry
