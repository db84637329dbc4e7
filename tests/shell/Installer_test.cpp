#include "shell/Installer.h"

#include "platform/AtomicFile.h"
#include "support/RecordingScript.h"
#include "support/ScriptedDialogs.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace pelorix;
using pelorix::test::RecordingScript;
using pelorix::test::ScopedEnvironment;
using pelorix::test::ScriptedDialogs;
using pelorix::test::TempDir;

namespace
{

bool exists(const std::string &path)
{
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// Long enough for a launcher that was started to have written its record.
constexpr std::chrono::milliseconds kNoRunWait{300};

} // namespace

TEST(Installer, AWindowsProgramIsStartedThroughTheWineLauncher)
{
    TempDir dir;
    const RecordingScript wine(dir.path(), "fake-wine");
    ScopedEnvironment variable("PELORIX_WINE", wine.path());
    const std::string installer = dir.file("install.exe");
    ASSERT_TRUE(writeFileAtomically(installer, std::string("MZ\x90\0\3\0\0\0", 8) + "setup"));
    ScriptedDialogs dialogs;

    EXPECT_TRUE(StartDownloadedInstaller(installer, dialogs));

    EXPECT_EQ(wine.waitForRecord(), std::filesystem::current_path().string() + "\n[" + installer + "]\n");
    EXPECT_TRUE(exists(installer));
    EXPECT_TRUE(dialogs.shown().empty());
    std::error_code ec;
    EXPECT_EQ(std::filesystem::status(installer, ec).permissions() & std::filesystem::perms::owner_exec,
              std::filesystem::perms::none)
        << "the installer is not made executable";
}

TEST(Installer, AnythingElseIsDeletedNotStartedAndReported)
{
    TempDir dir;
    const RecordingScript wine(dir.path(), "fake-wine");
    ScopedEnvironment variable("PELORIX_WINE", wine.path());
    const std::string installer = dir.file("install.exe");
    const std::string windowsProgram = dir.file("elsewhere.exe");
    ASSERT_TRUE(writeFileAtomically(windowsProgram, "MZ elsewhere"));
    // Run directly, this one would leave its own record.
    const RecordingScript script(dir.path(), "script-source");
    std::string scriptText;
    ASSERT_TRUE(readWholeFile(script.path(), scriptText));

    struct Case {
        const char *what;
        std::string content;
        bool symlink;
    };
    const Case cases[] = {
        {"a Linux program", std::string("\177ELF\2\1\1\0\0\0\0\0\0\0\0\0", 16), false},
        {"a script", scriptText, false},
        {"a text", "<html><title>Service Unavailable</title></html>", false},
        {"an empty file", "", false},
        {"half the mark", "M", false},
        {"the mark in small letters", "mz program", false},
        {"a link to a Windows program", "", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.symlink) {
            std::filesystem::create_symlink(windowsProgram, installer);
        } else {
            ASSERT_TRUE(writeFileAtomically(installer, c.content));
            std::filesystem::permissions(installer, std::filesystem::perms::owner_all);
        }
        ScriptedDialogs dialogs;

        EXPECT_FALSE(StartDownloadedInstaller(installer, dialogs));

        EXPECT_FALSE(exists(installer));
        ASSERT_EQ(dialogs.shown().size(), 1u);
        EXPECT_EQ(dialogs.shown()[0].kind, DialogKind::Error);
        EXPECT_EQ(dialogs.shown()[0].text, "The downloaded installer is not a Windows program. It was deleted and "
                                           "not started.\r\nfile: " +
                                               installer);
        EXPECT_EQ(wine.waitForRecord(kNoRunWait), "(never run)");
        EXPECT_FALSE(script.ran());
    }
    EXPECT_TRUE(exists(windowsProgram)) << "only the link goes";
}

TEST(Installer, AMissingDownloadFailsWithoutAMessage)
{
    TempDir dir;
    const RecordingScript wine(dir.path(), "fake-wine");
    ScopedEnvironment variable("PELORIX_WINE", wine.path());
    ScriptedDialogs dialogs;

    EXPECT_FALSE(StartDownloadedInstaller(dir.file("install.exe"), dialogs));

    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_EQ(wine.waitForRecord(kNoRunWait), "(never run)");
}

TEST(Installer, TheStarterIsOnlyAskedForAWindowsProgram)
{
    TempDir dir;
    const std::string installer = dir.file("install.exe");
    std::vector<std::string> started;
    const WindowsProgramStarter recorder = [&](const std::string &path) {
        started.push_back(path);
        return false;
    };
    ScriptedDialogs dialogs;

    ASSERT_TRUE(writeFileAtomically(installer, "#!/bin/sh\n"));
    EXPECT_FALSE(StartDownloadedInstaller(installer, dialogs, recorder));
    EXPECT_TRUE(started.empty());

    ASSERT_TRUE(writeFileAtomically(installer, "MZ"));
    EXPECT_FALSE(StartDownloadedInstaller(installer, dialogs, recorder)) << "the starter's failure is passed on";
    EXPECT_EQ(started, std::vector<std::string>{installer});
    EXPECT_EQ(dialogs.shown().size(), 1u) << "a failed start of a Windows program is not a refusal";
}
