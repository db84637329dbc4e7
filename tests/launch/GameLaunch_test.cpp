#include "launch/GameLaunch.h"

#include "core/SettingsStore.h"
#include "launch/Installations.h"
#include "platform/AtomicFile.h"
#include "support/RecordingScript.h"
#include "support/ScriptedDialogs.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

using namespace pelorix;
using pelorix::test::ScopedEnvironment;
using pelorix::test::ScriptedDialogs;
using pelorix::test::TempDir;

namespace
{

constexpr const char *kNotInstalled10 = "VEKTA4 is not installed!";

void writeWindowsProgram(const std::string &path)
{
    std::filesystem::create_directories(folderPartOf(path));
    writeFileAtomically(path, std::string("MZ\x90\0\3\0\0\0", 8));
}

// An installed game in a scratch folder, the store and dialogs around a GameLaunch whose front end records what
// the join asks of it.
class LaunchTest : public ::testing::Test
{
  protected:
    LaunchTest()
    {
        writeWindowsProgram(base);
        writeWindowsProgram(expansion);
        settings.WriteString("VEKTA4 1.0", root);
        settings.WriteString("10", base);
        settings.WriteString("VEKTA4 1.1", root);
        settings.WriteString("11", base);
        settings.WriteString("VEKTA4X 1.0", root);
        settings.WriteString("x", expansion);
        installations.loadExecutablePaths();
    }

    JoinFrontEnd frontEnd()
    {
        JoinFrontEnd f;
        f.showOptionsMenu = [this] { events.push_back("options"); };
        f.clearJoinBoxes = [this] { events.push_back("clear"); };
        f.minimize = [this] { events.push_back("minimize"); };
        f.isProcessRunning = [this](const std::string &name) { return running.count(name) > 0; };
        f.start = [this](const std::string &exe, const std::string &line, const std::string &folder) {
            events.push_back("start " + exe + "|" + line + "|" + folder);
            GameStart started;
            started.error = startError;
            started.subject = exe;
            return started;
        };
        return f;
    }

    std::string startOf(const std::string &exe, const std::string &line) const
    {
        return "start " + exe + "|" + line + "|" + folderPartOf(exe);
    }

