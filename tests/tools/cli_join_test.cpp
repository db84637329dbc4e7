// pelorix-cli join end to end: pelorix-gamesim servers asked for their status, the join's checks on the terminal,
// and the fake game started (or planned) through a Wine stand-in.
#include "core/SettingsStore.h"
#include "core/Text.h"
#include "platform/AtomicFile.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace pelorix
{
namespace
{

using namespace std::chrono_literals;
using test::ChildProcess;
using test::TempDir;

// Three servers: open with 3 of 16 players, locked with 1 of 16, full with 2 of 2.
const char *const kScenario = R"({"servers": [
{"hostname": "Alpha", "gametype": "CTF", "gamevariant": "VEKTA 4", "gamever": "1.0", "mapname": "Mirefield",
 "password": "0", "maxplayers": 16, "players": [{"name": "a", "score": 1, "ping": 10}, {"name": "b", "score": 1,
 "ping": 10}, {"name": "c", "score": 1, "ping": 10}]},
{"hostname": "Locked", "gametype": "CTF", "gamevariant": "VEKTA 4", "gamever": "1.0", "mapname": "Mirefield",
 "password": "1", "maxplayers": 16, "players": [{"name": "a", "score": 1, "ping": 10}]},
{"hostname": "Full", "gametype": "CTF", "gamevariant": "VEKTA 4", "gamever": "1.0", "mapname": "Mirefield",
 "password": "0", "maxplayers": 2, "players": [{"name": "a", "score": 1, "ping": 10}, {"name": "b", "score": 1,
 "ping": 10}]}
]})";

class CliJoinTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        writeFileAtomically(dir.file("world.json"), kScenario);
        gamesim = test::startSimulator(PELORIX_GAMESIM_BIN, dir.file("world.json"), &addresses);
        ASSERT_EQ(addresses.size(), 3u);

        writeFileAtomically(wine, "#!/bin/sh\n{ pwd; echo \"WINEPREFIX=${WINEPREFIX-unset}\"; "
                                  "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; } > \"$0.part\"\n"
                                  "mv \"$0.part\" \"$0.record\"\n");
        std::filesystem::permissions(wine, std::filesystem::perms::owner_all);
        std::filesystem::create_directories(system);
        writeFileAtomically(game, std::string("MZ\x90\0", 4));
        std::filesystem::create_directories(dir.file("config/PELORIX"));
        settings.WriteString("nick", "Ann");
        settings.WriteString("VEKTA4 1.0", prefix + "/drive_c/VEKTA 4");
        settings.WriteString("10", game);
    }

    struct Run {
        int status = -1;
        std::string out, err;
    };

    Run join(std::vector<std::string> args, std::map<std::string, std::string> env = {})
    {
        Run run;
        args.insert(args.begin(), "join");
        env.emplace("XDG_CONFIG_HOME", dir.file("config"));
        env.emplace("PELORIX_WINE", wine);
        env.emplace("WINEPREFIX", "");
        run.status = test::runProcess(PELORIX_CLI_BIN, args, &run.out, &run.err, env);
        return run;
    }

    // The join port of a server: its query port less one.
    std::string joinAddress(int server) const
    {
        const std::string &address = addresses[static_cast<std::size_t>(server)];
        const auto colon = address.find(':');
        return address.substr(0, colon + 1) + std::to_string(std::stoi(address.substr(colon + 1)) - 1);
    }

    TempDir dir;
    std::unique_ptr<ChildProcess> gamesim;
    std::vector<std::string> addresses;
    const std::string wine = dir.file("fake-wine");
    const std::string prefix = dir.file("\xC5\x81\xC3\xB3\x64\xC5\xBA prefix");
    const std::string system = prefix + "/drive_c/VEKTA 4/Content/System/";
    const std::string game = system + "vekta4.exe";
    SettingsStore settings{dir.file("config/PELORIX/PELORIX.reg")};
};

