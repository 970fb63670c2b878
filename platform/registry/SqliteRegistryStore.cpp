#include "platform/registry/SqliteRegistryStore.h"

#include "platform/registry/StoreFile.h"

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace ombrix::platform::registry {

namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL,"
    " name TEXT NOT NULL, fold TEXT NOT NULL, class TEXT NOT NULL, UNIQUE(parent, fold));"
    "CREATE TABLE IF NOT EXISTS vals(key INTEGER NOT NULL, name TEXT NOT NULL,"
    " fold TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(key, fold));"
    "CREATE INDEX IF NOT EXISTS vals_in_order ON vals(key);";

constexpr const char* kFindKey = "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2";
constexpr const char* kAddKey =
    "INSERT INTO keys(parent, name, fold, class) VALUES(?1, ?2, ?3, ?4)";
constexpr const char* kHasSubkey = "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1";
constexpr const char* kDropValues = "DELETE FROM vals WHERE key = ?1";
constexpr const char* kDropKey = "DELETE FROM keys WHERE id = ?1";
constexpr const char* kGetValue = "SELECT name, type, data FROM vals WHERE key = ?1 AND fold = ?2";
// A replaced value keeps its row, hence its place and the case of its name.
constexpr const char* kPutValue =
    "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
    " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data";
constexpr const char* kDropValue = "DELETE FROM vals WHERE key = ?1 AND fold = ?2";
constexpr const char* kSubkeys = "SELECT name, class FROM keys WHERE parent = ?1 ORDER BY fold";
constexpr const char* kValues = "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY rowid";

constexpr int kBusyTimeoutMs = 10000;
// What initialiseOnce() answers for a file that fails its check.
constexpr int kNotSound = -1;

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string parentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Whether the file, or the folder that would hold it, can be written.
bool canWrite(const std::string& path) {
    if (exists(path))
        return ::access(path.c_str(), W_OK) == 0 && ::access(parentOf(path).c_str(), W_OK) == 0;
    std::string dir = parentOf(path);
    while (!exists(dir) && dir != "/" && dir != ".")
        dir = parentOf(dir);
    return ::access(dir.c_str(), W_OK) == 0;
}

bool makeFolders(const std::string& dir, mode_t mode) {
    if (exists(dir))
        return true;
    if (!makeFolders(parentOf(dir), mode))
        return false;
    if (::mkdir(dir.c_str(), mode) != 0)
        return errno == EEXIST;
    return ::chmod(dir.c_str(), mode) == 0; // whatever the umask
}

void bindText(sqlite3_stmt* s, int index, const std::string& text) {
    sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string columnText(sqlite3_stmt* s, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(s, column)))
                : std::string();
}

RegistryValueData columnValue(sqlite3_stmt* s) {
    RegistryValueData value;
    value.name = columnText(s, 0);
    value.type = static_cast<DWORD>(sqlite3_column_int64(s, 1));
    const auto* data = static_cast<const unsigned char*>(sqlite3_column_blob(s, 2));
    value.data.assign(data, data + (data ? sqlite3_column_bytes(s, 2) : 0));
    return value;
}

} // namespace

void SqliteRegistryStore::DbClose::operator()(sqlite3* db) const {
    sqlite3_close_v2(db);
}

void SqliteRegistryStore::StmtFinalize::operator()(sqlite3_stmt* stmt) const {
    sqlite3_finalize(stmt);
}

// A cached statement, reset for its next use when this goes.
class SqliteRegistryStore::Statement {
public:
    explicit Statement(sqlite3_stmt* s) : m_s(s) {}
    // Most statements here name a key by its row id, their first parameter.
    Statement(sqlite3_stmt* s, long long keyId) : m_s(s) {
        if (m_s)
            sqlite3_bind_int64(m_s, 1, keyId);
    }
    ~Statement() {
        if (m_s) {
            sqlite3_reset(m_s);
            sqlite3_clear_bindings(m_s);
        }
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return m_s; }

private:
    sqlite3_stmt* m_s;
};