    TempDir dir;
    const std::string root = dir.file("VEKTA 4");
    const std::string base = root + "/Content/System/vekta4.exe";
    const std::string expansion = root + "/ContentExpansion/System/vekta4x.exe";
    SettingsStore settings{dir.file("settings.reg")};
    ScriptedDialogs dialogs;
    GameInstallations installations{settings, dialogs};
    std::vector<std::string> events;
    std::set<std::string> running;
    GameStartError startError = GameStartError::None;
    GameLaunch launch{installations, settings, dialogs, frontEnd()};
};

JoinRow row(std::string players, std::string lock = " ", std::string variant = "VEKTA 4", std::string version = "1.0",
            std::string address = "10.0.0.5:10481")
{
    return {std::move(lock), "Alpha", std::move(players), std::move(address), std::move(variant), std::move(version)};
}

TEST_F(LaunchTest, TableJoinAsksAndStartsInItsOrder)
{
    const std::string full = "Server is full, do you want to use max join password?";
    struct Case {
        const char *what;
        std::optional<JoinRow> selected;
        std::optional<std::string> checkedAddress;
        std::string nick;
        std::vector<DialogAnswer> answers;
        std::vector<std::optional<std::string>> typed;
        std::set<std::string> running;
        JoinEnd end;
        std::vector<std::string> messages;
        int prompts;
        std::vector<std::string> events;
    };
    const std::string plain = " 10.0.0.5:10480?Name=Player123";
    const Case cases[] = {
        {"plain",
         row("3/16"),
         {},
         "Player123",
         {},
         {},
         {},
         JoinEnd::Started,
         {},
         0,
         {"clear", startOf(base, plain), "minimize"}},
        {"locked, password as typed",
         row("3/16", "\xAE"),
         {},
         "Player123",
         {},
         {"pass word"},
         {},
         JoinEnd::Started,
         {},
         1,
         {"clear", startOf(base, plain + "?Password=pass word"), "minimize"}},
        {"locked, cancelled",
         row("3/16", "\xAE"),
         {},
         "Player123",
         {},
         {std::nullopt},
         {},
         JoinEnd::NoPassword,
         {},
         1,
         {}},
        {"full, Yes, password",
         row("16/16"),
         {},
         "Player123",
         {DialogAnswer::Yes},
         {"max"},
         {},
         JoinEnd::Started,
         {full},
         1,
         {"clear", startOf(base, plain + "?Password=max"), "minimize"}},
        {"full, Yes, empty password",
         row("16/16"),
         {},
         "Player123",
         {DialogAnswer::Yes},
         {""},
         {},
         JoinEnd::NoPassword,
         {full},
         1,
         {}},
        {"full, No", row("16/16"), {}, "Player123", {DialogAnswer::No}, {}, {}, JoinEnd::FullDeclined, {full}, 0, {}},
        {"17/16 is not full",
         row("17/16"),
         {},
         "Player123",
         {},
         {},
         {},
         JoinEnd::Started,
         {},
         0,
         {"clear", startOf(base, plain), "minimize"}},
        {"? counts as full",
         row("?"),
         {},
         "Player123",
         {DialogAnswer::No},
         {},
         {},
         JoinEnd::FullDeclined,
         {full},
         0,
         {}},
        {"checked row's address, selected row's cells",
         row("3/16", "\xAE", "VEKTA 4X"),
         "10.0.0.9:2000",
         "Ann",
         {},
         {"pw"},
         {},
         JoinEnd::Started,
         {},
         1,
         {"clear", startOf(expansion, " 10.0.0.9:1999?Name=Ann?Password=pw"), "minimize"}},
        {"empty nick",
         row("3/16"),
         {},
         "",
         {},
         {},
         {},
         JoinEnd::Started,
         {},
         0,
         {"clear", startOf(base, " 10.0.0.5:10480?Name="), "minimize"}},
        {"nick passed as it is",
         row("3/16"),
         {},
         "a\"b c\\?x&y",
         {},
         {},
         {},
         JoinEnd::Started,
         {},
         0,
         {"clear", startOf(base, " 10.0.0.5:10480?Name=a\"b c\\?x&y"), "minimize"}},
        {"port not a number",
         row("3/16", " ", "VEKTA 4", "1.0", "10.0.0.5:10x81"),
         {},
         "Player123",
         {},
         {},
         {},
         JoinEnd::BadPort,
         {"'10x81' is not a valid integer value"},
         0,
         {}},
        {"vekta4x.exe running blocks a base game",
         row("3/16"),
         {},
         "Player123",
         {},
         {},
         {"vekta4x.exe"},
         JoinEnd::GameRunning,
         {"Please exit the game before joining other server!"},
         0,
         {"clear"}},
        {"version 1.2",
         row("3/16", " ", "VEKTA 4", "1.2"),
         {},
         "Player123",
         {},
         {},
         {},
         JoinEnd::NotInstalled,
         {"You don't have VEKTA 4 1.2 installed.\r\nUnable to join."},
         0,
         {"clear"}},
        {"N/A row",
         JoinRow{" ", "N/A", "3/16", "10.0.0.5:10481", "VEKTA 4", "1.0"},
         {},
         "Player123",
         {},
         {},
         {},
         JoinEnd::NoRow,
         {},
         0,
         {}},
        {"no row selected", std::nullopt, {}, "Player123", {}, {}, {}, JoinEnd::NoRow, {}, 0, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedDialogs asked;
        GameLaunch join(installations, settings, asked, frontEnd());
        events.clear();
        running = c.running;
        for (DialogAnswer answer : c.answers)
            asked.setNextAnswer(answer);
        for (const auto &text : c.typed)
            asked.setNextPromptText(text);

        const JoinResult result = join.joinRow(c.selected, c.checkedAddress, c.nick);

        EXPECT_EQ(result.end, c.end);
        EXPECT_EQ(asked.texts(), c.messages);
        ASSERT_EQ(asked.prompts().size(), static_cast<std::size_t>(c.prompts));
        for (const auto &prompt : asked.prompts()) {
            EXPECT_EQ(prompt.caption, "Server join password");
            EXPECT_EQ(prompt.label, "Password:");
            EXPECT_EQ(prompt.initial, "");
        }
        EXPECT_EQ(events, c.events);
        EXPECT_TRUE(asked.fileRequests().empty());
    }
}

TEST_F(LaunchTest, MessagesCarryTheirKinds)
{
    dialogs.setNextAnswer(DialogAnswer::Yes);
    dialogs.setNextPromptText("pw");
    running = {"vekta4.exe"};
    launch.joinRow(row("16/16"), {}, "x");
    running.clear();
    launch.joinRow(row("3/16", " ", "VEKTA 4", "1.0", "h:p"), {}, "x");
    settings.WriteString("10", dir.file("gone.exe"));
    launch.joinRow(row("3/16"), {}, "x");
    ASSERT_EQ(dialogs.shown().size(), 4u);
    EXPECT_EQ(dialogs.shown()[0].kind, DialogKind::Information);
    EXPECT_EQ(dialogs.shown()[0].buttons, DialogButtons::YesNo);
    EXPECT_EQ(dialogs.shown()[1].kind, DialogKind::Warning);
    EXPECT_EQ(dialogs.shown()[2].kind, DialogKind::Error);
    EXPECT_EQ(dialogs.shown()[3].kind, DialogKind::Error);
    EXPECT_EQ(dialogs.shown()[3].text, kNotInstalled10);
}

TEST_F(LaunchTest, NoExecutableSetOpensTheOptionsMenu)
{
    TempDir empty;
    SettingsStore store(empty.file("settings.reg"));
    store.WriteString("MOD_EXE", base);
    GameInstallations none(store, dialogs);
    none.loadExecutablePaths();
    GameLaunch join(none, store, dialogs, frontEnd());

    EXPECT_EQ(join.joinRow(row("3/16"), {}, "x").end, JoinEnd::NoExecutableSet);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].kind, DialogKind::Confirmation);
    EXPECT_EQ(dialogs.shown()[0].text, "Please set the game executable in options !");
    EXPECT_EQ(events, std::vector<std::string>{"options"});
}

