// The wait for a free slot in the main window: the "Join" column's clicks and the join timer's ticks against
// simulated servers, with a fake game in place of the real one.
#include "shell/widgets/MainWindow.h"

#include "core/Text.h"
#include "discovery/RefreshEngine.h"
#include "launch/Installations.h"
#include "platform/AtomicFile.h"
#include "support/TestProcess.h"
#include "support/WindowTestSupport.h"
#include "view/widgets/ColumnListView.h"

#include <QAction>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace pelorix
{
namespace
{

using namespace std::chrono_literals;
using test::ChildProcess;
using test::WindowUnderTest;

// Server 0 is full (16 of 16) until a player leaves 300 ms after start-up; server 1 has 3 of 16.
std::string scenario()
{
    const std::string common = R"("gametype": "CTF", "gamevariant": "VEKTA 4", "gamever": "1.0", "mapname": "M", )"
                               R"("password": "0", "maxplayers": 16, )";
    return R"({"servers": [{"hostname": "Full", )" + common + R"("players": )" + test::simulatedPlayersJson(16) +
           R"(, "events": [{"atMs": 300, "leave": ""}]}, {"hostname": "Open", )" + common + R"("players": )" +
           test::simulatedPlayersJson(3) + "}]}";
}

class MainWindowWaitTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        writeFileAtomically(w.folder.file("world.json"), scenario());
        gamesim = test::startSimulator(PELORIX_GAMESIM_BIN, w.folder.file("world.json"), &addresses);
        ASSERT_EQ(addresses.size(), 2u);

        std::filesystem::create_directories(folderPartOf(game));
        writeFileAtomically(game, "MZ");
        w.preparedServices.isProcessRunning = [this](const std::string &name) { return name == runningGame; };
        w.preparedServices.startGame = [this](const std::string &exe, const std::string &line,
                                              const std::string &folder) {
            started.push_back(line);
            (void)exe;
            (void)folder;
            return GameStart{};
        };
        w.preparedServices.beep = [this] { ++beeps; };
        ASSERT_TRUE(w.create());
        ui().Timer2->stop();
        // The tests run the ticks themselves.
        ASSERT_TRUE(ui().Timer_join->isActive());
        EXPECT_EQ(ui().Timer_join->interval(), 5555);
        ui().Timer_join->stop();
        form().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form()));
        w.dialogs.setNextFileName(game);
        ui().SelectVEKTA410executable1->trigger();
        ui().Name_edit->setText(QStringLiteral("Ann"));
    }

    TForm1 &form() { return w.form1(); }
    const MainWindowUi &ui() { return w.form1().ui(); }
    ServerTable &table() { return form().table(); }

    // Row 0 is server 0, row 1 server 1, both shown as the refresh left them.
    void fill(const std::string &players0, const std::string &players1)
    {
        for (int i = 0; i < 2; ++i) {
            table().AppendPlaceholderRow();
            table().PutRowValues(i, " ", i ? "Open" : "Full", i ? players1 : players0, "20", "CTF", "M", "VEKTA 4",
                                 "1.0");
        }
        table().setColumnItems(ListBox6_ipaddress, addresses);
        QCoreApplication::processEvents();
    }

    // A left click on the row's text in the "Join" column (not on its box).
    void clickCheckColumn(int row)
    {
        QTest::mouseClick(ui().Listbox10_check->viewport(), Qt::LeftButton, {},
                          QPoint(50, row * ColumnListView::kRowHeight + ColumnListView::kRowHeight / 2));
        QCoreApplication::processEvents();
    }

    void checkRow(int row)
    {
        clickCheckColumn(row);
        table().setChecked(row, true);
    }

    // The command line of a join of server i: its query port less one, the nick.
    std::string joinLine(int server) const
    {
        const std::string &address = addresses[static_cast<std::size_t>(server)];
        const auto colon = address.find(':');
        return " " + address.substr(0, colon + 1) + std::to_string(std::stoi(address.substr(colon + 1)) - 1) +
               "?Name=Ann";
    }

    std::vector<bool> boxes()
    {
        std::vector<bool> out;
        for (int i = 0; i < table().rowCount(Listbox10_check); ++i)
            out.push_back(table().isChecked(i));
        return out;
    }

    WindowUnderTest w;
    std::unique_ptr<ChildProcess> gamesim;
    std::vector<std::string> addresses;
    const std::string game = w.folder.file("VEKTA 4/Content/System/vekta4.exe");
    std::string runningGame;
    std::vector<std::string> started;
    int beeps = 0;
};

