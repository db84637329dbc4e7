// The main window's joining handlers: the Options menu's executable selections, the join of the selected row from
// its entry points, and the direct-connect panel.
#include "shell/widgets/MainWindow.h"

#include "launch/Installations.h"
#include "platform/AtomicFile.h"
#include "shell/widgets/FormControls.h"
#include "support/WindowTestSupport.h"
#include "view/widgets/ColumnListView.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

namespace pelorix
{
namespace
{

using test::WindowUnderTest;

class MainWindowJoinTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        std::filesystem::create_directories(folderPartOf(game));
        writeFileAtomically(game, "MZ");
        w.preparedServices.isProcessRunning = [this](const std::string &name) { return name == runningGame; };
        w.preparedServices.startGame = [this](const std::string &exe, const std::string &line,
                                              const std::string &folder) {
            started.push_back(exe + "|" + line + "|" + folder);
            return GameStart{};
        };
        ASSERT_TRUE(w.create());
        ui().Timer2->stop();
        form().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form()));
    }

    TForm1 &form() { return w.form1(); }
    const MainWindowUi &ui() { return w.form1().ui(); }
    ServerTable &table() { return form().table(); }

    void fill(int rows)
    {
        std::vector<std::string> addresses;
        for (int i = 0; i < rows; ++i) {
            table().AppendPlaceholderRow();
            const std::string n = std::to_string(i);
            table().PutRowValues(i, i == 1 ? "\xAE" : " ", "Server " + n, "3/16", "20", "CTF", "map" + n, "VEKTA 4",
                                 "1.0");
            addresses.push_back("10.0.0." + n + ":10481");
        }
        table().setColumnItems(ListBox6_ipaddress, addresses);
        QCoreApplication::processEvents();
    }

    void selectGame()
    {
        w.dialogs.setNextFileName(game);
        ui().SelectVEKTA410executable1->trigger();
    }

    QPoint rowPoint(int row) { return {20, row * ColumnListView::kRowHeight + ColumnListView::kRowHeight / 2}; }

    WindowUnderTest w;
    const std::string root = w.folder.file("Spiele/\xC3\x84rger/VEKTA 4");
    const std::string game = root + "/Content/System/vekta4.exe";
    std::string runningGame;
    std::vector<std::string> started;
};

TEST_F(MainWindowJoinTest, TheOptionsMenuSelectsTheExecutables)
{
    EXPECT_FALSE(ui().S1->isVisible());
    struct Case {
        QAction *item;
        const char *pathKey;
        const char *rootKey;
        std::size_t pathIndex;
    };
    const Case cases[] = {
        {ui().SelectVEKTA410executable1, "10", "VEKTA4 1.0", 0},
        {ui().SelectVEKTA411executable1, "11", "VEKTA4 1.1", 1},
        {ui().SelectVEKTA4DVHexecutable1, "x", "VEKTA4X 1.0", 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pathKey);
        w.dialogs.setNextFileName(game);
        c.item->trigger();
        EXPECT_EQ(w.settings->ReadString(c.pathKey, ""), game);
        EXPECT_EQ(w.settings->ReadString(c.rootKey, ""), root);
        EXPECT_EQ(form().ExecutablePaths()[c.pathIndex], game);
        EXPECT_EQ(form().installations().InstallRoot(), root);
    }
    EXPECT_EQ(w.dialogs.fileRequests().back().filterName, "VEKTA4 DVH Game executable");
}

TEST_F(MainWindowJoinTest, EveryEntryPointJoinsTheSelectedRowAndMinimizes)
{
    selectGame();
    fill(3);
    const std::string line = " 10.0.0.2:10480?Name=Player123|" + folderPartOf(game);
    const std::function<void()> entryPoints[] = {
        [this] { QTest::mouseDClick(ui().ListBox5_mapname->viewport(), Qt::LeftButton, {}, rowPoint(2)); },
        [this] { QTest::mouseClick(ui().sSpeedButton11, Qt::LeftButton); },
        [this] { QTest::keyClick(ui().ListBox1_servername, Qt::Key_Return); },
        [this] { ui().Joinserver1->trigger(); },
    };
    for (const auto &join : entryPoints) {
        form().showNormal();
        QTest::mouseClick(ui().ListBox1_servername->viewport(), Qt::LeftButton, {}, rowPoint(2));
        started.clear();
        join();
        EXPECT_EQ(started, std::vector<std::string>{game + "|" + line});
        EXPECT_TRUE(test::waitUntil([this] { return form().isMinimized(); }));
    }
}