TEST_F(LaunchTest, AnEmptyRootOpensTheGamesSelection)
{
    settings.WriteString("VEKTA4 1.1", "");
    installations.setInstallRoot("/left/from/before");

    // Cancelled: the join ends with the message.
    EXPECT_EQ(launch.joinRow(row("3/16", " ", "VEKTA 4", "1.1"), {}, "x").end, JoinEnd::NotInstalled);
    ASSERT_EQ(dialogs.fileRequests().size(), 1u);
    EXPECT_EQ(dialogs.fileRequests()[0].filterName, "VEKTA4 1.1 Game executable");
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"You don't have VEKTA 4 1.1 installed.\r\nUnable to join."});

    // Chosen: the root and the keys are set and the game starts from the chosen path.
    events.clear();
    dialogs.setNextFileName(base);
    EXPECT_EQ(launch.joinRow(row("3/16", " ", "VEKTA 4", "1.1"), {}, "x").end, JoinEnd::Started);
    EXPECT_EQ(installations.InstallRoot(), root);
    EXPECT_EQ(settings.ReadString("VEKTA4 1.1", "?"), root);
    EXPECT_EQ(events.back(), "minimize");
}

TEST_F(LaunchTest, TheUnnamedValueIsTheRootOfOtherPairsWhenSet)
{
    settings.WriteString("", root);
    EXPECT_EQ(launch.joinRow(row("3/16", " ", "VEKTA 4", "1.2"), {}, "x").end, JoinEnd::ExecutableMissing);
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{kNotInstalled10});
}

TEST_F(LaunchTest, AnExecutableKeyThatNamesNoFileIsNotInstalled)
{
    TempDir other;
    std::filesystem::create_symlink(other.file("gone.exe"), other.file("dangling.exe"));
    const std::string longPath = other.path() + std::string(4000 - other.path().size(), 'x');
    struct Case {
        const char *key;
        std::string path;
        std::string variant;
        std::string message;
    };
    const Case cases[] = {
        {"10", other.file("missing.exe"), "VEKTA 4", kNotInstalled10},
        {"10", other.path(), "VEKTA 4", kNotInstalled10},
        {"10", other.file("dangling.exe"), "VEKTA 4", kNotInstalled10},
        {"10", longPath, "VEKTA 4", kNotInstalled10},
        {"10", "D:\\Games\\VEKTA 4\\Content\\System\\vekta4.exe", "VEKTA 4", kNotInstalled10},
        {"x", other.file("missing.exe"), "VEKTA 4X", "VEKTA4 Dravenholt is not installed!"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path.substr(0, 100));
        ScriptedDialogs asked;
        GameLaunch join(installations, settings, asked, frontEnd());
        settings.WriteString(c.key, c.path);
        events.clear();
        EXPECT_EQ(join.joinRow(row("3/16", " ", c.variant), {}, "x").end, JoinEnd::ExecutableMissing);
        EXPECT_EQ(asked.texts(), std::vector<std::string>{c.message});
        EXPECT_EQ(events, std::vector<std::string>{"clear"});
    }
}