// One write: takes the write lock at once (waiting for other writers), so
// that no read lock has to be upgraded later; rolled back unless committed.
class SqliteRegistryStore::Transaction {
public:
    explicit Transaction(sqlite3* db) : m_db(db) {
        m_rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        m_open = m_rc == SQLITE_OK;
    }
    ~Transaction() {
        if (m_open)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    int begun() const { return m_rc; }
    int commit() {
        const int rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        m_open = rc != SQLITE_OK && sqlite3_get_autocommit(m_db) == 0;
        return rc;
    }

private:
    sqlite3* m_db;
    int m_rc;
    bool m_open;
};

// The reads of one call in one snapshot, taking the file's read lock once.
class SqliteRegistryStore::ReadTransaction {
public:
    explicit ReadTransaction(SqliteRegistryStore& store) : m_store(store) {
        sqlite3_stmt* begin = store.statement("BEGIN");
        m_open = begin && sqlite3_step(begin) == SQLITE_DONE;
        if (begin)
            sqlite3_reset(begin);
    }
    ~ReadTransaction() {
        if (!m_open || !m_store.m_db)
            return;
        if (sqlite3_stmt* commit = m_store.statement("COMMIT")) {
            sqlite3_step(commit);
            sqlite3_reset(commit);
        }
    }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

private:
    SqliteRegistryStore& m_store;
    bool m_open = false;
};

SqliteRegistryStore::SqliteRegistryStore(std::string path, Writers writers)
    : m_path(std::move(path)), m_writers(writers) {}

SqliteRegistryStore::~SqliteRegistryStore() {
    m_statements.clear();
}

bool SqliteRegistryStore::writable() {
    std::lock_guard lock(m_mutex);
    return mayWrite();
}

bool SqliteRegistryStore::mayWrite() {
    if (!m_writable)
        m_writable = (m_writers == Writers::Owner || ::geteuid() == 0) && canWrite(m_path);
    return *m_writable;
}

std::uint64_t SqliteRegistryStore::generation() {
    std::lock_guard lock(m_mutex);
    // A store file made, replaced or removed by another process since shows
    // as a new connection; their commits to the open file, in its data
    // version, which moves with every other connection's commit.
    LONG status = ERROR_SUCCESS;
    if (open(false, status) != Open::Ready)
        return m_generation;
    sqlite3_stmt* s = statement("PRAGMA data_version");
    const int rc = s ? sqlite3_step(s) : SQLITE_ERROR;
    if (rc == SQLITE_ROW) {
        const long long version = sqlite3_column_int64(s, 0);
        if (m_dataVersion && *m_dataVersion != version)
            ++m_generation;
        m_dataVersion = version;
    } else {
        // Not known just now (busy, say): the content may have changed.
        ++m_generation;
        m_dataVersion.reset();
    }
    if (s)
        sqlite3_reset(s);
    return m_generation;
}

SqliteRegistryStore::FileStamp SqliteRegistryStore::stampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

bool SqliteRegistryStore::stillAtPath() const {
    const FileStamp now = stampOf(m_path);
    if (!now.exists || now.device != m_opened.device || now.inode != m_opened.inode)
        return false;
    if (!m_immutable)
        return true;
    // Read as unchanging because no log was there: any write since, which
    // makes one, or a file changed in place, needs a connection that locks.
    return now.size == m_opened.size && now.modified.tv_sec == m_opened.modified.tv_sec &&
           now.modified.tv_nsec == m_opened.modified.tv_nsec && !exists(m_path + "-wal");
}

void SqliteRegistryStore::close() {
    m_statements.clear();
    m_db.reset();
    m_dataVersion.reset();
}

LONG SqliteRegistryStore::fail(int sqliteCode) {
    switch (sqliteCode & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        // Closed by the next open(): statements of this call may still be live.
        m_corrupt = true;
        return ERROR_REGISTRY_CORRUPT;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN:
        return ERROR_ACCESS_DENIED;
    case SQLITE_TOOBIG:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

sqlite3_stmt* SqliteRegistryStore::statement(const char* sql) {
    auto& cached = m_statements[sql];
    if (!cached) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v3(m_db.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr) !=
            SQLITE_OK)
            return nullptr;
        cached.reset(raw);
    }
    return cached.get();
}

SqliteRegistryStore::Open SqliteRegistryStore::open(bool forWrite, LONG& status) {
    status = ERROR_SUCCESS;
    if (m_corrupt) {
        close();
        status = ERROR_REGISTRY_CORRUPT;
        return Open::Failed;
    }
    if (m_db && !stillAtPath()) {
        // Another program removed or replaced the file: from here on the
        // store is what the path holds now.
        close();
        ++m_generation;
    }
    if (m_db && (!forWrite || !m_readOnly))
        return Open::Ready;
    m_writable.reset();
    if (forWrite && !mayWrite()) {
        status = ERROR_ACCESS_DENIED;
        return Open::Failed;
    }
    int code = SQLITE_OK;
    const StoreFile file = inspectStoreFile(m_path, code);
    switch (file) {
    case StoreFile::Foreign:
        m_corrupt = true;
        close();
        status = ERROR_REGISTRY_CORRUPT;
        return Open::Failed;
    case StoreFile::Missing:
    case StoreFile::Empty:
        if (!forWrite)
            return Open::NoFile;
        break;
    case StoreFile::Unsure:
        // A writer's own open finishes what was left unfinished.
        if (!forWrite) {
            status = fail(code);
            return Open::Failed;
        }
        break;
    case StoreFile::Ours:
        break;
    }
    const bool fileExists = file != StoreFile::Missing;
    close();
    if (!fileExists &&
        !makeFolders(parentOf(m_path), m_writers == Writers::RootOnly ? 0755 : 0700)) {
        status = errno == EACCES || errno == EPERM ? ERROR_ACCESS_DENIED : ERROR_REGISTRY_IO_FAILED;
        return Open::Failed;
    }
    // Reading never writes: no log mode, no tables, no mark until a write.
    m_readOnly = !forWrite;
    m_immutable = false;
    // Looked at before the open: should the file be replaced meanwhile, the
    // next call sees a file other than this and opens that one.
    m_opened = stampOf(m_path);
    sqlite3* raw = nullptr;
    const int flags =
        SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX |
        (m_readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    int rc = sqlite3_open_v2(storeUri(m_path).c_str(), &raw, flags, nullptr);
    m_db.reset(raw);
    // Every user reads the machine's store; a user's own store is theirs
    // alone. The log files take the same mode from it.
    if (rc == SQLITE_OK && !fileExists) {
        ::chmod(m_path.c_str(), m_writers == Writers::RootOnly ? 0644 : 0600);
        m_opened = stampOf(m_path);
    }
    if (rc == SQLITE_OK)
        status = initialise();
    else
        status = fail(rc);
    if (status == ERROR_SUCCESS) {
        // What this connection reads may differ from what the last one read.
        ++m_generation;
        return Open::Ready;
    }
    close();
    return Open::Failed;
}

LONG SqliteRegistryStore::initialise() {
    // While another process turns a new file into WAL mode, the lock it
    // holds is refused at once rather than waited for: wait here instead.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    int rc = initialiseOnce();
    while ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        rc = initialiseOnce();
    }
    if (rc == SQLITE_OK)
        return ERROR_SUCCESS;
    if (rc == kNotSound) {
        m_corrupt = true;
        return ERROR_REGISTRY_CORRUPT;
    }
    return fail(rc);
}

int SqliteRegistryStore::initialiseOnce() {
    sqlite3* db = m_db.get();
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 0);
    if (!m_readOnly) {
        // The log stays after the last writer closes, so that users who may
        // only read the file can still open it.
        int persist = 1;
        sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    }
    // A damaged file is found before anything is written to it.
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &raw, nullptr);
    std::unique_ptr<sqlite3_stmt, StmtFinalize> check(raw);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(raw);
    if ((rc == SQLITE_CANTOPEN || rc == SQLITE_READONLY) && m_readOnly &&
        !exists(m_path + "-wal")) {
        // A reader who may not make the log file: with no log, the file
        // itself holds every write.
        check.reset();
        m_db.reset();
        sqlite3* ro = nullptr;
        rc = sqlite3_open_v2((storeUri(m_path) + "?immutable=1").c_str(), &ro,
                             SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_READONLY, nullptr);
        m_db.reset(ro);
        m_immutable = true;
        db = ro;
        if (rc == SQLITE_OK)
            rc = sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &raw, nullptr);
        check.reset(raw);
        if (rc == SQLITE_OK)
            rc = sqlite3_step(raw);
    }
    if (rc != SQLITE_ROW)
        return rc;
    if (columnText(raw, 0) != "ok")
        return kNotSound;
    check.reset();
    if (m_readOnly)
        return SQLITE_OK;
    // The file is looked at again under the write lock: another program may
    // have put its own database there since. An empty file, and an older
    // store of ours, get our mark with the first write.
    {
        Transaction schema(db);
        rc = schema.begun();
        if (rc != SQLITE_OK)
            return rc;
        int code = SQLITE_OK;
        const Schema found = storeSchema(db, code);
        if (found == Schema::Foreign)
            return kNotSound;
        if (found == Schema::Unreadable)
            return code;
        if (found != Schema::Ours) {
            const std::string mark =
                "PRAGMA application_id = " + std::to_string(kStoreApplicationId);
            rc = sqlite3_exec(db, mark.c_str(), nullptr, nullptr, nullptr);
        }
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK)
            rc = schema.commit();
        if (rc != SQLITE_OK)
            return rc;
    }
    // WAL, once the file is a store: a commit is whole in the log before the
    // call returns; NORMAL leaves syncing to the checkpoints, which a killed
    // process does not lose.
    return sqlite3_exec(db,
                        "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                        " PRAGMA journal_size_limit=1048576;",
                        nullptr, nullptr, nullptr);
}

