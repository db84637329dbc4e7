#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace pelorix::master
{

// Setting keys of the store.
inline constexpr const char *kKeyVersion = "version";
inline constexpr const char *kKeyVersionDate = "version_date";
inline constexpr const char *kKeyMotd = "motd";
inline constexpr const char *kKeyPassword = "admin_password";

// The service's one database file: the listed servers and a few settings. SQLite in WAL mode, so the
// command-line administration can write while the service reads. Every statement is prepared once with
// parameters; no request text ever becomes SQL. Every step's result is checked: a read that fails part-way
// is a failure, never a shorter answer. Safe to use from several threads.
class MasterStore
{
  public:
    MasterStore() = default;
    ~MasterStore();
    MasterStore(const MasterStore &) = delete;
    MasterStore &operator=(const MasterStore &) = delete;

    // Opens (creating when needed) the database; false with a message in error on failure. busyTimeoutMs is
    // how long a statement waits for another process's write before it fails.
    bool open(const std::string &path, std::string &error, int busyTimeoutMs = 5000);

    enum class AddResult { Added, Duplicate, Failed };
    AddResult addServer(const std::string &address);
    enum class RemoveResult { Removed, NotListed, Failed };
    RemoveResult removeServer(const std::string &address);
    // In the order they were added; false (and servers left empty) when the table could not be read whole.
    bool servers(std::vector<std::string> &servers);
    // Adds every address not listed yet in one transaction; returns how many were added, -1 on failure.
    int importServers(const std::vector<std::string> &addresses);

    // False on a database error; value is empty when the key is not set.
    bool setting(const std::string &key, std::optional<std::string> &value);
    bool setSetting(const std::string &key, const std::string &value);

    // Changes whenever another connection (another process) committed a change since the last call; -1 on
    // a database error.
    long long dataVersion();

    // The message of the last failure.
    std::string lastError();

  private:
    class Statement;
    sqlite3_stmt *prepare(const char *sql);
    bool exec(const char *sql);
    bool fail();
    void succeed() { m_error.clear(); }
    // Runs an insert or delete of one address; the rows it changed, or -1 after a failure. The caller holds the
    // mutex.
    int changeAddress(sqlite3_stmt *statement, const std::string &address);

    std::mutex m_mutex;
    sqlite3 *m_db = nullptr;
    std::string m_error;
    sqlite3_stmt *m_insert = nullptr;
    sqlite3_stmt *m_delete = nullptr;
    sqlite3_stmt *m_list = nullptr;
    sqlite3_stmt *m_getSetting = nullptr;
    sqlite3_stmt *m_putSetting = nullptr;
    sqlite3_stmt *m_dataVersion = nullptr;
};

} // namespace pelorix::master
