#include "shell/widgets/FilterPanel.h"

#include "platform/AtomicFile.h"
#include "shell/widgets/FormControls.h"
#include "shell/widgets/MainWindow.h"
#include "support/UdpPeer.h"
#include "support/WindowTestSupport.h"

#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pelorix
{
namespace
{

using test::UdpPeer;
using test::UdpServers;
using test::WindowUnderTest;

std::string reply(const std::string &name, const std::string &password, const std::string &players)
{
    return "\\hostname\\" + name + "\\numplayers\\1\\maxplayers\\8\\password\\" + password +
           "\\gametype\\Kessrin\\mapname\\Harbour\\gamevariant\\VEKTA 4\\gamever\\1.0" + players + "\\final\\\\eof\\";
}

class FilterPanelTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(w.create());
        // The tests start their refreshes themselves.
        ui().Timer2->stop();
        form().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form()));
    }

    TForm1 &form() { return w.form1(); }
    const MainWindowUi &ui() { return w.form1().ui(); }
    FilterPanel &panel() { return *w.form1().ui().Panel1; }
    SettingsStore &settings() { return *w.settings; }

    // The listed addresses become the offline list the refresh falls back to (the test's service is unreachable).
    void writeList(const std::vector<std::string> &addresses)
    {
        std::string text;
        for (const auto &a : addresses)
            text += a + "\r\n";
        ASSERT_TRUE(writeFileAtomically(w.folder.file("cache.dat"), text + "END"));
    }

    std::map<std::string, std::string> stored()
    {
        std::map<std::string, std::string> out;
        for (const auto &e : settings().entries())
            out[e.name] = e.type == SettingsStore::ValueType::String ? e.text : std::to_string(e.number);
        return out;
    }

    std::vector<std::string> names() { return form().table().columnItems(ListBox1_servername); }

    WindowUnderTest w;
};

TEST_F(FilterPanelTest, FirstOpeningOnAFreshSystem)
{
    EXPECT_TRUE(panel().isHidden());
    const auto before = stored();
    form().Image4Click();
    EXPECT_TRUE(panel().isVisible());
    EXPECT_EQ(panel().size(), QSize(473, 322));
    EXPECT_EQ(panel().pos(), QPoint((1123 - 473) / 2, (712 - 322) / 2));
    for (auto *box : {panel().JvgCheckBox1, panel().JvgCheckBox3, panel().JvgCheckBox4, panel().JvgCheckBox5,
                      panel().JvgCheckBox6, panel().JvgCheckBox7})
        EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(panel().JvgCheckBox2->isChecked());
    EXPECT_FALSE(panel().JvgCheckBox2->isEnabled());
    EXPECT_EQ(panel().JvSpinEdit1->text(), QStringLiteral("150"));
    EXPECT_FALSE(panel().JvSpinEdit1->isEnabled());
    EXPECT_EQ(panel().ComboBox1->currentText(), QStringLiteral("Kessrin"));
    EXPECT_EQ(panel().ComboBox2->currentText(), QStringLiteral("VEKTA4 1.0"));
    EXPECT_FALSE(panel().ComboBox1->isEnabled());
    EXPECT_FALSE(panel().ComboBox2->isEnabled());
    EXPECT_EQ(stored(), before) << "opening writes nothing";
}

