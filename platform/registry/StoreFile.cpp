#include "platform/registry/StoreFile.h"

#include <sqlite3.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace ombrix::platform::registry {

namespace {

constexpr std::size_t kHeaderSize = 100;
constexpr char kMagic[] = "SQLite format 3"; // with its zero byte: 16 bytes
constexpr std::size_t kApplicationIdOffset = 68;
constexpr int kProbeBusyMs = 10000;

struct DbClose {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalize {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Db = std::unique_ptr<sqlite3, DbClose>;
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalize>;

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

// A file beside the store that is there and holds something.
bool nonEmpty(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

// The single integer a query answers, or nullopt with `code` set.
std::optional<long long> oneNumber(sqlite3* db, const char* sql, int& code) {
    sqlite3_stmt* raw = nullptr;
    code = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    Stmt s(raw);
    if (code != SQLITE_OK)
        return std::nullopt;
    code = sqlite3_step(raw);
    if (code != SQLITE_ROW)
        return std::nullopt;
    code = SQLITE_OK;
    return sqlite3_column_int64(raw, 0);
}

// The names one query answers, in order.
bool names(sqlite3* db, const char* sql, const char* arg, std::vector<std::string>& out,
           int& code) {
    sqlite3_stmt* raw = nullptr;
    code = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    Stmt s(raw);
    if (code != SQLITE_OK)
        return false;
    if (arg)
        sqlite3_bind_text(raw, 1, arg, -1, SQLITE_STATIC);
    while ((code = sqlite3_step(raw)) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
        out.emplace_back(text ? text : "");
    }
    if (code != SQLITE_DONE)
        return false;
    code = SQLITE_OK;
    return true;
}

bool isDamage(int code) {
    return (code & 0xFF) == SQLITE_CORRUPT || (code & 0xFF) == SQLITE_NOTADB;
}

} // namespace

std::string storeUri(const std::string& path) {
    std::string uri = "file:";
    for (char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            static const char* hex = "0123456789ABCDEF";
            uri += '%';
            uri += hex[(static_cast<unsigned char>(c) >> 4) & 0xF];
            uri += hex[static_cast<unsigned char>(c) & 0xF];
        } else {
            uri += c;
        }
    }
    return uri;
}

Schema storeSchema(sqlite3* db, int& code) {
    const auto id = oneNumber(db, "PRAGMA application_id", code);
    if (!id)
        return Schema::Unreadable;
    if (*id == kStoreApplicationId)
        return Schema::Ours;
    if (*id != 0)
        return Schema::Foreign;
    // Inside a write transaction a new file already has a first page in
    // memory: the file itself tells whether it holds anything.
    sqlite3_file* file = nullptr;
    sqlite3_int64 size = -1;
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) == SQLITE_OK && file &&
        file->pMethods && file->pMethods->xFileSize(file, &size) == SQLITE_OK && size == 0)
        return Schema::Empty;
    // An older store of ours: exactly our two tables, with our columns.
    std::vector<std::string> tables;
    if (!names(db,
               "SELECT name FROM sqlite_master WHERE type = 'table'"
               " AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name",
               nullptr, tables, code))
        return Schema::Unreadable;
    if (tables != std::vector<std::string>{"keys", "vals"})
        return Schema::Foreign;
    static const std::vector<std::string> keyColumns{"id", "parent", "name", "fold", "class"};
    static const std::vector<std::string> valueColumns{"key", "name", "fold", "type", "data"};
    for (const auto& [table, expected] :
         {std::pair{"keys", &keyColumns}, {"vals", &valueColumns}}) {
        std::vector<std::string> columns;
        if (!names(db, "SELECT name FROM pragma_table_info(?1) ORDER BY cid", table, columns, code))
            return Schema::Unreadable;
        if (columns != *expected)
            return Schema::Foreign;
    }
    return Schema::Unmarked;
}

StoreFile inspectStoreFile(const std::string& path, int& code) {
    code = SQLITE_OK;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return StoreFile::Missing;
    if (!S_ISREG(st.st_mode))
        return StoreFile::Foreign; // a folder or a device is no store, and is never opened
    if (st.st_size == 0)
        return StoreFile::Empty;

    std::array<unsigned char, kHeaderSize> header{};
    {
        Fd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
        if (file.fd < 0) {
            code = SQLITE_CANTOPEN;
            return StoreFile::Unsure;
        }
        std::size_t got = 0;
        while (got < header.size()) {
            const ssize_t n = ::read(file.fd, header.data() + got, header.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        if (got < header.size() || std::memcmp(header.data(), kMagic, sizeof kMagic) != 0)
            return StoreFile::Foreign;
    }
    const std::uint32_t id = std::uint32_t(header[kApplicationIdOffset]) << 24 |
                             std::uint32_t(header[kApplicationIdOffset + 1]) << 16 |
                             std::uint32_t(header[kApplicationIdOffset + 2]) << 8 |
                             std::uint32_t(header[kApplicationIdOffset + 3]);
    if (id == std::uint32_t(kStoreApplicationId))
        return StoreFile::Ours;
    if (id != 0)
        return StoreFile::Foreign;

    // No mark on the disk (an older store, or one whose mark is still in its
    // log): look at the tables. A transaction left unfinished would need a
    // writer to roll it back first.
    if (nonEmpty(path + "-journal")) {
        code = SQLITE_BUSY;
        return StoreFile::Unsure;
    }
    // With no log in use the file holds everything, and reading it as
    // immutable makes no log or index file; a log in use is read through
    // SQLite's own locking, as every reader of that file does.
    const std::string uri =
        storeUri(path) + (nonEmpty(path + "-wal") ? "?mode=ro" : "?mode=ro&immutable=1");
    sqlite3* raw = nullptr;
    code = sqlite3_open_v2(uri.c_str(), &raw,
                           SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    Db db(raw);
    if (code == SQLITE_OK) {
        sqlite3_busy_timeout(raw, kProbeBusyMs);
        switch (storeSchema(raw, code)) {
        case Schema::Ours:
        case Schema::Unmarked:
            return StoreFile::Ours;
        case Schema::Empty:
        case Schema::Foreign:
            return StoreFile::Foreign;
        case Schema::Unreadable:
            break;
        }
    }
    return isDamage(code) ? StoreFile::Foreign : StoreFile::Unsure;
}

} // namespace ombrix::platform::registry
