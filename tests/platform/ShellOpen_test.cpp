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
