#pragma once
#include "platform/registry/RegistryStore.h"

#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/types.h>

struct sqlite3;
struct sqlite3_stmt;

namespace ombrix::platform::registry {

// The keys of one root key in an SQLite file. The file is made, or an empty
// file filled, by the first write; reading opens it read-only and never
// makes, converts or marks one. Every write is its own transaction in
// write-ahead-log mode, so a write that returned survives the process being
// killed, and writers in other processes wait for each other. A file that
// is not a sound database, or is another program's (without our
// application id, or our tables in a store older than the id), is never
// written to: every call answers ERROR_REGISTRY_CORRUPT.
class SqliteRegistryStore final : public RegistryStore {
public:
    enum class Writers { Owner, RootOnly };
    explicit SqliteRegistryStore(std::string path, Writers writers = Writers::Owner);
    ~SqliteRegistryStore() override;
    SqliteRegistryStore(const SqliteRegistryStore&) = delete;
    SqliteRegistryStore& operator=(const SqliteRegistryStore&) = delete;

    const std::string& path() const { return m_path; }

    bool writable() override;
    LONG keyExists(const KeyPath& path) override;
    LONG createKey(const KeyPath& path, const std::string& className, bool& created) override;
    LONG deleteKey(const KeyPath& path) override;
    LONG queryValue(const KeyPath& path, const KeyName& name, RegistryValueData& out) override;
    LONG setValue(const KeyPath& path, const KeyName& name, DWORD type, const unsigned char* data,
                  std::size_t size) override;
    LONG deleteValue(const KeyPath& path, const KeyName& name) override;
    LONG listSubkeys(const KeyPath& path, std::vector<SubkeyEntry>& out) override;
    LONG listValues(const KeyPath& path, std::vector<RegistryValueData>& out) override;
    std::uint64_t generation() override;

private:
    template <class Body> LONG writing(Body body);
    LONG addPath(const KeyPath& path, const std::string& className, bool& added);
    template <class Body> LONG changeKey(const KeyPath& path, LONG whenMissing, Body body);
    template <class Body>
    LONG withKey(const KeyPath& path, LONG whenNoFile, LONG whenMissing, Body body);
    template <class Row, class ReadRow>
    LONG listRows(const KeyPath& path, const char* sql, std::vector<Row>& out, ReadRow readRow);
    struct DbClose {
        void operator()(sqlite3* db) const;
    };
    struct StmtFinalize {
        void operator()(sqlite3_stmt* stmt) const;
    };
    class Statement;
    class Transaction;
    class ReadTransaction;
    enum class Open { Ready, NoFile, Failed };

    // Which file a path names, and what it held when last looked at.
    struct FileStamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
    };
    static FileStamp stampOf(const std::string& path);
    // Whether the open connection still reads the file at the path: not
    // when another program removed or replaced it, nor, for a file opened as
    // unchanging, when it changed.
    bool stillAtPath() const;
    void close();

    bool mayWrite();
    Open open(bool forWrite, LONG& status);
    LONG initialise();
    int initialiseOnce();
    LONG fail(int sqliteCode);
    sqlite3_stmt* statement(const char* sql);
    // The key's row id (0 for the root), nullopt when it does not exist.
    std::optional<long long> resolve(const KeyPath& path, LONG& status);

    std::mutex m_mutex;
    std::string m_path;
    Writers m_writers;
    std::unique_ptr<sqlite3, DbClose> m_db;
    std::map<const char*, std::unique_ptr<sqlite3_stmt, StmtFinalize>> m_statements;
    std::optional<bool> m_writable; // found out again whenever the file is opened
    bool m_readOnly = false;
    bool m_immutable = false; // read without locks: no other writer was possible
    bool m_corrupt = false;
    FileStamp m_opened; // the file the connection was opened on
    // Moves on with our own commits, with every new connection and with
    // every commit of another connection that the open one sees.
    std::uint64_t m_generation = 0;
    std::optional<long long> m_dataVersion; // of the open connection
};

} // namespace ombrix::platform::registry