TEST_F(CliJoinTest, DryRunPrintsWhatWouldBeStarted)
{
    struct Case {
        const char *what;
        int server;
        std::vector<std::string> options;
        int status;
        std::string arguments; // after the game's path
        std::string error;     // a text standard error holds
    };
    const Case cases[] = {
        {"open server", 0, {}, 0, "argument: " + joinAddress(0) + "?Name=Ann\n", ""},
        {"locked, password split by the Windows rules",
         1,
         {"--password", "pw d"},
         0,
         "argument: " + joinAddress(1) + "?Name=Ann?Password=pw\nargument: d\n",
         ""},
        {"locked, no password", 1, {}, 1, "", "no password given"},
        {"full, answered No",
         2,
         {"--password", "x"},
         1,
         "",
         "information: Server is full, do you want to use max join password?\npelorix-cli: answered No"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args = {addresses[static_cast<std::size_t>(c.server)], "--dry-run"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Run run = join(args);
        EXPECT_EQ(run.status, c.status) << run.err;
        if (c.status == 0) {
            EXPECT_EQ(run.out, "program: " + wine + "\nargument: " + game + "\n" + c.arguments + "folder: " + system +
                                   "\nWINEPREFIX: " + prefix + "\n");
        } else {
            EXPECT_EQ(run.out, "");
        }
        EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(wine + ".record")) << "a dry run starts nothing";
}

TEST_F(CliJoinTest, StartsTheGameThroughTheWineStandIn)
{
    const Run run = join({addresses[0]});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string record;
    for (int i = 0; i < 500 && !readWholeFile(wine + ".record", record); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(record, std::filesystem::canonical(system).string() + "\nWINEPREFIX=" + prefix + "\n[" + game + "]\n[" +
                          joinAddress(0) + "?Name=Ann]\n");
}

TEST_F(CliJoinTest, EndsWithTheJoinsMessages)
{
    struct Case {
        const char *what;
        std::vector<std::string> args;
        std::function<void()> prepare;
        std::map<std::string, std::string> env;
        int status;
        std::string error;
    };
    const Case cases[] = {
        {"no address", {}, [] {}, {}, 64, "ADDRESS"},
        {"two addresses", {"a:1", "b:2"}, [] {}, {}, 64, "one ADDRESS only"},
        {"unknown option", {"a:1", "--fast"}, [] {}, {}, 64, "unknown option"},
        {"no answer", {"127.0.0.1:9"}, [] {}, {}, 1, "did not answer"},
        {"port not a number", {"127.0.0.1:9x"}, [] {}, {}, 1, "error: '9x' is not a valid integer value"},
        {"Wine missing", {addresses[0]}, [] {}, {{"PELORIX_WINE", dir.file("no-such-wine")}}, 1, "Wine launcher"},
        {"executable missing",
         {addresses[0]},
         [this] { settings.WriteString("10", dir.file("gone.exe")); },
         {},
         1,
         "error: VEKTA4 is not installed!"},
        {"no executable set",
         {addresses[0]},
         [this] { settings.WriteString("10", ""); },
         {},
         1,
         "confirmation: Please set the game executable in options !"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        c.prepare();
        const Run run = join(c.args, c.env);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(wine + ".record"));
}

TEST_F(CliJoinTest, TheGameRunningUnderWineRefusesTheJoin)
{
    // Under Wine the game shows its Windows path only as its first argument.
    ChildProcess running("/bin/bash", {"-c", "exec -a 'C:\\VEKTA 4\\ContentExpansion\\System\\vekta4x.exe' sleep 30"});
    std::string cmdline;
    for (int i = 0; i < 500; ++i) {
        if (readWholeFile("/proc/" + std::to_string(running.pid()) + "/cmdline", cmdline) && cmdline.starts_with("C:"))
            break;
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(cmdline.starts_with("C:\\VEKTA 4\\")) << cmdline;

    const Run run = join({addresses[0], "--dry-run"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("warning: Please exit the game before joining other server!"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
}

} // namespace
} // namespace pelorix
