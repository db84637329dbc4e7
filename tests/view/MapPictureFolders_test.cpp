// Map pictures of an installed copy: the program folder's maps/ first, then share/pelorix/maps.
#include "view/MapPicture.h"

#include "platform/AtomicFile.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace pelorix
{
namespace
{

using test::TempDir;

void put(const TempDir &folder, const std::string &name)
{
    std::filesystem::create_directories(folder.file("maps"));
    ASSERT_TRUE(writeFileAtomically(folder.file("maps/") + name, "jpeg"));
}

TEST(MapPictureFolders, TheProgramFolderComesFirstThenTheSharedFolder)
{
    TempDir own;
    TempDir shared;
    put(own, "Mirefield.jpg");
    put(own, "none.jpg");
    put(shared, "Mirefield.jpg");
    put(shared, "Copper Prairie.jpg");
    put(shared, "none.jpg");
    const std::vector<std::string> folders{own.path(), shared.path()};

    const struct {
        std::string cell;
        std::string path;
    } cases[] = {
        {"Mirefield", own.file("maps/Mirefield.jpg")},              // in both: the player's own picture
        {"Copper Prairie", shared.file("maps/Copper Prairie.jpg")}, // only installed with the program
        {"copper prairie", shared.file("maps/Copper Prairie.jpg")}, // letter case does not matter there either
        {"Unknown", own.file("maps/none.jpg")},                     // none.jpg of the program folder first
        {"?", own.file("maps/none.jpg")},
        {"../maps/Copper Prairie", own.file("maps/none.jpg")}, // never a path out of maps/
    };
    for (const auto &c : cases)
        EXPECT_EQ(findMapPicture(folders, c.cell), c.path) << c.cell;
}

TEST(MapPictureFolders, NoneComesFromWhereverItIs)
{
    TempDir own;
    TempDir shared;
    std::filesystem::create_directories(own.file("maps"));
    put(shared, "none.jpg");
    const std::string withoutSlash = shared.path().substr(0, shared.path().size() - 1);
    // A fresh data folder has no pictures at all: the installed none.jpg stands in.
    EXPECT_EQ(findMapPicture({own.path(), withoutSlash}, "Unknown"), shared.file("maps/none.jpg"));
    // An empty entry (no installed copy) is skipped.
    EXPECT_EQ(findMapPicture({own.path(), ""}, "Unknown"), own.file("maps/none.jpg"));
    // No folder has one: the program folder's none.jpg, which the loader then fails to read.
    TempDir empty;
    EXPECT_EQ(findMapPicture({empty.path(), own.path()}, "Unknown"), empty.file("maps/none.jpg"));
}

} // namespace
} // namespace pelorix
