#include "core/SettingsStore.h"

#include "platform/AtomicFile.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace pelorix;
using pelorix::test::TempDir;
using namespace std::string_literals;

namespace
{

const std::string kPreamble = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\PELORIX\\PELORIX]\r\n";

std::string fileText(const std::string &path)
{
    std::string text;
    readWholeFile(path, text);
    return text;
}

bool exists(const std::string &path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

// Moves the file's modification time into the past, as for a file written long ago.
void ageFile(const std::string &path)
{
    timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 60;
    times[1] = times[0];
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

struct StoreFixture : ::testing::Test {
    TempDir dir;
    std::string path = dir.file("PELORIX/PELORIX.reg");
    void writeRaw(const std::string &text)
    {
        std::filesystem::create_directories(dir.file("PELORIX"));
        ASSERT_TRUE(writeFileAtomically(path, text));
    }
};

} // namespace

TEST_F(StoreFixture, TypedReadsFollowTheValueEncodings)
{
    struct Case {
        std::string line; // the value line in the file, or "" for none
        char type;        // 's' ReadString, 'b' ReadBool, 'i' ReadInteger
        std::string defaultValue;
        std::string expected;
    };
    const Case cases[] = {
        {"\"k\"=\"2\"", 'b', "0", "1"},
        {"\"k\"=\"-1\"", 'b', "0", "1"},
        {"\"k\"=\"0\"", 'b', "1", "0"},
        {"\"k\"=\"1\"", 'b', "0", "1"},
        {"\"k\"=\"yes\"", 'b', "1", "1"},
        {"\"k\"=\"yes\"", 'b', "0", "0"},
        {"\"k\"=\"\"", 'b', "1", "1"},
        {"\"k\"=\"\"", 'b', "0", "0"},
        {"", 'b', "1", "1"},
        {"\"k\"=\"150\"", 'i', "7", "150"},
        {"\"k\"=\"-12\"", 'i', "7", "-12"},
        {"\"k\"=\"1.5\"", 'i', "7", "7"},
        {"\"k\"=\" 3\"", 'i', "7", "7"},
        {"\"k\"=\"99999999999\"", 'i', "7", "7"},
        {"\"k\"=dword:0000002a", 'i', "7", "42"},
        {"\"k\"=dword:ffffffff", 'i', "7", "-1"},
        {"\"k\"=dword:00000000", 'b', "1", "0"},
        {"\"k\"=dword:0000002a", 's', "x", "42"},
        {"\"k\"=dword:ffffffff", 's', "x", "-1"},
        {"\"k\"=\"Player 1\"", 's', "x", "Player 1"},
        {"\"k\"=\"\"", 's', "x", ""},
        {"", 's', "Player123", "Player123"},
        {"", 'i', "-5", "-5"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line + " read as " + c.type);
        writeRaw(kPreamble + (c.line.empty() ? "" : c.line + "\r\n"));
        const std::string before = fileText(path);
        SettingsStore store(path);
        std::string got;
        if (c.type == 's')
            got = store.ReadString("k", c.defaultValue);
        else if (c.type == 'b')
            got = store.ReadBool("k", c.defaultValue == "1") ? "1" : "0";
        else
            got = std::to_string(store.ReadInteger("k", std::stoi(c.defaultValue)));
        EXPECT_EQ(got, c.expected);
        EXPECT_EQ(fileText(path), before) << "a read changed the file";
    }
}

TEST_F(StoreFixture, ReadsNeverCreateTheFileAndDefaultsAreNotWrittenBack)
{
    SettingsStore store(path);
    EXPECT_EQ(store.ReadString("nick", "Player123"), "Player123");
    EXPECT_TRUE(store.ReadBool("hide_na_servers", true));
    EXPECT_EQ(store.ReadInteger("gametype_index", 0), 0);
    EXPECT_FALSE(exists(path));
    EXPECT_FALSE(exists(dir.file("PELORIX")));
}

TEST_F(StoreFixture, WritesKeepTheTypeRules)
{
    writeRaw(kPreamble + "\"game_version_index\"=\"2\"\r\n");
    SettingsStore store(path);

    // An integer that exists as text is overwritten as text and reads back as a number.
    store.WriteInteger("game_version_index", 1);
    EXPECT_EQ(store.ReadInteger("game_version_index", 0), 1);
    // A new integer becomes a number value.
    store.WriteInteger("gametype_index", 3);
    // A flag is the text "1" or "0".
    store.WriteBool("maxping", true);
    store.WriteBool("hide_full_servers", false);
    // Text over a number value makes it a string value; an integer over it stays a string then.
    store.WriteInteger("n", 5);
    store.WriteString("n", "abc");
    store.WriteInteger("n", 6);

    EXPECT_EQ(fileText(path), kPreamble + "\"game_version_index\"=\"1\"\r\n"
                                          "\"gametype_index\"=dword:00000003\r\n"
                                          "\"maxping\"=\"1\"\r\n"
                                          "\"hide_full_servers\"=\"0\"\r\n"
                                          "\"n\"=\"6\"\r\n");
    EXPECT_FALSE(store.ReadBool("hide_full_servers", true)); // "0" is false even against a true default
    EXPECT_TRUE(store.ReadBool("maxping", false));
}

TEST_F(StoreFixture, SmallStoreHasTheExactFileBytes)
{
    {
        SettingsStore store(path); // creates the missing folder
        store.WriteString("nick", "Ann \"the\" C:\\x");
        store.WriteInteger("gametype_index", 42);
        store.WriteString("", "root");
        store.WriteInteger("neg", -2);
    }
    EXPECT_EQ(fileText(path), "REGEDIT4\r\n"
                              "\r\n"
                              "[HKEY_CURRENT_USER\\PELORIX\\PELORIX]\r\n"
                              "\"nick\"=\"Ann \\\"the\\\" C:\\\\x\"\r\n"
                              "\"gametype_index\"=dword:0000002a\r\n"
                              "@=\"root\"\r\n"
                              "\"neg\"=dword:fffffffe\r\n");
    SettingsStore reopened(path);
    EXPECT_EQ(reopened.ReadString("nick", ""), "Ann \"the\" C:\\x");
    EXPECT_EQ(reopened.ReadString("", "none"), "root");
    EXPECT_EQ(reopened.ReadInteger("neg", 0), -2);
    const auto entries = reopened.entries();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[1].name, "gametype_index");
    EXPECT_EQ(entries[1].type, SettingsStore::ValueType::Dword);
    EXPECT_EQ(entries[1].number, 42u);
    EXPECT_EQ(entries[2].name, "");
}