TEST_F(LaunchTest, AModRowStartsTheModWhenItsExecutableIsSet)
{
    const std::string mod = root + "/Mods/KRM Mod.exe";
    writeWindowsProgram(mod);
    // Without the mod's executable the row is refused like any game that is not installed.
    EXPECT_EQ(launch.joinRow(row("3/16", " ", "KRM", "2.0"), {}, "x").end, JoinEnd::NotInstalled);
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"You don't have KRM 2.0 installed.\r\nUnable to join."});
    EXPECT_TRUE(dialogs.fileRequests().empty());

    settings.WriteString("MOD_EXE", mod);
    settings.WriteString("MOD_CONTENT", root);
    events.clear();
    EXPECT_EQ(launch.joinRow(row("3/16", " ", "KRM", "2.0"), {}, "x").end, JoinEnd::Started);
    // The folder part of the mod's root; the window stays as it is.
    EXPECT_EQ(events, (std::vector<std::string>{"clear", "start " + mod + "| 10.0.0.5:10480?Name=x|" + dir.path()}));

    settings.WriteString("MOD_EXE", mod + ".gone");
    EXPECT_EQ(launch.joinRow(row("3/16", " ", "KRM", "2.0"), {}, "x").end, JoinEnd::ExecutableMissing);
    EXPECT_EQ(dialogs.texts().back(), "VEKTA4 Mod is not installed!");
}

TEST_F(LaunchTest, AGameThatCannotBeStartedIsReportedAndTheWindowStays)
{
    startError = GameStartError::NoWine;
    GameLaunch join(installations, settings, dialogs, frontEnd());
    EXPECT_EQ(join.joinRow(row("3/16"), {}, "x").end, JoinEnd::StartFailed);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].kind, DialogKind::Error);
    EXPECT_NE(dialogs.shown()[0].text.find("Wine launcher"), std::string::npos);
    EXPECT_EQ(std::count(events.begin(), events.end(), "minimize"), 0);
}

