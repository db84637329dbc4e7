#include "platform/AdminRights.h"

#include "platform/AtomicFile.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace pelorix;
using pelorix::test::TempDir;

TEST(AdminRights, AWritableFolderPassesAndKeepsNoScratchFile)
{
    TempDir dir;
    EXPECT_TRUE(hasAdminRights(dir.path()));
    EXPECT_TRUE(hasAdminRights(dir.path().substr(0, dir.path().size() - 1))) << "without the final slash";
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(AdminRights, AFolderThatCannotBeWrittenFails)
{
    // Root ignores permission bits, so the cases that fail for everyone are paths that cannot hold a file.
    TempDir dir;
    writeFileAtomically(dir.file("plain-file"), "x");
    const std::string cases[] = {"", dir.file("missing/"), dir.file("plain-file"), dir.file("plain-file/")};
    for (const auto &folder : cases)
        EXPECT_FALSE(hasAdminRights(folder)) << folder;
}

TEST(AdminRights, AReadOnlyFolderFailsForAnOrdinaryUser)
{
    TempDir dir;
    namespace fs = std::filesystem;
    const std::string folder = dir.file("program");
    fs::create_directory(folder);
    // Everyone may look into the folders, nobody may write into the program folder.
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    // Root ignores permission bits: then the check runs in a child that has become the user "nobody".
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        ::_exit(hasAdminRights(folder) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the check passed; 3: could not become an ordinary user";
    EXPECT_TRUE(fs::is_empty(folder));
}
