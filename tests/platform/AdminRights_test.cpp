#include "platform/AdminRights.h"

#include "platform/AtomicFile.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
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
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_FALSE(hasAdminRights(dir.path()));
}
