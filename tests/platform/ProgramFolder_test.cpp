#include "platform/ProgramFolder.h"

#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace pelorix
{
namespace
{

using test::TempDir;
using Kind = ProgramLocation::Kind;

// Copies laid out as they are found on a machine: an installed one under usr/, one whose prefix lacks
// share/pelorix, a build tree, a portable copy in a folder of its own, and one installed under a prefix
// whose share/pelorix is a file.
class ProgramFolderTest : public ::testing::Test
{
  protected:
    ProgramFolderTest()
    {
        for (const char *folder : {"usr/bin", "usr/share/pelorix", "opt/bare/bin", "build/src", "portable",
                                   "usr/libexec", "odd/bin", "odd/share"})
            std::filesystem::create_directories(root.file(folder));
        std::ofstream(root.file("odd/share/pelorix")) << "not a folder";
    }
    TempDir root;
};

TEST_F(ProgramFolderTest, ChoosesTheFolderByHowTheCopyWasPutOnTheMachine)
{
    const std::string shared = root.file("usr/share/pelorix/");
    const std::string installed = root.file("usr/bin/pelorix");
    const struct {
        const char *name;
        std::string executable;
        ProgramEnvironment environment;
        Kind kind;
        std::string folder;
        std::string sharedFolder;
    } cases[] = {
        {"installed: the data home", installed, {"", "/data", "/home/ann"}, Kind::Installed, "/data/pelorix/", shared},
        {"installed: a data home with a slash",
         installed,
         {"", "/data/", "/home/ann"},
         Kind::Installed,
         "/data/pelorix/",
         shared},
        {"installed: no data home",
         installed,
         {"", "", "/home/ann"},
         Kind::Installed,
         "/home/ann/.local/share/pelorix/",
         shared},
        {"installed: a relative data home is ignored",
         installed,
         {"", "data", "/home/ann/"},
         Kind::Installed,
         "/home/ann/.local/share/pelorix/",
         shared},
        {"installed: PELORIX_HOME first",
         installed,
         {"/games/pelorix", "/data", "/home/ann"},
         Kind::Home,
         "/games/pelorix/",
         shared},
        {"installed: no home at all", installed, {"", "", ""}, Kind::Portable, root.file("usr/bin/"), shared},
        {"bin without share/pelorix",
         root.file("opt/bare/bin/pelorix"),
         {"", "/data", "/home/ann"},
         Kind::Portable,
         root.file("opt/bare/bin/"),
         ""},
        {"share/pelorix is a file",
         root.file("odd/bin/pelorix"),
         {"", "/data", "/home/ann"},
         Kind::Portable,
         root.file("odd/bin/"),
         ""},
        {"beside share/pelorix but not in bin",
         root.file("usr/libexec/pelorix"),
         {"", "/data", "/home/ann"},
         Kind::Portable,
         root.file("usr/libexec/"),
         ""},
        {"build tree",
         root.file("build/src/pelorix"),
         {"", "/data", "/home/ann"},
         Kind::Portable,
         root.file("build/src/"),
         ""},
        {"build tree: PELORIX_HOME",
         root.file("build/src/pelorix"),
         {"/demo", "", "/home/ann"},
         Kind::Home,
         "/demo/",
         ""},
        {"portable copy",
         root.file("portable/pelorix-cli"),
         {"", "", "/home/ann"},
         Kind::Portable,
         root.file("portable/"),
         ""},
    };
    for (const auto &c : cases) {
        const ProgramLocation location = locateProgram(c.executable, c.environment);
        EXPECT_EQ(location.kind, c.kind) << c.name;
        EXPECT_EQ(location.folder, c.folder) << c.name;
        EXPECT_EQ(location.sharedFolder, c.sharedFolder) << c.name;
    }
}

TEST_F(ProgramFolderTest, AnInstalledCopyIsKnownWhateverThePrefixAndItsRights)
{
    std::filesystem::create_directories(root.file("some/other prefix/bin"));
    std::filesystem::create_directories(root.file("some/other prefix/share/pelorix"));
    // Not writable: the installed copy must not depend on the rights on its own folder.
    std::filesystem::permissions(root.file("some/other prefix/bin"),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const ProgramLocation location =
        locateProgram(root.file("some/other prefix/bin/pelorix"), {"", "/data", "/home/ann"});
    std::filesystem::permissions(root.file("some/other prefix/bin"), std::filesystem::perms::owner_all);
    EXPECT_EQ(location.kind, Kind::Installed);
    EXPECT_EQ(location.folder, "/data/pelorix/");
    EXPECT_EQ(location.sharedFolder, root.file("some/other prefix/share/pelorix/"));
}

TEST(ProgramFolder, ARunFromTheBuildTreeKeepsItsFilesBesideTheExecutable)
{
    // This test's own executable lies in the build tree: not installed, so without PELORIX_HOME its
    // folder is the program folder, and nothing is created elsewhere.
    const std::string executable = ExecutablePath();
    ASSERT_FALSE(executable.empty());
    ProgramEnvironment environment = currentProgramEnvironment();
    environment.pelorixHome.clear();
    const ProgramLocation location = locateProgram(executable, environment);
    EXPECT_EQ(location.kind, Kind::Portable);
    EXPECT_EQ(location.folder, std::filesystem::path(executable).parent_path().string() + "/");
    EXPECT_EQ(ExecutableFileName(), std::filesystem::path(executable).filename().string());
}

} // namespace
} // namespace pelorix
