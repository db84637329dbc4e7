// pelorix-cli wait end to end: a pelorix-gamesim server that is full until a player leaves, asked every 5555 ms, and
// the fake game planned through a Wine stand-in once a slot was seen free.
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

class CliWaitTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        // 16 of 16 until one player leaves 2500 ms after start-up.
        writeFileAtomically(dir.file("world.json"),
                            R"({"servers": [{"hostname": "Full", "gametype": "CTF", "gamevariant": "VEKTA 4", )"
                            R"("gamever": "1.0", "mapname": "M", "password": "0", "maxplayers": 16, "players": )" +
                                test::simulatedPlayersJson(16) + R"(, "events": [{"atMs": 2500, "leave": ""}]}]})");
        std::vector<std::string> lines;
        gamesim = test::startSimulator(PELORIX_GAMESIM_BIN, dir.file("world.json"), &lines);
        ASSERT_EQ(lines.size(), 1u);
        address = lines[0];

        writeFileAtomically(wine, "#!/bin/sh\nexit 0\n");
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

    Run wait(std::vector<std::string> args)
    {
        Run run;
        args.insert(args.begin(), "wait");
        run.status =
            test::runProcess(PELORIX_CLI_BIN, args, &run.out, &run.err,
                             {{"XDG_CONFIG_HOME", dir.file("config")}, {"PELORIX_WINE", wine}, {"WINEPREFIX", ""}});
        return run;
    }

    TempDir dir;
    std::unique_ptr<ChildProcess> gamesim;
    std::string address;
    const std::string wine = dir.file("fake-wine");
    const std::string prefix = dir.file("prefix");
    const std::string system = prefix + "/drive_c/VEKTA 4/Content/System/";
    const std::string game = system + "vekta4.exe";
    SettingsStore settings{dir.file("config/PELORIX/PELORIX.reg")};
};

TEST_F(CliWaitTest, JoinsWithTheBellOnceASlotWasSeenFree)
{
    const Run run = wait({address, "--dry-run"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto colon = address.find(':');
    const std::string joinAddress =
        address.substr(0, colon + 1) + std::to_string(std::stoi(address.substr(colon + 1)) - 1);
    EXPECT_EQ(run.out, "program: " + wine + "\nargument: " + game + "\nargument: " + joinAddress +
                           "?Name=Ann\nfolder: " + system + "\nWINEPREFIX: " + prefix + "\n");
    // The full count first, then the free one, then the bell: one tick decides on the count the one before saw.
    const auto full = run.err.find("shows 16/16\n");
    const auto free = run.err.find("shows 15/16\n");
    const auto bell = run.err.find('\a');
    ASSERT_NE(full, std::string::npos) << run.err;
    ASSERT_NE(free, std::string::npos) << run.err;
    EXPECT_LT(full, free);
    EXPECT_LT(free, bell);
    EXPECT_EQ(bell, run.err.size() - 1) << "the bell is the last thing before the join";
}

TEST_F(CliWaitTest, EndsOnABadCommandLineOrAddress)
{
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string error;
    };
    const Case cases[] = {
        {{}, 64, "pelorix-cli wait: the server's ADDRESS"},
        {{"a:1", "b:2"}, 64, "one ADDRESS only"},
        {{"a:1", "--every", "5"}, 64, "unknown option '--every'"},
        {{"a:1", "--password"}, 64, "--password takes the password"},
        {{"127.0.0.1:x1"}, 1, "error: 'x1' is not a valid integer value"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.error);
        const Run run = wait(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

} // namespace
} // namespace pelorix