// The panel shows what the store holds; what the box cannot show it shows as the nearest it can, and OK stores what
// it shows.
TEST_F(FilterPanelTest, LoadsTheStoreAndOkStoresWhatThePanelShows)
{
    struct Case {
        const char *what;
        std::map<std::string, std::string> before;
        std::function<void(FilterPanel &)> edit;
        std::map<std::string, std::string> after; // the entries that OK writes and the test checks
    };
    const std::vector<Case> cases = {
        {"game type Druvane chosen and checked",
         {},
         [](FilterPanel &p) {
             p.JvgCheckBox3->click();
             p.ComboBox1->setCurrentIndex(2);
         },
         {{"gametype", "1"}, {"gametype_name", "Druvane"}, {"gametype_index", "2"}, {"maxping", "0"}, {"ping", "150"}}},
        {"a game type chosen while unchecked is stored all the same",
         {},
         [](FilterPanel &p) { p.ComboBox1->setCurrentIndex(4); },
         {{"gametype", "0"}, {"gametype_name", "Morvath"}, {"gametype_index", "4"}}},
        {"stored positions outside the lists choose the first items",
         {{"gametype_index", "9"}, {"game_version_index", "-3"}},
         [](FilterPanel &) {},
         {{"gametype_index", "0"}, {"gametype_name", "Kessrin"}, {"game_version_index", "0"}}},
        {"a max ping that is no number shows and stores the default",
         {{"maxping", "1"}, {"ping", "abc"}},
         [](FilterPanel &) {},
         {{"maxping", "1"}, {"ping", "150"}}},
        {"a max ping outside 10 to 300 shows and stores the nearest end",
         {{"ping", "5000"}},
         [](FilterPanel &) {},
         {{"ping", "300"}}},
        {"every flag",
         {{"hide_password_servers", "1"},
          {"hide_full_servers", "1"},
          {"hide_empty_servers", "1"},
          {"show_game_version", "1"},
          {"game_version_index", "2"}},
         [](FilterPanel &p) { p.JvgCheckBox5->click(); },
         {{"hide_password_servers", "1"},
          {"hide_full_servers", "0"},
          {"hide_empty_servers", "1"},
          {"show_game_version", "1"},
          {"game_version_index", "2"}}},
    };
    UdpServers server(1, [](size_t, const std::string &) {
        return std::vector<UdpServers::Send>{{0, reply("Alpha", "0", "")}};
    });
    writeList({server.address(0)});
    const std::vector<std::string> panelKeys = {"maxping",           "ping",
                                                "gametype",          "gametype_name",
                                                "gametype_index",    "hide_password_servers",
                                                "hide_full_servers", "hide_empty_servers",
                                                "show_game_version", "game_version_index"};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto &key : panelKeys)
            settings().WriteString(key, key == "ping" ? "150" : "0");
        for (const auto &[key, value] : c.before)
            settings().WriteString(key, value);
        form().Image4Click();
        ASSERT_TRUE(panel().isVisible());
        c.edit(panel());
        const int refreshes = form().refreshEngine()->counters().refreshesCompleted;
        form().Image8Click();
        EXPECT_TRUE(panel().isHidden());
        EXPECT_EQ(form().refreshEngine()->counters().refreshesCompleted, refreshes + 1) << "OK always refreshes";
        const auto now = stored();
        for (const auto &[key, value] : c.after)
            EXPECT_EQ(now.at(key), value) << key;
    }
}

TEST_F(FilterPanelTest, CompanionsFollowTheirBoxesAndCancelWritesNothing)
{
    settings().WriteString("hide_empty_servers", "1");
    const auto before = stored();
    form().Image4Click();
    panel().JvgCheckBox1->click();
    panel().JvgCheckBox3->click();
    panel().JvgCheckBox7->click();
    EXPECT_TRUE(panel().JvSpinEdit1->isEnabled());
    EXPECT_TRUE(panel().ComboBox1->isEnabled());
    EXPECT_TRUE(panel().ComboBox2->isEnabled());
    panel().JvgCheckBox6->click();
    panel().JvSpinEdit1->setValue(40);
    panel().sSpeedButton3->click();
    EXPECT_TRUE(panel().isHidden());
    EXPECT_EQ(stored(), before);
    EXPECT_EQ(form().refreshEngine()->lastEnd(), RefreshEnd::None);

    form().Image4Click();
    EXPECT_TRUE(panel().JvgCheckBox6->isChecked());
    EXPECT_FALSE(panel().JvgCheckBox1->isChecked());
    EXPECT_FALSE(panel().JvSpinEdit1->isEnabled());
    EXPECT_EQ(panel().JvSpinEdit1->text(), QStringLiteral("150"));
}