TEST_F(MainWindowJoinTest, ACheckedRowsAddressIsJoinedAndTheBoxesAreCleared)
{
    selectGame();
    w.settings->WriteString("nick", "Ann");
    ui().Name_edit->setText(QStringLiteral("Ann"));
    fill(4);
    table().setChecked(3, true);
    QTest::mouseClick(ui().ListBox1_servername->viewport(), Qt::LeftButton, {}, QPoint(20, 1));
    form().Join_imageClick();
    EXPECT_EQ(started, std::vector<std::string>{game + "| 10.0.0.3:10480?Name=Ann|" + folderPartOf(game)});
    EXPECT_FALSE(table().isChecked(3));

    // The running game refuses the join, after the boxes were cleared.
    started.clear();
    runningGame = "vekta4.exe";
    table().setChecked(2, true);
    form().Join_imageClick();
    EXPECT_TRUE(started.empty());
    EXPECT_FALSE(table().isChecked(2));
    EXPECT_EQ(w.dialogs.texts().back(), "Please exit the game before joining other server!");
}

TEST_F(MainWindowJoinTest, WithoutAnExecutableTheJoinPointsToTheOptions)
{
    fill(1);
    QTest::mouseClick(ui().ListBox1_servername->viewport(), Qt::LeftButton, {}, QPoint(20, 1));
    form().Join_imageClick();
    EXPECT_EQ(w.dialogs.texts(), std::vector<std::string>{"Please set the game executable in options !"});
    EXPECT_TRUE(test::waitUntil([this] { return ui().PopupMenu2->isVisible(); }));
    ui().PopupMenu2->hide();
    EXPECT_TRUE(started.empty());
}

TEST_F(MainWindowJoinTest, TheDirectConnectPanelOpensClosesAndConnects)
{
    QWidget *panel = ui().directIP_panel;
    EXPECT_TRUE(panel->isHidden());
    EXPECT_EQ(panel->size(), QSize(449, 265));
    ASSERT_EQ(ui().ComboBox3->count(), 4);
    EXPECT_EQ(ui().ComboBox3->itemText(3), QStringLiteral("VEKTA4 MOD"));
    EXPECT_EQ(ui().ComboBox3->currentIndex(), 0);
    EXPECT_EQ(ui().Label11->text(), QStringLiteral("Please enter the IP address and port"));
    EXPECT_EQ(ui().Label12->text(), QStringLiteral("Password (Optional):"));

    QTest::mouseClick(ui().sSpeedButton9, Qt::LeftButton);
    EXPECT_TRUE(panel->isVisible());
    // Half the window less half the panel, each way.
    const QPoint centred(561 - 224, 356 - 132);
    EXPECT_EQ(panel->pos(), centred);
    // Moved away, the button puts it back in the middle as it closes it.
    panel->move(10, 10);
    QTest::mouseClick(ui().sSpeedButton9, Qt::LeftButton);
    EXPECT_TRUE(panel->isHidden());
    EXPECT_EQ(panel->pos(), centred);
    QTest::mouseClick(ui().sSpeedButton9, Qt::LeftButton);
    QTest::mouseClick(ui().sSpeedButton2, Qt::LeftButton);
    EXPECT_TRUE(panel->isHidden());

    selectGame();
    fill(1);
    table().setChecked(0, true);
    QTest::mouseClick(ui().sSpeedButton9, Qt::LeftButton);
    ui().Edit1->setText(QStringLiteral("10.0.0.5 : 10480"));
    ui().Edit2->setText(QStringLiteral("pass word"));
    QTest::mouseClick(ui().sSpeedButton1, Qt::LeftButton);
    EXPECT_EQ(ui().Edit1->text(), QStringLiteral("10.0.0.5:10480"));
    EXPECT_EQ(started, std::vector<std::string>{game + "|10.0.0.5:10480?Password=pass word|" + folderPartOf(game)});
    EXPECT_FALSE(table().isChecked(0));
    EXPECT_TRUE(test::waitUntil([this] { return form().isMinimized(); }));
    EXPECT_TRUE(panel->isVisible()) << "the panel stays open with its texts";
}

} // namespace
} // namespace pelorix