TEST_F(MainWindowWaitTest, AClickInTheJoinColumnLeavesOneBoxAndSelectsItsRow)
{
    fill("16/16", "3/16");
    for (QAction *item : {ui().Showplayers2, ui().Updatesingle1, ui().Deleteserver1})
        item->setEnabled(false);
    checkRow(0);
    clickCheckColumn(1);
    EXPECT_EQ(boxes(), (std::vector<bool>{false, false})) << "a click on another row unchecks, box or not";
    checkRow(0);
    checkRow(1);
    EXPECT_EQ(boxes(), (std::vector<bool>{false, true}));
    for (int c = 0; c <= Listbox10_check; ++c)
        EXPECT_EQ(table().selectedIndex(static_cast<Column>(c)), 1) << "column " << c;
    for (QAction *item : {ui().Showplayers2, ui().Updatesingle1, ui().Deleteserver1})
        EXPECT_TRUE(item->isEnabled()) << item->text().toStdString();
    // A tick with no box checked asks nobody.
    table().setChecked(1, false);
    form().Timer_joinTimer();
    EXPECT_EQ(table().cell(ListBox2_players, 0), "16/16");
    EXPECT_TRUE(started.empty());
}

TEST_F(MainWindowWaitTest, AFullServerIsJoinedOnceASlotOpens)
{
    fill("16/16", "3/16");
    checkRow(0);
    // Each tick decides on the count shown before its own update: 16/16 keeps waiting.
    int ticks = 0;
    do {
        form().Timer_joinTimer();
        ++ticks;
        ASSERT_TRUE(started.empty()) << "tick " << ticks;
        ASSERT_EQ(beeps, 0);
        ASSERT_EQ(boxes(), (std::vector<bool>{true, false}));
        EXPECT_EQ(table().cell(ListBox1_servername, 0), "Full");
    } while (table().cell(ListBox2_players, 0) != "15/16" && ticks < 5);
    ASSERT_EQ(table().cell(ListBox2_players, 0), "15/16");

    // The next tick beeps, clears the box and joins the row.
    form().Timer_joinTimer();
    EXPECT_EQ(started, std::vector<std::string>{joinLine(0)});
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(boxes(), (std::vector<bool>{false, false}));
    EXPECT_TRUE(test::waitUntil([this] { return form().isMinimized(); }));

    // One shot: later ticks do nothing.
    form().Timer_joinTimer();
    EXPECT_EQ(started.size(), 1u);
    EXPECT_EQ(beeps, 1);
}

TEST_F(MainWindowWaitTest, TheWaitJoinsTheCheckedRowAndEndsWhenRefused)
{
    struct Case {
        const char *what;
        std::string running;
        std::vector<std::string> started;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"the selection moved to another row", "", {"server 1"}, {}},
        {"the game is still running", "vekta4.exe", {}, {"Please exit the game before joining other server!"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        table().ClearTable();
        fill("16/16", "15/16");
        started.clear();
        beeps = 0;
        const auto shown = static_cast<std::ptrdiff_t>(w.dialogs.texts().size());
        runningGame = c.running;
        checkRow(1);
        QTest::mouseClick(ui().ListBox1_servername->viewport(), Qt::LeftButton, {},
                          QPoint(20, ColumnListView::kRowHeight / 2));
        ASSERT_EQ(table().selectedIndex(ListBox1_servername), 0);
        form().Timer_joinTimer();
        EXPECT_EQ(beeps, 1);
        EXPECT_EQ(boxes(), (std::vector<bool>{false, false}));
        EXPECT_EQ(started, c.started.empty() ? std::vector<std::string>{} : std::vector<std::string>{joinLine(1)});
        const auto texts = w.dialogs.texts();
        EXPECT_EQ(std::vector<std::string>(texts.begin() + shown, texts.end()), c.messages);
        EXPECT_EQ(table().cell(ListBox2_players, 0), "16/16") << "server 0 was not asked";
        // The wait does not resume.
        runningGame.clear();
        form().Timer_joinTimer();
        EXPECT_EQ(beeps, 1);
        EXPECT_EQ(started.size(), c.started.size());
        form().showNormal();
    }
}

TEST_F(MainWindowWaitTest, ARefreshEndsTheWait)
{
    std::string list;
    for (const auto &a : addresses)
        list += a + "\r\n";
    ASSERT_TRUE(writeFileAtomically(w.folder.file("cache.dat"), list + "END"));
    const auto refresh = [this](int completed) {
        form().refresh_imageClick();
        return test::waitUntil([this, completed] {
            return form().refreshEngine()->counters().refreshesCompleted == completed &&
                   !form().refreshEngine()->refreshInProgress();
        });
    };
    ASSERT_TRUE(refresh(1));
    ASSERT_EQ(table().rowCount(Listbox10_check), 2);
    const int open = table().cell(ListBox1_servername, 0) == "Open" ? 0 : 1;
    checkRow(open);
    ASSERT_TRUE(refresh(2));
    EXPECT_EQ(boxes(), (std::vector<bool>{false, false}));
    form().Timer_joinTimer();
    EXPECT_TRUE(started.empty());
    EXPECT_EQ(beeps, 0);
}

} // namespace
} // namespace pelorix
