#include "platform/ShellOpen.h"

#include "platform/AtomicFile.h"
#include "support/RecordingScript.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace pelorix;
using pelorix::test::RecordingScript;
using pelorix::test::ScopedEnvironment;
using pelorix::test::TempDir;

TEST(ShellOpen, SplitsParametersByTheWindowsRules)
{
    struct Case {
        std::string text;
        std::vector<std::string> arguments;
    };
    const Case cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"+connect 1.2.3.4:10480", {"+connect", "1.2.3.4:10480"}},
        {"  a\t\tb  ", {"a", "b"}},
        {"\"D:\\Games\\VEKTA 4\\x.exe\" -log", {"D:\\Games\\VEKTA 4\\x.exe", "-log"}},
        {"+name \"Ann Lee\" +password pw", {"+name", "Ann Lee", "+password", "pw"}},
        {"a\"b c\"d", {"ab cd"}},
        {"\"\"", {""}},
        {"a \"\" b", {"a", "", "b"}},
        // Backslashes are literal unless a quote follows them.
        {"C:\\dir\\ x\\\\y", {"C:\\dir\\", "x\\\\y"}},
        // 2n backslashes before a quote: n backslashes, the quote groups.
        {"\"a\\\\\" b", {"a\\", "b"}},
        {"a\\\\\\\\\"b c\"", {"a\\\\b c"}},
        // 2n+1 backslashes before a quote: n backslashes and a literal quote.
        {"a\\\"b", {"a\"b"}},
        {"\"a\\\\\\\"b\" c", {"a\\\"b", "c"}},
        // A doubled quote inside a group is a literal quote.
        {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
        // An unclosed group runs to the end.
        {"\"open group  ", {"open group  "}},
        {"\x80\xE9", {"\x80\xE9"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(splitWindowsCommandLine(c.text), c.arguments) << "text: " << c.text;
}

TEST(ShellOpen, StartsANativeProgramInTheFolderWithSplitArguments)
{
    TempDir dir;
    TempDir work;
    const RecordingScript program(dir.path(), "game.sh");

    ASSERT_TRUE(ShellOpen(program.path(), "+connect 127.0.0.1:10480 +name \"Ann Lee\"", work.path()));

    const std::string folder = std::filesystem::canonical(work.path()).string();
    EXPECT_EQ(program.waitForRecord(), folder + "\n[+connect]\n[127.0.0.1:10480]\n[+name]\n[Ann Lee]\n");
}

TEST(ShellOpen, ConvertsTheProgramsTextToUtf8)
{
    TempDir dir;
    const RecordingScript program(dir.path(), "game.sh");

    ASSERT_TRUE(ShellOpen(program.path(), "+name J\xE9r\xF4me", dir.path()));

    EXPECT_NE(program.waitForRecord().find("[+name]\n[J\xC3\xA9r\xC3\xB4me]\n"), std::string::npos);
}

TEST(ShellOpen, FindsARelativeFileInTheFolder)
{
    TempDir dir;
    const RecordingScript program(dir.path(), "install.sh");

    ASSERT_TRUE(ShellOpen("install.sh", "", dir.path()));

    EXPECT_NE(program.waitForRecord().find("\n"), std::string::npos);
}

TEST(ShellOpen, RunsAWindowsProgramThroughWine)
{
    TempDir dir;
    const RecordingScript wine(dir.path(), "fake-wine");
    ScopedEnvironment variable("PELORIX_WINE", wine.path());
    const std::string game = dir.file("VEKTA4.EXE");
    writeFileAtomically(game, std::string("MZ\x90\0\3\0\0\0", 8) + "This program cannot be run in DOS mode.");

    ASSERT_TRUE(ShellOpen(game, "+connect 127.0.0.1:10480", dir.path()));

    const std::string folder = std::filesystem::canonical(dir.path()).string();
    EXPECT_EQ(wine.waitForRecord(), folder + "\n[" + game + "]\n[+connect]\n[127.0.0.1:10480]\n");
}

TEST(ShellOpen, OpensWebAddressesAndDocumentsInTheBrowser)
{
    TempDir dir;
    const RecordingScript browser(dir.path(), "fake-browser");
    ScopedEnvironment variable("PELORIX_BROWSER", browser.path());

    ASSERT_TRUE(ShellOpen("http://127.0.0.1:9/home", "ignored", ""));
    EXPECT_NE(browser.waitForRecord().find("\n[http://127.0.0.1:9/home]\n"), std::string::npos);
    browser.clearRecord();

    writeFileAtomically(dir.file("readme.txt"), "text");
    ASSERT_TRUE(ShellOpen(dir.file("readme.txt"), "", ""));
    EXPECT_NE(browser.waitForRecord().find("\n[" + dir.file("readme.txt") + "]\n"), std::string::npos);
}

TEST(ShellOpen, ReportsWhatCannotBeStarted)
{
    TempDir dir;
    EXPECT_FALSE(ShellOpen("", "", ""));
    EXPECT_FALSE(ShellOpen(dir.file("missing.exe"), "", ""));
    EXPECT_FALSE(ShellOpen(dir.path(), "", "")) << "a folder is not a program";

    ScopedEnvironment variable("PELORIX_WINE", dir.file("no-such-wine"));
    writeFileAtomically(dir.file("game.exe"), "MZ");
    EXPECT_FALSE(ShellOpen(dir.file("game.exe"), "", ""));

    const RecordingScript program(dir.path(), "game.sh");
    EXPECT_FALSE(ShellOpen(program.path(), "", dir.file("missing-folder")));
}

TEST(ShellOpen, StartWindowsProgramRunsNothingButTheWineLauncher)
{
    TempDir dir;
    const RecordingScript wine(dir.path(), "fake-wine");
    ScopedEnvironment variable("PELORIX_WINE", wine.path());
    // Were the file itself run, its own record would appear.
    const RecordingScript program(dir.path(), "setup.exe");

    ASSERT_TRUE(StartWindowsProgram(program.path()));
    EXPECT_EQ(wine.waitForRecord(), std::filesystem::current_path().string() + "\n[" + program.path() + "]\n");
    EXPECT_FALSE(program.ran());

    EXPECT_FALSE(StartWindowsProgram(""));
    ScopedEnvironment missing("PELORIX_WINE", dir.file("no-such-wine"));
    EXPECT_FALSE(StartWindowsProgram(program.path()));
}

namespace
{

// A stand-in for Wine or a native game: records its folder, WINEPREFIX and its arguments, one a line.
std::string writeRecorder(const TempDir &dir, const std::string &name)
{
    const std::string path = dir.file(name);
    writeFileAtomically(path, "#!/bin/sh\n{ pwd; echo \"WINEPREFIX=${WINEPREFIX-unset}\"; "
                              "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; } > \"$0.part\"\n"
                              "mv \"$0.part\" \"$0.record\"\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

std::string waitForFile(const std::string &path)
{
    std::string text;
    for (int i = 0; i < 1000 && !readWholeFile(path, text); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return text;
}

void writeWindowsProgram(const std::string &path)
{
    writeFileAtomically(path, std::string("MZ\x90\0\3\0\0\0", 8));
}

} // namespace

TEST(GameStart, PlansWineWithThePrefixAboveDriveCUnlessOneIsSet)
{
    TempDir dir;
    const std::string wine = writeRecorder(dir, "fake-wine");
    ScopedEnvironment variable("PELORIX_WINE", wine);
    // A folder name in the file system's UTF-8 that Windows-1252 cannot hold.
    const std::string prefix = dir.file("Spiele/\xC3\x84rger/\xC5\x81\xC3\xB3\x64\xC5\xBA");
    const std::string system = prefix + "/drive_c/Games/VEKTA 4/Content/System/";
    std::filesystem::create_directories(system);
    writeWindowsProgram(system + "vekta4.exe");

    struct Case {
        std::optional<std::string> environment;
        std::optional<std::string> planned;
    };
    for (const Case &c : {Case{std::nullopt, prefix}, Case{"", prefix}, Case{"/elsewhere", std::nullopt}}) {
        ScopedEnvironment winePrefix("WINEPREFIX", c.environment);
        const GameStart plan = planGameStart(system + "vekta4.exe", " 127.0.0.1:10480?Name=J\xE9r\xF4me", system);
        EXPECT_EQ(plan.error, GameStartError::None);
        EXPECT_EQ(plan.argv,
                  (std::vector<std::string>{wine, system + "vekta4.exe", "127.0.0.1:10480?Name=J\xC3\xA9r\xC3\xB4me"}));
        EXPECT_EQ(plan.folder, system);
        EXPECT_EQ(plan.winePrefix, c.planned);
    }

    ScopedEnvironment noPrefix("WINEPREFIX", std::nullopt);
    const GameStart started = startGame(planGameStart(system + "vekta4.exe", " a \"b c\" d?x&y", system));
    ASSERT_EQ(started.error, GameStartError::None);
    EXPECT_EQ(waitForFile(wine + ".record"), std::filesystem::canonical(system).string() + "\nWINEPREFIX=" + prefix +
                                                 "\n[" + system + "vekta4.exe]\n[a]\n[b c]\n[d?x&y]\n");
}

TEST(GameStart, RunsANativeGameDirectlyWithoutAShell)
{
    TempDir dir;
    const std::string game = writeRecorder(dir, "vekta4.sh");
    ScopedEnvironment noPrefix("WINEPREFIX", std::nullopt);
    // Text a shell would act on reaches the game as it is.
    const GameStart started = startGame(planGameStart(game, " 1.2.3.4:10480?Name=$(touch x);`id`|&*", dir.path()));
    ASSERT_EQ(started.error, GameStartError::None);
    EXPECT_EQ(started.argv.front(), game);
    EXPECT_EQ(waitForFile(game + ".record"), std::filesystem::canonical(dir.path()).string() +
                                                 "\nWINEPREFIX=unset\n[1.2.3.4:10480?Name=$(touch]\n[x);`id`|&*]\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("x")));
}

TEST(GameStart, SaysWhyAGameCannotBeStarted)
{
    TempDir dir;
    writeWindowsProgram(dir.file("game.exe"));
    writeFileAtomically(dir.file("notes.txt"), "text");
    writeWindowsProgram(dir.file("locked.exe"));
    std::filesystem::permissions(dir.file("locked.exe"), std::filesystem::perms::none);
    std::filesystem::create_symlink(dir.file("gone.exe"), dir.file("dangling.exe"));
    const std::string longPath = dir.path() + std::string(4000 - dir.path().size(), 'x');

    ScopedEnvironment missingWine("PELORIX_WINE", dir.file("no-such-wine"));
    struct Case {
        std::string executable;
        std::string folder;
        GameStartError error;
    };
    const bool root = ::geteuid() == 0;
    const Case cases[] = {
        {"", "", GameStartError::MissingFile},
        {dir.file("missing.exe"), "", GameStartError::MissingFile},
        {dir.path(), "", GameStartError::MissingFile},
        {dir.file("dangling.exe"), "", GameStartError::MissingFile},
        {longPath, "", GameStartError::MissingFile},
        {dir.file("locked.exe"), "", root ? GameStartError::NoWine : GameStartError::UnreadableFile},
        {dir.file("game.exe"), dir.file("no-folder"), GameStartError::MissingFolder},
        {dir.file("game.exe"), dir.path(), GameStartError::NoWine},
        {dir.file("notes.txt"), dir.path(), GameStartError::NotExecutable},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.executable.substr(0, 200));
        const GameStart plan = planGameStart(c.executable, " x", c.folder);
        EXPECT_EQ(plan.error, c.error);
        EXPECT_TRUE(plan.argv.empty());
        EXPECT_EQ(startGame(plan).error, c.error) << "a refused plan is never started";
    }
    EXPECT_EQ(planGameStart(dir.file("game.exe"), "", dir.path()).subject, dir.file("no-such-wine"));
}