std::optional<long long> SqliteRegistryStore::resolve(const KeyPath& path, LONG& status) {
    status = ERROR_SUCCESS;
    long long id = 0;
    for (const KeyName& level : path) {
        Statement s(statement(kFindKey), id);
        if (!s.get()) {
            status = fail(sqlite3_errcode(m_db.get()));
            return std::nullopt;
        }
        bindText(s.get(), 2, level.fold);
        const int rc = sqlite3_step(s.get());
        if (rc == SQLITE_DONE)
            return std::nullopt;
        if (rc != SQLITE_ROW) {
            status = fail(rc);
            return std::nullopt;
        }
        id = sqlite3_column_int64(s.get(), 0);
    }
    return id;
}

// Runs body with the key's row id inside one read snapshot. Without a store
// file the answer is whenNoFile; for a key that is not there, whenMissing.
template <class Body>
LONG SqliteRegistryStore::withKey(const KeyPath& path, LONG whenNoFile, LONG whenMissing,
                                  Body body) {
    std::lock_guard lock(m_mutex);
    LONG status = ERROR_SUCCESS;
    switch (open(false, status)) {
    case Open::Failed:
        return status;
    case Open::NoFile:
        return whenNoFile;
    case Open::Ready:
        break;
    }
    ReadTransaction snapshot(*this);
    const auto id = resolve(path, status);
    if (status != ERROR_SUCCESS)
        return status;
    if (!id)
        return whenMissing;
    return body(*id);
}

