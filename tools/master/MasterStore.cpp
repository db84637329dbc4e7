#include "MasterStore.h"

#include <sqlite3.h>

namespace pelorix::master
{

// Resets a prepared statement and clears its bindings on every way out of a call.
class MasterStore::Statement
{
  public:
    explicit Statement(sqlite3_stmt *statement)
        : m_statement(statement)
    {
    }
    ~Statement()
    {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // The text must outlive the statement's use: bindings are cleared before this object goes.
    bool bind(int index, const std::string &text)
    {
        // A null destructor is SQLITE_STATIC: SQLite reads the caller's bytes without copying them.
        return sqlite3_bind_text(m_statement, index, text.data(), static_cast<int>(text.size()), nullptr) == SQLITE_OK;
    }
    int step() { return sqlite3_step(m_statement); }
    // False when SQLite could not produce the value (out of memory): an empty value is a NULL pointer too.
    bool column(int index, std::string &text)
    {
        const auto *bytes = static_cast<const char *>(sqlite3_column_blob(m_statement, index));
        const int length = sqlite3_column_bytes(m_statement, index);
        if (!bytes) {
            text.clear();
            return sqlite3_errcode(sqlite3_db_handle(m_statement)) != SQLITE_NOMEM;
        }
        text.assign(bytes, static_cast<std::size_t>(length));
        return true;
    }
    long long integer(int index) { return sqlite3_column_int64(m_statement, index); }

  private:
    sqlite3_stmt *m_statement;
};

MasterStore::~MasterStore()
{
    for (sqlite3_stmt *statement : {m_insert, m_delete, m_list, m_getSetting, m_putSetting, m_dataVersion})
        sqlite3_finalize(statement);
    sqlite3_close(m_db);
}

bool MasterStore::fail()
{
    m_error = m_db ? sqlite3_errmsg(m_db) : "not open";
    return false;
}

bool MasterStore::exec(const char *sql)
{
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

sqlite3_stmt *MasterStore::prepare(const char *sql)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK)
        return nullptr;
    return statement;
}

bool MasterStore::open(const std::string &path, std::string &error, int busyTimeoutMs)
{
    const std::lock_guard lock(m_mutex);
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        error = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        return false;
    }
    // Administration commands and the service share the file: wait for each other's short writes.
    sqlite3_busy_timeout(m_db, busyTimeoutMs);
    const bool ready = exec("PRAGMA journal_mode=WAL") && exec("PRAGMA synchronous=FULL") &&
                       exec("CREATE TABLE IF NOT EXISTS servers ("
                            " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                            " address TEXT NOT NULL UNIQUE,"
                            " added INTEGER NOT NULL DEFAULT (strftime('%s','now')))") &&
                       exec("CREATE TABLE IF NOT EXISTS settings (key TEXT PRIMARY KEY, value BLOB NOT NULL)");
    if (ready) {
        m_insert = prepare("INSERT OR IGNORE INTO servers (address) VALUES (?1)");
        m_delete = prepare("DELETE FROM servers WHERE address = ?1");
        m_list = prepare("SELECT address FROM servers ORDER BY id");
        m_getSetting = prepare("SELECT value FROM settings WHERE key = ?1");
        m_putSetting = prepare("INSERT INTO settings (key, value) VALUES (?1, ?2)"
                               " ON CONFLICT(key) DO UPDATE SET value = excluded.value");
        m_dataVersion = prepare("PRAGMA data_version");
    }
    if (!ready || !m_insert || !m_delete || !m_list || !m_getSetting || !m_putSetting || !m_dataVersion) {
        error = sqlite3_errmsg(m_db);
        return false;
    }
    return true;
}

int MasterStore::changeAddress(sqlite3_stmt *statement, const std::string &address)
{
    Statement change(statement);
    if (!change.bind(1, address) || change.step() != SQLITE_DONE) {
        fail();
        return -1;
    }
    return sqlite3_changes(m_db);
}

MasterStore::AddResult MasterStore::addServer(const std::string &address)
{
    const std::lock_guard lock(m_mutex);
    const int changed = changeAddress(m_insert, address);
    if (changed < 0)
        return AddResult::Failed;
    succeed();
    return changed > 0 ? AddResult::Added : AddResult::Duplicate;
}

MasterStore::RemoveResult MasterStore::removeServer(const std::string &address)
{
    const std::lock_guard lock(m_mutex);
    const int changed = changeAddress(m_delete, address);
    if (changed < 0)
        return RemoveResult::Failed;
    succeed();
    return changed > 0 ? RemoveResult::Removed : RemoveResult::NotListed;
}

bool MasterStore::servers(std::vector<std::string> &servers)
{
    const std::lock_guard lock(m_mutex);
    servers.clear();
    Statement list(m_list);
    int result = SQLITE_ROW;
    std::string address;
    while ((result = list.step()) == SQLITE_ROW) {
        if (!list.column(0, address))
            break;
        servers.push_back(address);
    }
    if (result != SQLITE_DONE) {
        servers.clear();
        return fail();
    }
    succeed();
    return true;
}

int MasterStore::importServers(const std::vector<std::string> &addresses)
{
    const std::lock_guard lock(m_mutex);
    if (!exec("BEGIN IMMEDIATE")) {
        fail();
        return -1;
    }
    int added = 0;
    for (const auto &address : addresses) {
        const int changed = changeAddress(m_insert, address);
        if (changed < 0) {
            exec("ROLLBACK");
            return -1;
        }
        added += changed > 0 ? 1 : 0;
    }
    if (!exec("COMMIT")) {
        fail();
        exec("ROLLBACK");
        return -1;
    }
    succeed();
    return added;
}

bool MasterStore::setting(const std::string &key, std::optional<std::string> &value)
{
    const std::lock_guard lock(m_mutex);
    value.reset();
    Statement get(m_getSetting);
    if (!get.bind(1, key))
        return fail();
    const int result = get.step();
    if (result == SQLITE_DONE) {
        succeed();
        return true;
    }
    std::string text;
    if (result != SQLITE_ROW || !get.column(0, text))
        return fail();
    value = std::move(text);
    succeed();
    return true;
}

bool MasterStore::setSetting(const std::string &key, const std::string &value)
{
    const std::lock_guard lock(m_mutex);
    Statement put(m_putSetting);
    if (!put.bind(1, key) || !put.bind(2, value) || put.step() != SQLITE_DONE)
        return fail();
    succeed();
    return true;
}

long long MasterStore::dataVersion()
{
    const std::lock_guard lock(m_mutex);
    Statement version(m_dataVersion);
    if (version.step() != SQLITE_ROW) {
        fail();
        return -1;
    }
    succeed();
    return version.integer(0);
}

std::string MasterStore::lastError()
{
    const std::lock_guard lock(m_mutex);
    return m_error.empty() ? std::string("unknown database error") : m_error;
}

} // namespace pelorix::master