TEST_F(FilterPanelTest, TheFilterButtonDuringARefreshOnlyRecentresTheHiddenPanel)
{
    panel().move(3, 4);
    form().table().setVisible(ListBox1_servername, false);
    ui().sSpeedButton10->click();
    EXPECT_TRUE(panel().isHidden());
    EXPECT_EQ(panel().pos(), QPoint((1123 - 473) / 2, (712 - 322) / 2));
}

// A server that answers and one that stays silent: the silent one's row stays only after the box was unlocked and
// cleared, and only for this run.
TEST_F(FilterPanelTest, UnlockingHideNonAccessibleServersKeepsTheSilentServers)
{
    UdpServers answering(1, [](size_t, const std::string &) {
        return std::vector<UdpServers::Send>{{0, reply("Alpha", "0", "")}};
    });
    UdpPeer silent;
    writeList({answering.address(0), silent.address()});

    form().Image4Click();
    panel().JvgCheckBox2->click();
    EXPECT_TRUE(panel().JvgCheckBox2->isChecked()) << "locked: a click changes nothing";
    emit panel().Label4->doubleClicked();
    EXPECT_TRUE(panel().JvgCheckBox2->isEnabled());
    panel().JvgCheckBox2->click();
    form().Image8Click();
    ASSERT_EQ(form().refreshEngine()->lastEnd(), RefreshEnd::Completed);
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha", "?"}));

    // Opening the panel again does not load the box: it stays as the user left it.
    form().Image4Click();
    EXPECT_FALSE(panel().JvgCheckBox2->isChecked());
    panel().JvgCheckBox2->click();
    form().Image8Click();
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha"}));

    WindowUnderTest restarted;
    ASSERT_TRUE(restarted.create());
    restarted.form1().ui().Timer2->stop();
    EXPECT_TRUE(restarted.form1().ui().Panel1->JvgCheckBox2->isChecked());
    EXPECT_FALSE(restarted.form1().ui().Panel1->JvgCheckBox2->isEnabled());
}

TEST_F(FilterPanelTest, FindPlayer)
{
    const std::string playerAlpha = "\\player_0\\Alpha\\score_0\\3";
    UdpServers servers(3, [&](size_t k, const std::string &) {
        const std::vector<std::string> replies = {reply("Locked", "1", playerAlpha), reply("Open", "0", playerAlpha),
                                                  reply("Other", "0", "\\player_0\\Bravo")};
        return std::vector<UdpServers::Send>{{0, replies[k]}};
    });
    writeList(servers.addresses());
    const std::string found = "Player \"alpha\" was found at server: ";

    struct Case {
        const char *what;
        std::optional<std::string> typed;
        bool hidePassword;
        std::vector<std::string> messages;
        bool refreshed;
    };
    const std::vector<Case> cases = {
        {"found", "alpha", false, {}, true},
        {"the server a filter hides is passed over", "alpha", true, {found + "Open"}, true},
        {"nobody", "charlie", false, {}, true},
        {"cancelled", std::nullopt, false, {}, false},
        {"nothing typed", "", false, {}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        settings().WriteBool("hide_password_servers", c.hidePassword);
        const int before = form().refreshEngine()->counters().refreshesCompleted;
        const size_t shown = w.dialogs.texts().size();
        w.dialogs.setNextPromptText(c.typed);
        form().Image4Click();
        panel().JvgCheckBox4->setChecked(c.hidePassword);
        panel().button_findplayer->click();
        EXPECT_EQ(form().refreshEngine()->counters().refreshesCompleted, before + (c.refreshed ? 1 : 0));
        EXPECT_TRUE(form().refreshEngine()->SearchedPlayer.empty()) << "no search left pending";
        const std::vector<std::string> all = w.dialogs.texts();
        const std::vector<std::string> messages(all.begin() + static_cast<long>(shown), all.end());
        if (std::string(c.what) == "found") {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_TRUE(messages[0] == found + "Locked" || messages[0] == found + "Open") << messages[0];
        } else {
            EXPECT_EQ(messages, c.messages);
        }
    }

    // The next refresh without a new search reports nothing.
    const size_t shown = w.dialogs.texts().size();
    form().refresh_imageClick();
    EXPECT_EQ(w.dialogs.texts().size(), shown);
}

} // namespace
} // namespace pelorix