LONG SqliteRegistryStore::keyExists(const KeyPath& path) {
    return withKey(path, path.empty() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND,
                   [](long long) { return ERROR_SUCCESS; });
}

// Runs body inside one write transaction, committed only when body succeeds;
// a committed change that body reports moves the generation on.
template <class Body> LONG SqliteRegistryStore::writing(Body body) {
    std::lock_guard lock(m_mutex);
    LONG status = ERROR_SUCCESS;
    if (open(true, status) != Open::Ready)
        return status;
    Transaction tx(m_db.get());
    if (tx.begun() != SQLITE_OK)
        return fail(tx.begun());
    bool changed = false;
    if (const LONG done = body(changed); done != ERROR_SUCCESS)
        return done;
    if (const int rc = tx.commit(); rc != SQLITE_OK)
        return fail(rc);
    m_generation += changed;
    return ERROR_SUCCESS;
}

LONG SqliteRegistryStore::createKey(const KeyPath& path, const std::string& className,
                                    bool& created) {
    bool added = false;
    const LONG status = writing([&](bool& changed) {
        const LONG done = addPath(path, className, added);
        changed = added;
        return done;
    });
    created = status == ERROR_SUCCESS && added;
    return status;
}

// Finds or adds each level of path; added says whether any level was new.
LONG SqliteRegistryStore::addPath(const KeyPath& path, const std::string& className, bool& added) {
    long long id = 0;
    for (const KeyName& level : path) {
        Statement find(statement(kFindKey), id);
        if (!find.get())
            return fail(sqlite3_errcode(m_db.get()));
        bindText(find.get(), 2, level.fold);
        int rc = sqlite3_step(find.get());
        if (rc == SQLITE_ROW) {
            id = sqlite3_column_int64(find.get(), 0);
            continue;
        }
        if (rc != SQLITE_DONE)
            return fail(rc);
        Statement add(statement(kAddKey), id);
        if (!add.get())
            return fail(sqlite3_errcode(m_db.get()));
        bindText(add.get(), 2, level.name);
        bindText(add.get(), 3, level.fold);
        bindText(add.get(), 4, &level == &path.back() ? className : std::string());
        rc = sqlite3_step(add.get());
        if (rc != SQLITE_DONE)
            return fail(rc);
        id = sqlite3_last_insert_rowid(m_db.get());
        added = true;
    }
    return ERROR_SUCCESS;
}

LONG SqliteRegistryStore::deleteKey(const KeyPath& path) {
    if (path.empty())
        return ERROR_ACCESS_DENIED;
    return changeKey(path, ERROR_FILE_NOT_FOUND, [&](long long id) {
        {
            Statement has(statement(kHasSubkey), id);
            if (!has.get())
                return fail(sqlite3_errcode(m_db.get()));
            const int rc = sqlite3_step(has.get());
            if (rc == SQLITE_ROW)
                return ERROR_ACCESS_DENIED;
            if (rc != SQLITE_DONE)
                return fail(rc);
        }
        for (const char* sql : {kDropValues, kDropKey}) {
            Statement drop(statement(sql), id);
            if (!drop.get())
                return fail(sqlite3_errcode(m_db.get()));
            if (const int rc = sqlite3_step(drop.get()); rc != SQLITE_DONE)
                return fail(rc);
        }
        return ERROR_SUCCESS;
    });
}

