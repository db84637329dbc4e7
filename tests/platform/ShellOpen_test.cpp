#include "platform/ShellOpen.h"

#include "platform/AtomicFile.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace pelorix;
using pelorix::test::TempDir;

TEST(ShellOpen, SplitsParametersByTheWindowsRules)
{
    struct Case
    {
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

namespace {

// A script that records its working folder and arguments, one per line in brackets, into `record`.
std::string writeRecorder(const TempDir &dir, const std::string &name, const std::string &record)
{
    const std::string path = dir.file(name);
    writeFileAtomically(path, "#!/bin/sh\n"
                              "{ pwd; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; } > '"
                                  + record + ".part'\n"
                                  "mv '" + record + ".part' '" + record + "'\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

std::string waitForFile(const std::string &path)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string text;
    while (std::chrono::steady_clock::now() < end) {
        if (readWholeFile(path, text))
            return text;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return "(never written)";
}

class EnvironmentVariable
{
public:
    EnvironmentVariable(const char *name, const std::string &value)
        : m_name(name)
    {
        ::setenv(name, value.c_str(), 1);
    }
    ~EnvironmentVariable() { ::unsetenv(m_name); }

private:
    const char *m_name;
};

} // namespace

TEST(ShellOpen, StartsANativeProgramInTheFolderWithSplitArguments)
{
    TempDir dir;
    TempDir work;
    const std::string program = writeRecorder(dir, "game.sh", dir.file("record"));

    ASSERT_TRUE(ShellOpen(program, "+connect 127.0.0.1:10480 +name \"Ann Lee\"", work.path()));

    const std::string folder = std::filesystem::canonical(work.path()).string();
    EXPECT_EQ(waitForFile(dir.file("record")), folder + "\n[+connect]\n[127.0.0.1:10480]\n[+name]\n[Ann Lee]\n");
}

TEST(ShellOpen, ConvertsTheProgramsTextToUtf8)
{
    TempDir dir;
    const std::string program = writeRecorder(dir, "game.sh", dir.file("record"));

    ASSERT_TRUE(ShellOpen(program, "+name J\xE9r\xF4me", dir.path()));

    EXPECT_NE(waitForFile(dir.file("record")).find("[+name]\n[J\xC3\xA9r\xC3\xB4me]\n"), std::string::npos);
}

TEST(ShellOpen, FindsARelativeFileInTheFolder)
{
    TempDir dir;
    writeRecorder(dir, "install.sh", dir.file("record"));

    ASSERT_TRUE(ShellOpen("install.sh", "", dir.path()));

    EXPECT_NE(waitForFile(dir.file("record")).find("\n"), std::string::npos);
}

TEST(ShellOpen, RunsAWindowsProgramThroughWine)
{
    TempDir dir;
    const std::string wine = writeRecorder(dir, "fake-wine", dir.file("record"));
    EnvironmentVariable variable("PELORIX_WINE", wine);
    const std::string game = dir.file("VEKTA4.EXE");
    writeFileAtomically(game, std::string("MZ\x90\0\3\0\0\0", 8) + "This program cannot be run in DOS mode.");

    ASSERT_TRUE(ShellOpen(game, "+connect 127.0.0.1:10480", dir.path()));

    const std::string folder = std::filesystem::canonical(dir.path()).string();
    EXPECT_EQ(waitForFile(dir.file("record")), folder + "\n[" + game + "]\n[+connect]\n[127.0.0.1:10480]\n");
}

TEST(ShellOpen, OpensWebAddressesAndDocumentsInTheBrowser)
{
    TempDir dir;
    const std::string browser = writeRecorder(dir, "fake-browser", dir.file("record"));
    EnvironmentVariable variable("PELORIX_BROWSER", browser);

    ASSERT_TRUE(ShellOpen("http://127.0.0.1:9/home", "ignored", ""));
    EXPECT_NE(waitForFile(dir.file("record")).find("\n[http://127.0.0.1:9/home]\n"), std::string::npos);
    std::filesystem::remove(dir.file("record"));

    writeFileAtomically(dir.file("readme.txt"), "text");
    ASSERT_TRUE(ShellOpen(dir.file("readme.txt"), "", ""));
    EXPECT_NE(waitForFile(dir.file("record")).find("\n[" + dir.file("readme.txt") + "]\n"), std::string::npos);
}

TEST(ShellOpen, ReportsWhatCannotBeStarted)
{
    TempDir dir;
    EXPECT_FALSE(ShellOpen("", "", ""));
    EXPECT_FALSE(ShellOpen(dir.file("missing.exe"), "", ""));
    EXPECT_FALSE(ShellOpen(dir.path(), "", "")) << "a folder is not a program";

    EnvironmentVariable variable("PELORIX_WINE", dir.file("no-such-wine"));
    writeFileAtomically(dir.file("game.exe"), "MZ");
    EXPECT_FALSE(ShellOpen(dir.file("game.exe"), "", ""));

    const std::string program = writeRecorder(dir, "game.sh", dir.file("record"));
    EXPECT_FALSE(ShellOpen(program, "", dir.file("missing-folder")));
}
