#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace pelorix::master {

// Setting keys of the store.
inline constexpr const char *kKeyVersion = "version";
inline constexpr const char *kKeyVersionDate = "version_date";
inline constexpr const char *kKeyMotd = "motd";
inline constexpr const char *kKeyPassword = "admin_password";

// The service's one database file: the listed servers and a few settings. SQLite in WAL mode, so the
// command-line administration can write while the service reads. Every statement is prepared once with
// parameters; no request text ever becomes SQL. Safe to use from several threads.
class MasterStore
{
public:
    MasterStore() = default;
    ~MasterStore();
    MasterStore(const MasterStore &) = delete;
    MasterStore &operator=(const MasterStore &) = delete;

    // Opens (creating when needed) the database; false with a message in error on failure.
    bool open(const std::string &path, std::string &error);

    enum class AddResult { Added, Duplicate, Failed };
    AddResult addServer(const std::string &address);
    // True when the server was listed and is gone now.
    bool removeServer(const std::string &address);
    // In the order they were added.
    std::vector<std::string> servers();
    // Adds every address not listed yet in one transaction; returns how many were added, -1 on failure.
    int importServers(const std::vector<std::string> &addresses);

    std::optional<std::string> setting(const std::string &key);
    bool setSetting(const std::string &key, const std::string &value);

    // Changes whenever another connection (another process) committed a change since the last call.
    long long dataVersion();

    std::string lastError();

private:
    class Statement;
    sqlite3_stmt *prepare(const char *sql);
    bool exec(const char *sql);

    std::mutex m_mutex;
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_insert = nullptr;
    sqlite3_stmt *m_delete = nullptr;
    sqlite3_stmt *m_list = nullptr;
    sqlite3_stmt *m_getSetting = nullptr;
    sqlite3_stmt *m_putSetting = nullptr;
    sqlite3_stmt *m_dataVersion = nullptr;
};

} // namespace pelorix::master