TEST_F(LaunchTest, DirectConnectBuildsItsOwnCommandLine)
{
    struct Case {
        const char *what;
        std::string typed;
        int game;
        std::string password;
        std::string address;
        JoinEnd end;
        std::vector<std::string> messages;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {"blanks removed, port as typed",
         "10.0.0.5 : 10480 ",
         0,
         "",
         "10.0.0.5:10480",
         JoinEnd::Started,
         {},
         {"clear", startOf(base, "10.0.0.5:10480"), "minimize"}},
        {"password",
         "10.0.0.5:10480",
         1,
         "pass word",
         "10.0.0.5:10480",
         JoinEnd::Started,
         {},
         {"clear", startOf(base, "10.0.0.5:10480?Password=pass word"), "minimize"}},
        {"expansion", "h:1", 2, "", "h:1", JoinEnd::Started, {}, {"clear", startOf(expansion, "h:1"), "minimize"}},
        {"mod right after start-up",
         "h:1",
         3,
         "",
         "h:1",
         JoinEnd::NotInstalled,
         {"You don't have MOD  installed.\r\nUnable to join."},
         {"clear"}},
        {"empty address", "", 0, "", "", JoinEnd::Started, {}, {"clear", startOf(base, ""), "minimize"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedDialogs asked;
        GameLaunch join(installations, settings, asked, frontEnd());
        events.clear();
        std::string address = c.typed;
        EXPECT_EQ(join.directConnect(address, c.game, c.password).end, c.end);
        EXPECT_EQ(address, c.address);
        EXPECT_EQ(asked.texts(), c.messages);
        EXPECT_EQ(events, c.events);
    }
}

TEST_F(LaunchTest, DirectConnectFindsTheGameUnderItsRootInAnyLetterCase)
{
    TempDir other;
    const std::string upper = other.file("vekta/CONTENT/SYSTEM/VEKTA4.EXE");
    writeWindowsProgram(upper);
    settings.WriteString("VEKTA4 1.0", other.file("vekta"));
    std::string address = "h:1";
    EXPECT_EQ(launch.directConnect(address, 0, "").end, JoinEnd::Started);
    EXPECT_EQ(events[1], startOf(upper, "h:1"));

    // A root with no game under it.
    settings.WriteString("VEKTA4 1.0", other.path() + "empty");
    EXPECT_EQ(launch.directConnect(address, 0, "").end, JoinEnd::ExecutableMissing);
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{kNotInstalled10});
}

TEST_F(LaunchTest, DirectConnectRefusalsClearTheBoxesFirst)
{
    running = {"vekta4.exe"};
    std::string address = "h:1";
    EXPECT_EQ(launch.directConnect(address, 0, "").end, JoinEnd::GameRunning);
    EXPECT_EQ(events, std::vector<std::string>{"clear"});
    running.clear();

    // 1.1 with an empty root: the selection dialog; a path without "content" leaves the root empty.
    settings.WriteString("VEKTA4 1.1", "");
    dialogs.setNextFileName("/opt/vekta/System/vekta4.exe");
    EXPECT_EQ(launch.directConnect(address, 1, "").end, JoinEnd::NotInstalled);
    ASSERT_EQ(dialogs.fileRequests().size(), 1u);
    EXPECT_EQ(dialogs.fileRequests()[0].filterName, "VEKTA4 1.1 Game executable");
    EXPECT_EQ(dialogs.texts().back(), "You don't have VEKTA 4 1.1 installed.\r\nUnable to join.");
}

// The whole way to a fake game: a Windows program in a Wine prefix under folder names beyond Windows-1252, started
// by the Wine stand-in with the table join's command line.
TEST(GameLaunchStart, StartsTheFakeGameUnderTheWineStandIn)
{
    TempDir dir;
    const std::string wine = dir.file("fake-wine");
    writeFileAtomically(wine, "#!/bin/sh\n{ pwd; echo \"WINEPREFIX=${WINEPREFIX-unset}\"; "
                              "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; } > \"$0.part\"\n"
                              "mv \"$0.part\" \"$0.record\"\n");
    std::filesystem::permissions(wine, std::filesystem::perms::owner_all);
    ScopedEnvironment wineCommand("PELORIX_WINE", wine);
    ScopedEnvironment noPrefix("WINEPREFIX", std::nullopt);
    const std::string prefix = dir.file("Spiele/\xC3\x84rger/\xC5\x81\xC3\xB3\x64\xC5\xBA");
    const std::string game = prefix + "/drive_c/VEKTA 4/Content/System/vekta4.exe";
    writeWindowsProgram(game);

    SettingsStore settings(dir.file("settings.reg"));
    ScriptedDialogs dialogs;
    GameInstallations installations(settings, dialogs);
    dialogs.setNextFileName(game);
    ASSERT_TRUE(installations.selectExecutable(GameExecutable::Vekta410));
    JoinFrontEnd frontEnd;
    bool minimized = false;
    frontEnd.showOptionsMenu = [] {};
    frontEnd.clearJoinBoxes = [] {};
    frontEnd.minimize = [&minimized] { minimized = true; };
    frontEnd.isProcessRunning = [](const std::string &) { return false; };
    frontEnd.start = [](const std::string &exe, const std::string &line, const std::string &folder) {
        return startGame(planGameStart(exe, line, folder));
    };
    GameLaunch launch(installations, settings, dialogs, frontEnd);

    const JoinResult result =
        launch.joinRow(JoinRow{" ", "Alpha", "3/16", "127.0.0.1:10481", "VEKTA 4", "1.0"}, {}, "J\xE9r\xF4me");
    ASSERT_EQ(result.end, JoinEnd::Started);
    EXPECT_TRUE(minimized);
    std::string record;
    for (int i = 0; i < 1000 && !readWholeFile(wine + ".record", record); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(record, std::filesystem::canonical(folderPartOf(game)).string() + "\nWINEPREFIX=" + prefix + "\n[" +
                          game + "]\n[127.0.0.1:10480?Name=J\xC3\xA9r\xC3\xB4me]\n");
}

} // namespace