LONG SqliteRegistryStore::queryValue(const KeyPath& path, const KeyName& name,
                                     RegistryValueData& out) {
    return withKey(path, path.empty() ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED, ERROR_KEY_DELETED,
                   [&](long long id) {
                       Statement s(statement(kGetValue), id);
                       if (!s.get())
                           return fail(sqlite3_errcode(m_db.get()));
                       bindText(s.get(), 2, name.fold);
                       const int rc = sqlite3_step(s.get());
                       if (rc == SQLITE_DONE)
                           return ERROR_FILE_NOT_FOUND;
                       if (rc != SQLITE_ROW)
                           return fail(rc);
                       out = columnValue(s.get());
                       return ERROR_SUCCESS;
                   });
}

// Runs body with the key's row id inside one write transaction, committed
// only when body succeeds; whenMissing where the key is not there.
template <class Body>
LONG SqliteRegistryStore::changeKey(const KeyPath& path, LONG whenMissing, Body body) {
    return writing([&](bool& changed) {
        LONG status = ERROR_SUCCESS;
        const auto id = resolve(path, status);
        if (status != ERROR_SUCCESS)
            return status;
        if (!id)
            return whenMissing;
        status = body(*id);
        changed = status == ERROR_SUCCESS;
        return status;
    });
}

LONG SqliteRegistryStore::setValue(const KeyPath& path, const KeyName& name, DWORD type,
                                   const unsigned char* data, std::size_t size) {
    return changeKey(path, ERROR_KEY_DELETED, [&](long long id) {
        Statement s(statement(kPutValue), id);
        if (!s.get())
            return fail(sqlite3_errcode(m_db.get()));
        bindText(s.get(), 2, name.name);
        bindText(s.get(), 3, name.fold);
        sqlite3_bind_int64(s.get(), 4, type);
        if (size == 0)
            sqlite3_bind_zeroblob(s.get(), 5, 0);
        else
            sqlite3_bind_blob(s.get(), 5, data, static_cast<int>(size), SQLITE_STATIC);
        if (const int rc = sqlite3_step(s.get()); rc != SQLITE_DONE)
            return fail(rc);
        return ERROR_SUCCESS;
    });
}

LONG SqliteRegistryStore::deleteValue(const KeyPath& path, const KeyName& name) {
    return changeKey(path, ERROR_KEY_DELETED, [&](long long id) {
        Statement s(statement(kDropValue), id);
        if (!s.get())
            return fail(sqlite3_errcode(m_db.get()));
        bindText(s.get(), 2, name.fold);
        if (const int rc = sqlite3_step(s.get()); rc != SQLITE_DONE)
            return fail(rc);
        if (sqlite3_changes(m_db.get()) == 0)
            return ERROR_FILE_NOT_FOUND;
        return ERROR_SUCCESS;
    });
}

// The rows of one key's listing, read in one snapshot; nothing on failure.
template <class Row, class ReadRow>
LONG SqliteRegistryStore::listRows(const KeyPath& path, const char* sql, std::vector<Row>& out,
                                   ReadRow readRow) {
    out.clear();
    return withKey(path, path.empty() ? ERROR_SUCCESS : ERROR_KEY_DELETED, ERROR_KEY_DELETED,
                   [&](long long id) {
                       Statement s(statement(sql), id);
                       if (!s.get())
                           return fail(sqlite3_errcode(m_db.get()));
                       int rc;
                       while ((rc = sqlite3_step(s.get())) == SQLITE_ROW)
                           out.push_back(readRow(s.get()));
                       if (rc != SQLITE_DONE) {
                           out.clear();
                           return fail(rc);
                       }
                       return ERROR_SUCCESS;
                   });
}

LONG SqliteRegistryStore::listSubkeys(const KeyPath& path, std::vector<SubkeyEntry>& out) {
    return listRows(path, kSubkeys, out, [](sqlite3_stmt* row) {
        return SubkeyEntry{columnText(row, 0), columnText(row, 1)};
    });
}

LONG SqliteRegistryStore::listValues(const KeyPath& path, std::vector<RegistryValueData>& out) {
    return listRows(path, kValues, out, [](sqlite3_stmt* row) { return columnValue(row); });
}

} // namespace ombrix::platform::registry