TEST_F(StoreFixture, KeysIgnoreLetterCaseAndKeepTheirFirstSpelling)
{
    SettingsStore store(path);
    store.WriteString("MOD_EXE", "/games/a");
    store.WriteString("mod_exe", "/games/b");
    EXPECT_EQ(store.ReadString("Mod_Exe", ""), "/games/b");
    EXPECT_EQ(store.ReadString("MOD_EXE", ""), "/games/b");
    const auto entries = store.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "MOD_EXE");
    // The unnamed value is a key of its own, not a spelling of another.
    EXPECT_EQ(store.ReadString("", "none"), "none");
    // Only ASCII letters fold: 0xC4 and 0xE4 are different keys.
    store.WriteString("\xC4", "upper");
    store.WriteString("\xE4", "lower");
    EXPECT_EQ(store.ReadString("\xC4", ""), "upper");
}

TEST_F(StoreFixture, EightBitTextAndLineBreaksRoundTrip)
{
    std::string every;
    for (int b = 1; b < 256; ++b)
        every += static_cast<char>(b);
    const std::string texts[] = {every, "a\r\nb\rc\nd", "\r\n", "\\r is not a break", "trailing  "};
    SettingsStore store(path);
    for (const auto &text : texts)
        store.WriteString("v", text);
    for (size_t i = 0; i < std::size(texts); ++i)
        store.WriteString("v" + std::to_string(i), texts[i]);

    const std::string raw = fileText(path);
    EXPECT_NE(raw.find("\"v1\"=\"a\\r\\nb\\rc\\nd\"\r\n"), std::string::npos);
    SettingsStore reopened(path);
    for (size_t i = 0; i < std::size(texts); ++i)
        EXPECT_EQ(reopened.ReadString("v" + std::to_string(i), "?"), texts[i]) << i;
    // Every value stayed on its own line: header, empty line, section, "v" and the five others.
    size_t crlf = 0;
    for (size_t pos = 0; (pos = raw.find("\r\n", pos)) != std::string::npos; pos += 2)
        ++crlf;
    EXPECT_EQ(crlf, 3u + 1u + std::size(texts));
}

