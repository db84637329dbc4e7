// Cost of one settings read: the refresh reads about ten values for every server row, so a table of
// 10,000 rows asks the store some 100,000 times. Prints nanoseconds per read for existing keys, missing
// keys, and reads made just after a write (while the file's time is too fresh to trust its stamp).
#include "core/SettingsStore.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace pelorix;

namespace
{

constexpr int kReads = 100000;

// The store as a player's machine holds it after some use: 28 values.
void fill(SettingsStore &store)
{
    store.WriteString("nick", "Player123");
    store.WriteBool("proxy", false);
    store.WriteString("proxyserver", "proxy.example");
    store.WriteString("proxyport", "3128");
    store.WriteString("proxyuser", "ann");
    store.WriteString("proxypassword", "secret");
    store.WriteBool("hide_na_servers", true);
    store.WriteBool("maxping", true);
    store.WriteString("ping", "150");
    store.WriteBool("gametype", false);
    store.WriteString("gametype_name", "Capture the Flag");
    store.WriteInteger("gametype_index", 2);
    store.WriteBool("hide_password_servers", false);
    store.WriteBool("hide_full_servers", true);
    store.WriteBool("hide_empty_servers", false);
    store.WriteBool("show_game_version", false);
    store.WriteInteger("game_version_index", 1);
    store.WriteString("motd", "0123456789ABCDEF0123456789ABCDEF");
    store.WriteBool("ignoreping", false);
    store.WriteString("10", "C:\\Games\\VEKTA4\\vekta4.exe");
    store.WriteString("11", "C:\\Games\\VEKTA4 1.1\\vekta4.exe");
    store.WriteString("x", "C:\\Games\\VEKTA4X\\vekta4x.exe");
    store.WriteString("MOD_EXE", "C:\\Games\\Mod\\mod.exe");
    store.WriteString("VEKTA4 1.0", "C:\\Games\\VEKTA4");
    store.WriteString("VEKTA4 1.1", "C:\\Games\\VEKTA4 1.1");
    store.WriteString("VEKTA4X 1.0", "C:\\Games\\VEKTA4X");
    store.WriteString("MOD_CONTENT", "C:\\Games\\Mod");
    store.WriteString("", "");
}

// The reads one row of a refresh makes.
long long rowReads(const SettingsStore &store, const char *const *keys, int count, int reads)
{
    long long sink = 0;
    for (int i = 0; i < reads; ++i) {
        const char *key = keys[i % count];
        switch (i % 3) {
        case 0:
            sink += static_cast<long long>(store.ReadString(key, "").size());
            break;
        case 1:
            sink += store.ReadBool(key, false) ? 1 : 0;
            break;
        default:
            sink += store.ReadInteger(key, 0);
            break;
        }
    }
    return sink;
}

double nsPerRead(const SettingsStore &store, const char *const *keys, int count, int reads, long long &sink)
{
    const auto start = std::chrono::steady_clock::now();
    sink += rowReads(store, keys, count, reads);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count()) / reads;
}

} // namespace

int main()
{
    std::string folder = (std::filesystem::temp_directory_path() / "pelorix-bench-XXXXXX").string();
    if (!::mkdtemp(folder.data()))
        return 1;
    const std::string path = folder + "/PELORIX/PELORIX.reg";
    long long sink = 0;
    {
        SettingsStore store(path);
        const auto writeStart = std::chrono::steady_clock::now();
        fill(store);
        const auto writeElapsed = std::chrono::steady_clock::now() - writeStart;

        const char *const existing[] = {"hide_na_servers",
                                        "maxping",
                                        "ping",
                                        "gametype",
                                        "gametype_name",
                                        "hide_password_servers",
                                        "hide_full_servers",
                                        "hide_empty_servers",
                                        "show_game_version",
                                        "game_version_index"};
        const char *const missing[] = {"absent_a", "absent_b", "no_such_filter", "x2", "hide_none"};

        // Reads just after a write compare the file's contents until its time is old enough to trust.
        const double fresh = nsPerRead(store, existing, 10, 1000, sink);
        std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1));
        const double existingNs = nsPerRead(store, existing, 10, kReads, sink);
        const double missingNs = nsPerRead(store, missing, 5, kReads, sink);

        std::printf("settings store, 28 values, %d reads each\n", kReads);
        std::printf("existing keys:        %8.1f ns/read\n", existingNs);
        std::printf("missing keys:         %8.1f ns/read\n", missingNs);
        std::printf("just after a write:   %8.1f ns/read\n", fresh);
        std::printf("write (fsync, rename): %7.1f us/write\n",
                    static_cast<double>(std::chrono::duration_cast<std::chrono::microseconds>(writeElapsed).count()) /
                        28.0);
    }
    std::filesystem::remove_all(folder);
    return sink == -1 ? 1 : 0;
}
