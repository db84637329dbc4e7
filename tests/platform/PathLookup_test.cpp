#include "platform/PathLookup.h"

#include "platform/AtomicFile.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace pelorix;
using pelorix::test::TempDir;

TEST(PathLookup, FindsEachPartWithoutRegardToLetterCase)
{
    TempDir dir;
    const std::string root = dir.file("Spiele/\xC3\x84rger/VEKTA 4");
    std::filesystem::create_directories(root + "/Content/System");
    std::filesystem::create_directories(root + "/ContentExpansion/System");
    writeFileAtomically(root + "/Content/System/VEKTA4.EXE", "MZ");
    writeFileAtomically(root + "/ContentExpansion/System/vekta4x.exe", "MZ");

    struct Case {
        std::string wanted;
        std::string found;
    };
    const Case cases[] = {
        {root + "/Content/system/vekta4.exe", root + "/Content/System/VEKTA4.EXE"},
        {root + "/CONTENT/SYSTEM/Vekta4.Exe", root + "/Content/System/VEKTA4.EXE"},
        {root + "//Content/System/VEKTA4.EXE", root + "//Content/System/VEKTA4.EXE"},
        {root + "/ContentExpansion/system/vekta4x.exe", root + "/ContentExpansion/System/vekta4x.exe"},
        {root + "/content/system/", root + "/Content/System/"},
        // Letters beyond ASCII must match exactly, as in the file system.
        {dir.file("spiele/\xC3\xA4rger/VEKTA 4/Content/System/vekta4.exe"), ""},
        {root + "/Content/System/vekta4x.exe", ""},
        {"", ""},
        {root + "/" + std::string(4096, 'a'), ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(findPathIgnoringCase(c.wanted), c.found) << c.wanted.substr(0, 200);
}

TEST(PathLookup, PrefersTheExactEntryAmongSeveral)
{
    TempDir dir;
    std::filesystem::create_directories(dir.file("system"));
    std::filesystem::create_directories(dir.file("System"));
    writeFileAtomically(dir.file("System/game.exe"), "MZ");
    EXPECT_EQ(findPathIgnoringCase(dir.file("System/GAME.EXE")), dir.file("System/game.exe"));
    EXPECT_EQ(findPathIgnoringCase(dir.file("system")), dir.file("system"));
}