TEST_F(StoreFixture, AnyLineBreakFormIsRead)
{
    writeRaw("REGEDIT4\n\n[HKEY_CURRENT_USER\\PELORIX\\PELORIX]\r\"a\"=\"1\"\n\"b\"=dword:00000002\r\n; note\n\n");
    SettingsStore store(path);
    EXPECT_EQ(store.ReadInteger("a", 0), 1);
    EXPECT_EQ(store.ReadInteger("b", 0), 2);
    store.WriteString("c", "3");
    EXPECT_FALSE(exists(path + ".bad")) << "a well-formed file was set aside";
    EXPECT_EQ(fileText(path), kPreamble + "\"a\"=\"1\"\r\n\"b\"=dword:00000002\r\n\"c\"=\"3\"\r\n");
}

TEST_F(StoreFixture, ValueWrittenByAnotherProcessIsSeenByTheNextRead)
{
    SettingsStore store(path);
    store.WriteString("nick", "Ann");
    store.WriteString("ping", "150");
    ageFile(path);
    EXPECT_EQ(store.ReadString("nick", ""), "Ann"); // cached now, with an old file time

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        SettingsStore other(path);
        other.WriteString("nick", "Bob"); // same size as before
        ::_exit(other.ReadString("ping", "") == "150" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    EXPECT_EQ(store.ReadString("nick", ""), "Bob");
    // This process's next write starts from the file as it is, so the other process's value stays.
    store.WriteString("ping", "90");
    SettingsStore reopened(path);
    EXPECT_EQ(reopened.ReadString("nick", ""), "Bob");
    EXPECT_EQ(reopened.ReadString("ping", ""), "90");
}

TEST_F(StoreFixture, WriterKilledAtAnyInstantLeavesTheOldOrTheNewValue)
{
    SettingsStore store(path);
    store.WriteString("nick", "Player123");
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const int start = round * 1000000;
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(fds[0]);
            SettingsStore writer(path);
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            for (int i = start + 1; std::chrono::steady_clock::now() < end; ++i) {
                writer.WriteInteger("counter", i);
                writer.WriteString("text", std::string(static_cast<size_t>(i % 50), 'x'));
                // Reported only once both writes have returned.
                if (::write(fds[1], &i, sizeof i) != sizeof i)
                    ::_exit(2);
            }
            ::_exit(0);
        }
        ::close(fds[1]);
        // Once the writer is under way, let it run a while and kill it wherever it is.
        int last = start;
        int value = 0;
        if (::read(fds[0], &value, sizeof value) == sizeof value)
            last = value;
        std::this_thread::sleep_for(std::chrono::milliseconds(200 + 37 * round));
        ::kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status));

        while (::read(fds[0], &value, sizeof value) == sizeof value)
            last = value;
        ::close(fds[0]);
        ASSERT_GT(last, start) << "the writer never completed a write";

        const std::string raw = fileText(path);
        ASSERT_EQ(raw.rfind(kPreamble, 0), 0u);
        ASSERT_EQ(raw.substr(raw.size() - 2), "\r\n");
        SettingsStore reader(path);
        const int counter = reader.ReadInteger("counter", -1);
        EXPECT_TRUE(counter == last || counter == last + 1) << counter << " after " << last;
        const size_t textLength = reader.ReadString("text", "?").size();
        EXPECT_TRUE(textLength == static_cast<size_t>(counter % 50) || textLength == static_cast<size_t>(last % 50));
        EXPECT_EQ(reader.ReadString("nick", ""), "Player123");
    }
    store.WriteString("nick", "Ann");
    EXPECT_FALSE(exists(path + ".bad")) << "a killed writer left a damaged file";
    // The next write clears away the temporary files of killed writers.
    std::vector<std::string> files;
    for (const auto &f : std::filesystem::directory_iterator(dir.file("PELORIX")))
        files.push_back(f.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>{"PELORIX.reg"});
}

