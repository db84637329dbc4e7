#include "launch/Installations.h"

#include "core/SettingsStore.h"
#include "support/ScriptedDialogs.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

using namespace pelorix;
using pelorix::test::ScriptedDialogs;
using pelorix::test::TempDir;

TEST(Installations, InstallRootIsEverythingBeforeTheFolderHoldingContent)
{
    struct Case {
        std::string path;
        std::string root;
    };
    const Case cases[] = {
        {"D:\\Games\\VEKTA 4\\Content\\System\\vekta4.exe", "D:\\Games\\VEKTA 4"},
        {"D:\\Games\\VEKTA 4\\ContentExpansion\\System\\vekta4x.exe", "D:\\Games\\VEKTA 4"},
        {"C:\\content\\VEKTA\\Content\\System\\vekta4.exe", "C:"},
        {"C:\\MyContent\\System\\vekta4.exe", "C:\\M"},
        {"C:\\Games\\System\\vekta4.exe", ""},
        {"/home/ann/.wine/drive_c/Games/VEKTA 4/CONTENT/System/vekta4.exe", "/home/ann/.wine/drive_c/Games/VEKTA 4"},
        {"/Spiele/\xC3\x84rger/\xC5\x81\xC3\xB3\x64\xC5\xBA/Content/System/vekta4.exe",
         "/Spiele/\xC3\x84rger/\xC5\x81\xC3\xB3\x64\xC5\xBA"},
        {"content/System/vekta4.exe", ""},
        {"/content/System/vekta4.exe", ""},
        {"a/content", "a"},
        {"", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(installRootOf(c.path), c.root) << c.path;
}

TEST(Installations, FolderPartEndsAtTheLastSeparator)
{
    EXPECT_EQ(folderPartOf("/games/VEKTA 4/Content/System/vekta4.exe"), "/games/VEKTA 4/Content/System/");
    EXPECT_EQ(folderPartOf("D:\\Games\\VEKTA 4"), "D:\\Games\\");
    EXPECT_EQ(folderPartOf("vekta4.exe"), "");
}

class SelectionTest : public ::testing::Test
{
  protected:
    TempDir dir;
    SettingsStore settings{dir.file("settings.reg")};
    ScriptedDialogs dialogs;
    GameInstallations installations{settings, dialogs};

    std::vector<std::pair<std::string, std::string>> storedValues() const
    {
        std::vector<std::pair<std::string, std::string>> values;
        for (const auto &entry : settings.entries())
            values.emplace_back(entry.name, entry.text);
        return values;
    }
};

TEST_F(SelectionTest, EachSelectionWritesItsTwoKeysInItsOrder)
{
    // A path in the file system's UTF-8, kept as its bytes.
    const std::string root = "/Spiele/\xC3\x84rger/\xC5\x81\xC3\xB3\x64\xC5\xBA";
    struct Case {
        GameExecutable game;
        std::string path;
        std::string filterName, filterPattern, proposed;
        std::vector<std::pair<std::string, std::string>> written;
    };
    const std::string base = root + "/Content/System/vekta4.exe";
    const std::string expansion = root + "/ContentExpansion/System/vekta4x.exe";
    const std::string mod = root + "/Content/System/KRM Mod.exe";
    const Case cases[] = {
        {GameExecutable::Vekta410,
         base,
         "VEKTA4 1.0 Game executable",
         "vekta4.exe",
         "vekta4.exe",
         {{"VEKTA4 1.0", root}, {"10", base}}},
        {GameExecutable::Vekta411,
         base,
         "VEKTA4 1.1 Game executable",
         "vekta4.exe",
         "vekta4.exe",
         {{"VEKTA4 1.1", root}, {"11", base}}},
        {GameExecutable::Vekta4Dvh,
         expansion,
         "VEKTA4 DVH Game executable",
         "vekta4x.exe",
         "vekta4x.exe",
         {{"x", expansion}, {"VEKTA4X 1.0", root}}},
        {GameExecutable::Mod,
         mod,
         "VEKTA4 MOD Game executable",
         "*.exe",
         "KRM Mod.exe",
         {{"MOD_CONTENT", root}, {"MOD_EXE", mod}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.filterName);
        TempDir own;
        SettingsStore store(own.file("settings.reg"));
        ScriptedDialogs asked;
        GameInstallations games(store, asked);
        asked.setNextFileName(c.path);

        ASSERT_TRUE(games.selectExecutable(c.game));

        ASSERT_EQ(asked.fileRequests().size(), 1u);
        const FileDialogRequest &request = asked.fileRequests()[0];
        EXPECT_EQ(request.title, "Main game executable");
        EXPECT_EQ(request.filterName, c.filterName);
        EXPECT_EQ(request.filterPattern, c.filterPattern);
        EXPECT_EQ(request.defaultFileName, c.proposed);
        EXPECT_TRUE(request.systemPath);
        std::vector<std::pair<std::string, std::string>> values;
        for (const auto &entry : store.entries())
            values.emplace_back(entry.name, entry.text);
        EXPECT_EQ(values, c.written);
        EXPECT_EQ(games.InstallRoot(), root);
        // The mod's path is not one of the three the join's first test looks at.
        const std::array<std::string, 3> expected = {store.ReadString("10", ""), store.ReadString("11", ""),
                                                     store.ReadString("x", "")};
        EXPECT_EQ(games.ExecutablePaths(), expected);
        EXPECT_EQ((games.ExecutablePaths() == std::array<std::string, 3>{}), c.game == GameExecutable::Mod);
    }
}

TEST_F(SelectionTest, APathWithoutContentStoresAnEmptyRoot)
{
    dialogs.setNextFileName("/opt/vekta/System/vekta4.exe");
    installations.setInstallRoot("/earlier");
    ASSERT_TRUE(installations.selectExecutable(GameExecutable::Vekta410));
    EXPECT_EQ(storedValues(), (std::vector<std::pair<std::string, std::string>>{
                                  {"VEKTA4 1.0", ""}, {"10", "/opt/vekta/System/vekta4.exe"}}));
    EXPECT_EQ(installations.InstallRoot(), "");
}

TEST_F(SelectionTest, CancellingChangesNothing)
{
    settings.WriteString("10", "/games/VEKTA 4/Content/System/vekta4.exe");
    installations.loadExecutablePaths();
    installations.setInstallRoot("/games/VEKTA 4");
    const auto before = storedValues();
    for (GameExecutable game :
         {GameExecutable::Vekta410, GameExecutable::Vekta411, GameExecutable::Vekta4Dvh, GameExecutable::Mod}) {
        dialogs.setNextFileName(std::nullopt);
        EXPECT_FALSE(installations.selectExecutable(game));
    }
    EXPECT_EQ(storedValues(), before);
    EXPECT_EQ(installations.ExecutablePaths()[0], "/games/VEKTA 4/Content/System/vekta4.exe");
    EXPECT_EQ(installations.InstallRoot(), "/games/VEKTA 4");
    EXPECT_TRUE(dialogs.shown().empty());
}
