#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace pelorix
{
namespace
{

using test::TempDir;

const std::string kCheck = PELORIX_SOURCE_DIR "/scripts/check-layers";

void write(const std::string &path, const std::string &text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

// A small tree that holds the layers, with every kind of include the rules allow.
void writeSoundTree(const TempDir &root)
{
    write(root.file("src/platform/UniqueFd.h"), "#pragma once\n#include <unistd.h>\n");
    write(root.file("src/core/Text.h"), "#pragma once\n#include <QString>\n#include <string>\n");
    write(root.file("src/core/Text.cpp"), "#include \"core/Text.h\"\n\n#include \"platform/UniqueFd.h\"\n"
                                          "#include <QtCore/QList>\n#include <qbytearray.h>\n");
    write(root.file("src/discovery/Web.cpp"), "#include \"core/Text.h\"\n#include \"../platform/UniqueFd.h\"\n"
                                              "#include <QCryptographicHash>\n");
    write(root.file("src/view/MapPicture.h"), "#pragma once\n#include \"discovery/Web.h\"\n");
    write(root.file("src/shell/Installer.cpp"), "#include \"view/MapPicture.h\"\n");
    write(root.file("src/platform/widgets/Fonts.h"),
          "#pragma once\n#include \"platform/UniqueFd.h\"\n#include <QFont>\n");
    write(root.file("src/view/widgets/ColumnListView.cpp"),
          "#include \"platform/widgets/Fonts.h\"\n#include \"view/MapPicture.h\"\n#include <QListView>\n");
    write(root.file("src/shell/widgets/Artwork.cpp"),
          "#include \"view/widgets/ColumnListView.h\"\n#include \"shell/Installer.h\"\n#include <QPainter>\n");
    write(root.file("src/main.cpp"), "#include \"shell/widgets/Artwork.h\"\n#include <QApplication>\n");
    write(root.file("tools/cli/Commands.h"), "#pragma once\n#include \"core/Text.h\"\n");
    write(root.file("tools/cli/main.cpp"), "#include \"Commands.h\"\n#include \"discovery/Web.h\"\n"
                                           "#include <QCoreApplication>\n");
}

TEST(CheckLayers, PassesATreeThatHoldsTheLayers)
{
    TempDir root;
    writeSoundTree(root);
    std::string out;
    std::string err;
    EXPECT_EQ(test::runProcess(kCheck, {root.path()}, &out, &err), 0) << out << err;
}

TEST(CheckLayers, NamesFileLineAndRuleOfEveryBreach)
{
    struct Case {
        std::string file;
        std::string include;
        std::string rule;
    };
    const Case cases[] = {
        // A widgets folder reaching up to a higher one's widgets.
        {"src/view/widgets/Planted.cpp", "\"shell/widgets/Artwork.h\"", "view/widgets is below shell/widgets"},
        {"src/platform/widgets/Planted.cpp", "\"view/widgets/ColumnListView.h\"",
         "platform/widgets is below view/widgets"},
        {"src/view/widgets/Planted.cpp", "\"shell/Installer.h\"", "view/widgets is below shell;"},
        // Engine layers reaching up, by name, through "..", and into the layers that have no sources yet.
        {"src/discovery/Planted.cpp", "\"view/MapPicture.h\"", "discovery is below view;"},
        {"src/platform/Planted.cpp", "\"../core/Text.h\"", "platform is below core;"},
        {"src/core/Planted.cpp", "\"launch/Join.h\"", "core is below launch;"},
        {"src/admin/Planted.cpp", "\"shell/Installer.h\"", "admin is below shell;"},
        // Engine code with widgets or Qt beyond QtCore.
        {"src/shell/Planted.cpp", "\"shell/widgets/Artwork.h\"", "engine code (shell) includes a widgets/ header"},
        {"src/core/Planted.cpp", "\"platform/widgets/Fonts.h\"", "engine code (core) includes a widgets/ header"},
        {"src/core/Planted.h", "<QPixmap>",
         "engine code (core) may use std types and QtCore only; this header is QtGui"},
        {"src/discovery/Planted.cpp", "<QtWidgets/QWidget>", "this header is QtWidgets"},
        {"src/discovery/Planted.cpp", "<QTcpSocket>", "this header is QtNetwork"},
        // The companion tools.
        {"tools/cli/Planted.cpp", "<QWidget>", "the companion tools may use std types and QtCore only"},
        {"tools/gamesim/Planted.cpp", "\"view/widgets/ColumnListView.h\"", "the companion tools use the engine alone"},
    };
    for (const Case &c : cases) {
        TempDir root;
        writeSoundTree(root);
        write(root.file(c.file), "#include <vector>\n#include " + c.include + "\n");
        std::string out;
        std::string err;
        EXPECT_EQ(test::runProcess(kCheck, {root.path()}, &out, &err), 1) << c.file << " " << c.include;
        // One line, the planted one, with the rule it breaks.
        EXPECT_EQ(out.rfind(c.file + ":2: #include " + c.include + ": ", 0), 0u) << out;
        EXPECT_NE(out.find(c.rule), std::string::npos) << out;
        EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
    }
}

TEST(CheckLayers, FolderOutsideTheLayersIsABreach)
{
    TempDir root;
    writeSoundTree(root);
    write(root.file("src/extra/Planted.cpp"), "#include \"core/Text.h\"\n");
    std::string out;
    EXPECT_EQ(test::runProcess(kCheck, {root.path()}, &out), 1);
    EXPECT_NE(out.find("src/extra/Planted.cpp: in no layer folder"), std::string::npos) << out;
}

} // namespace
} // namespace pelorix