TEST_F(StoreFixture, DamagedFileIsKeptAsideBeforeItIsRewritten)
{
    struct Case {
        const char *what;
        std::string text;
        std::string nickRead; // what the lenient read still finds
    };
    const Case cases[] = {
        {"garbage line", kPreamble + "\"nick\"=\"Ann\"\r\nthis is not a value\r\n", "Ann"},
        {"missing header", "[HKEY_CURRENT_USER\\PELORIX\\PELORIX]\r\n\"nick\"=\"Ann\"\r\n", "Ann"},
        {"truncated last line", kPreamble + "\"nick\"=\"Ann\"\r\n\"ping\"=\"15", "Ann"},
        {"truncated header", "REGED", "default"},
        {"other section", kPreamble + "\"nick\"=\"Ann\"\r\n[HKEY_CURRENT_USER\\Other]\r\n\"nick\"=\"Eve\"\r\n", "Ann"},
        {"unknown escape", kPreamble + "\"nick\"=\"C:\\Games\"\r\n", "default"},
        {"value type never written", kPreamble + "\"nick\"=hex:41,00\r\n", "default"},
        {"binary", std::string("\x00\x01\xFF\xFE garbage\x00\n"s), "default"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(path + ".bad");
        writeRaw(c.text);
        SettingsStore store(path);
        EXPECT_EQ(store.ReadString("nick", "default"), c.nickRead);
        EXPECT_EQ(store.ReadInteger("ping", 150), 150);
        EXPECT_FALSE(exists(path + ".bad")) << "a read moved the file";

        store.WriteString("proxy", "1");
        EXPECT_EQ(fileText(path + ".bad"), c.text);
        EXPECT_EQ(store.ReadString("nick", "default"), c.nickRead);
        EXPECT_EQ(store.ReadString("proxy", ""), "1");

        // The rewritten file is clean: the next write keeps no copy of it.
        std::filesystem::remove(path + ".bad");
        store.WriteString("proxy", "0");
        EXPECT_FALSE(exists(path + ".bad"));
    }
}

TEST_F(StoreFixture, UnusableFilesReadAsDefaultsWithoutACrash)
{
    // An empty file is an empty store, nothing to keep aside.
    writeRaw("");
    {
        SettingsStore store(path);
        EXPECT_EQ(store.ReadString("nick", "Player123"), "Player123");
        store.WriteString("nick", "Ann");
        EXPECT_FALSE(exists(path + ".bad"));
        EXPECT_EQ(store.ReadString("nick", ""), "Ann");
    }

    // A folder where the file should be: defaults, and a write leaves the folder alone.
    std::filesystem::remove(path);
    std::filesystem::create_directories(path + "/inside");
    {
        SettingsStore store(path);
        EXPECT_EQ(store.ReadString("nick", "Player123"), "Player123");
        EXPECT_TRUE(store.ReadBool("hide_na_servers", true));
        EXPECT_TRUE(store.entries().empty());
        store.WriteString("nick", "Ann");
        EXPECT_EQ(store.ReadString("nick", "Player123"), "Player123");
        EXPECT_TRUE(std::filesystem::is_directory(path + "/inside"));
    }

    // The file vanishing under a store that had read it.
    std::filesystem::remove_all(path);
    writeRaw(kPreamble + "\"nick\"=\"Ann\"\r\n");
    SettingsStore store(path);
    EXPECT_EQ(store.ReadString("nick", ""), "Ann");
    std::filesystem::remove(path);
    EXPECT_EQ(store.ReadString("nick", "gone"), "gone");

    if (::geteuid() != 0) { // root reads every file
        writeRaw(kPreamble + "\"nick\"=\"Ann\"\r\n");
        ::chmod(path.c_str(), 0);
        EXPECT_EQ(store.ReadString("nick", "Player123"), "Player123");
        store.WriteString("ping", "99");
        ::chmod((path + ".bad").c_str(), 0644);
        EXPECT_EQ(fileText(path + ".bad"), kPreamble + "\"nick\"=\"Ann\"\r\n");
    }
}

TEST(SettingsStorePath, FollowsXdgConfigHomeThenHome)
{
    const char *oldXdg = std::getenv("XDG_CONFIG_HOME");
    const char *oldHome = std::getenv("HOME");
    const std::string savedXdg = oldXdg ? oldXdg : "";
    const std::string savedHome = oldHome ? oldHome : "";

    ::setenv("XDG_CONFIG_HOME", "/tmp/cfg/", 1);
    EXPECT_EQ(SettingsStore::defaultPath(), "/tmp/cfg/PELORIX/PELORIX.reg");
    ::setenv("XDG_CONFIG_HOME", "", 1);
    ::setenv("HOME", "/home/ann", 1);
    EXPECT_EQ(SettingsStore::defaultPath(), "/home/ann/.config/PELORIX/PELORIX.reg");

    if (oldXdg)
        ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    if (oldHome)
        ::setenv("HOME", savedHome.c_str(), 1);
    else
        ::unsetenv("HOME");
}
