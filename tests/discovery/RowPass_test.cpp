#include "discovery/RowPass.h"

#include "core/ServerTable.h"
#include "core/SettingsStore.h"
#include "discovery/StatusExchange.h"
#include "support/ScriptedDialogs.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

using namespace pelorix;

namespace
{

using Pairs = std::vector<std::pair<std::string, std::string>>;

const std::string kLock(kLockMark);

// A reply as a server sends it: the pairs, then "final" and "eof".
std::string replyOf(const Pairs &pairs)
{
    std::string text;
    for (const auto &[key, value] : pairs)
        text += "\\" + key + "\\" + value;
    return text + "\\final\\\\eof\\";
}

// A complete, open server; overrides replace a value, an empty override value removes nothing.
Pairs serverPairs(const std::map<std::string, std::string> &overrides = {})
{
    Pairs pairs = {{"statusresponse", "0"}, {"hostname", "Srv"},        {"numplayers", "3"}, {"maxplayers", "16"},
                   {"gametype", "CTF"},     {"gamevariant", "VEKTA 4"}, {"mapname", "m1"},   {"hostport", "10480"},
                   {"password", "0"},       {"gamever", "1.0"},         {"queryid", "AMv1"}};
    for (auto &[key, value] : pairs) {
        if (auto it = overrides.find(key); it != overrides.end())
            value = it->second;
    }
    return pairs;
}

class RecordingLabels : public StatisticsLabels
{
  public:
    void setPlayersLabel(const std::string &text) override
    {
        players.push_back(text);
        if (onLabel)
            onLabel();
    }
    void setServersLabel(const std::string &text) override { servers.push_back(text); }

    std::vector<std::string> players;
    std::vector<std::string> servers;
    std::function<void()> onLabel;
};

// The table as the refresh hands it over: the answering addresses in the address column, one placeholder row
// per query started (answered or not) in the other columns.
class RowPassTest : public ::testing::Test
{
  protected:
    struct Answer {
        std::string address;
        std::string text;
        std::string ping;
    };

    RowPassTest()
        : settings(dir.file("PELORIX.reg"))
    {
    }

    void load(const std::vector<Answer> &answers, int placeholderRows = -1)
    {
        std::vector<std::string> column;
        for (const auto &a : answers) {
            addresses.push_back(a.address);
            texts.push_back(a.text);
            pings.push_back(a.ping);
            if (std::find(column.begin(), column.end(), a.address) == column.end())
                column.push_back(a.address);
        }
        const int rows = placeholderRows < 0 ? static_cast<int>(column.size()) : placeholderRows;
        for (int r = 0; r < rows; ++r)
            table.AppendPlaceholderRow();
        table.setColumnItems(ListBox6_ipaddress, column);
    }

    void run()
    {
        RowPassState state{refreshStep, playersOnline, serversOnline, searchedPlayer, playerFound};
        RunRowPass(table, settings, dialogs, ReplyListsView{addresses, texts, pings}, cancel, state, labels);
    }

    // The pass over a table of one row, "a:1", answered with reply, under the given settings and dialogs.
    ServerTable runOneRow(const SettingsStore &rowSettings, Dialogs &rowDialogs, const std::string &reply,
                          const std::string &ping)
    {
        ServerTable oneRow;
        oneRow.AppendPlaceholderRow();
        oneRow.setColumnItems(ListBox6_ipaddress, {"a:1"});
        const std::vector<std::string> a = {"a:1"}, t = {reply}, p = {ping};
        RowPassState state{refreshStep, playersOnline, serversOnline, searchedPlayer, playerFound};
        RunRowPass(oneRow, rowSettings, rowDialogs, ReplyListsView{a, t, p}, cancel, state, labels);
        return oneRow;
    }

    // The cells of a row in column order, the address and check columns included.
    std::vector<std::string> row(int r) const
    {
        std::vector<std::string> cells;
        for (int c = 0; c < ColumnCount; ++c)
            cells.push_back(r < table.rowCount(static_cast<Column>(c)) ? table.cell(static_cast<Column>(c), r) : "-");
        return cells;
    }

    test::TempDir dir;
    SettingsStore settings;
    test::ScriptedDialogs dialogs;
    ServerTable table;
    RecordingLabels labels;
    std::vector<std::string> addresses, texts, pings;
    std::atomic<bool> cancel{false};
    int refreshStep = 0;
    int playersOnline = 0;
    int serversOnline = 0;
    std::string searchedPlayer;
    bool playerFound = false;
};

} // namespace

TEST_F(RowPassTest, AnAnswerFillsItsRowAndLeavesAddressAndCheckAlone)
{
    load({{"10.0.0.1:10481", replyOf(serverPairs()), "45"}});
    table.setChecked(0, true);
    run();
    EXPECT_EQ(row(0), (std::vector<std::string>{" ", "Srv", "3/16", "45", "CTF", "m1", "10.0.0.1:10481", "VEKTA 4",
                                                "1.0", "Join"}));
    EXPECT_TRUE(table.isChecked(0));
    EXPECT_EQ(refreshStep, 209);
    EXPECT_TRUE(dialogs.shown().empty());
    for (int c = 0; c < ColumnCount; ++c) {
        const bool keepsScrollBar = c == ListBox1_servername || c == Listbox10_check;
        EXPECT_EQ(table.column(static_cast<Column>(c)).scrollBarVisible, keepsScrollBar) << c;
    }
}

TEST_F(RowPassTest, FiltersDecideWhichRowsAreShown)
{
    struct Case {
        const char *name;
        std::function<void(SettingsStore &)> set;
        std::map<std::string, std::string> reply;
        std::string ping;
        bool shown;
    };
    const auto none = [](SettingsStore &) {};
    const Case cases[] = {
        {"default settings show a server", none, {}, "10", true},
        {"N/A is hidden by default", none, {{"hostname", "N/A"}}, "10", false},
        {"N/A shown with the rule off",
         [](SettingsStore &s) { s.WriteBool("hide_na_servers", false); },
         {{"hostname", "N/A"}},
         "10",
         true},
        {"game type kept",
         [](SettingsStore &s) {
             s.WriteBool("gametype", true);
             s.WriteString("gametype_name", "CTF");
         },
         {},
         "10",
         true},
        {"other game type hidden",
         [](SettingsStore &s) {
             s.WriteBool("gametype", true);
             s.WriteString("gametype_name", "DM");
         },
         {},
         "10",
         false},
        {"game type rule without a name hides a typed server",
         [](SettingsStore &s) { s.WriteBool("gametype", true); },
         {},
         "10",
         false},
        {"game type rule without a name keeps an untyped server",
         [](SettingsStore &s) { s.WriteBool("gametype", true); },
         {{"gametype", ""}},
         "10",
         true},
        {"game type compares exactly",
         [](SettingsStore &s) {
             s.WriteBool("gametype", true);
             s.WriteString("gametype_name", "ctf");
         },
         {},
         "10",
         false},
        {"password server hidden",
         [](SettingsStore &s) { s.WriteBool("hide_password_servers", true); },
         {{"password", "1"}},
         "10",
         false},
        {"open server kept", [](SettingsStore &s) { s.WriteBool("hide_password_servers", true); }, {}, "10", true},
        {"0/16 is not full",
         [](SettingsStore &s) { s.WriteBool("hide_full_servers", true); },
         {{"numplayers", "0"}, {"maxplayers", "16"}},
         "10",
         true},
        {"16/16 is full",
         [](SettingsStore &s) { s.WriteBool("hide_full_servers", true); },
         {{"numplayers", "16"}, {"maxplayers", "16"}},
         "10",
         false},
        {"10/10 is full",
         [](SettingsStore &s) { s.WriteBool("hide_full_servers", true); },
         {{"numplayers", "10"}, {"maxplayers", "10"}},
         "10",
         false},
        {"0/0 is not full",
         [](SettingsStore &s) { s.WriteBool("hide_full_servers", true); },
         {{"numplayers", "0"}, {"maxplayers", "0"}},
         "10",
         true},
        {"3/16 is not full", [](SettingsStore &s) { s.WriteBool("hide_full_servers", true); }, {}, "10", true},
        {"0/16 is empty",
         [](SettingsStore &s) { s.WriteBool("hide_empty_servers", true); },
         {{"numplayers", "0"}, {"maxplayers", "16"}},
         "10",
         false},
        {"0/0 is empty",
         [](SettingsStore &s) { s.WriteBool("hide_empty_servers", true); },
         {{"numplayers", "0"}, {"maxplayers", "0"}},
         "10",
         false},
        {"3/16 is not empty", [](SettingsStore &s) { s.WriteBool("hide_empty_servers", true); }, {}, "10", true},
        {"ping at the limit stays",
         [](SettingsStore &s) {
             s.WriteBool("maxping", true);
             s.WriteString("ping", "150");
         },
         {},
         "150",
         true},
        {"ping over the limit hidden",
         [](SettingsStore &s) {
             s.WriteBool("maxping", true);
             s.WriteString("ping", "150");
         },
         {},
         "151",
         false},
        {"default limit is 150", [](SettingsStore &s) { s.WriteBool("maxping", true); }, {}, "151", false},
        {"a limit that is no number hides nothing",
         [](SettingsStore &s) {
             s.WriteBool("maxping", true);
             s.WriteString("ping", "abc");
         },
         {},
         "9999",
         true},
        {"ping rule off", [](SettingsStore &s) { s.WriteString("ping", "1"); }, {}, "9999", true},
        {"version 0 keeps 4 / 1.0", [](SettingsStore &s) { s.WriteBool("show_game_version", true); }, {}, "10", true},
        {"version 0 hides 4 / 1.1",
         [](SettingsStore &s) { s.WriteBool("show_game_version", true); },
         {{"gamever", "1.1"}},
         "10",
         false},
        {"version 0 hides 4X / 1.0",
         [](SettingsStore &s) { s.WriteBool("show_game_version", true); },
         {{"gamevariant", "VEKTA 4X"}},
         "10",
         false},
        {"version 1 keeps 4 / 1.1",
         [](SettingsStore &s) {
             s.WriteBool("show_game_version", true);
             s.WriteInteger("game_version_index", 1);
         },
         {{"gamever", "1.1"}},
         "10",
         true},
        {"version 1 hides 4 / 1.0",
         [](SettingsStore &s) {
             s.WriteBool("show_game_version", true);
             s.WriteInteger("game_version_index", 1);
         },
         {},
         "10",
         false},
        {"version 2 keeps 4X / 1.0",
         [](SettingsStore &s) {
             s.WriteBool("show_game_version", true);
             s.WriteInteger("game_version_index", 2);
         },
         {{"gamevariant", "VEKTA 4X"}},
         "10",
         true},
        {"version 2 keeps 4X / any version",
         [](SettingsStore &s) {
             s.WriteBool("show_game_version", true);
             s.WriteInteger("game_version_index", 2);
         },
         {{"gamevariant", "VEKTA 4X"}, {"gamever", "7.7"}},
         "10",
         true},
        {"version 2 hides 4",
         [](SettingsStore &s) {
             s.WriteBool("show_game_version", true);
             s.WriteInteger("game_version_index", 2);
         },
         {},
         "10",
         false},
        {"version 3 keeps everything",
         [](SettingsStore &s) {
             s.WriteBool("show_game_version", true);
             s.WriteInteger("game_version_index", 3);
         },
         {{"gamevariant", "other"}, {"gamever", "9"}},
         "10",
         true},
        {"version rule off",
         [](SettingsStore &s) { s.WriteInteger("game_version_index", 0); },
         {{"gamevariant", "VEKTA 4X"}},
         "10",
         true},
        // Each value comes out as the store's own typed reads give it: any letter case of the key, numbers stored as
        // text, text stored as a number, unreadable numbers; the pass reads all settings of a row at once.
        {"key in capitals",
         [](SettingsStore &s) { s.WriteBool("HIDE_EMPTY_SERVERS", true); },
         {{"numplayers", "0"}},
         "30",
         false},
        {"flag stored as a number",
         [](SettingsStore &s) { s.WriteInteger("hide_empty_servers", 7); },
         {{"numplayers", "0"}},
         "30",
         false},
        {"flag text that is no number takes the default",
         [](SettingsStore &s) { s.WriteString("hide_na_servers", "x"); },
         {{"hostname", "N/A"}},
         "30",
         false},
        {"flag stored as zero",
         [](SettingsStore &s) { s.WriteInteger("hide_na_servers", 0); },
         {{"hostname", "N/A"}},
         "30",
         true},
        {"index stored as text",
         [](SettingsStore &s) {
             s.WriteBool("show_game_version", true);
             s.WriteString("game_version_index", "2");
         },
         {{"gamevariant", "VEKTA 4X"}},
         "30",
         true},
        {"game type name stored as a number",
         [](SettingsStore &s) {
             s.WriteBool("gametype", true);
             s.WriteInteger("gametype_name", 5);
         },
         {{"gametype", "5"}},
         "30",
         true},
        {"ping limit stored as a number",
         [](SettingsStore &s) {
             s.WriteBool("maxping", true);
             s.WriteInteger("ping", 20);
         },
         {},
         "30",
         false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir caseDir;
        SettingsStore caseSettings(caseDir.file("PELORIX.reg"));
        c.set(caseSettings);
        const ServerTable caseTable = runOneRow(caseSettings, dialogs, replyOf(serverPairs(c.reply)), c.ping);
        EXPECT_EQ(caseTable.rowCount(ListBox1_servername), c.shown ? 1 : 0);
        EXPECT_EQ(caseTable.rowCount(ListBox6_ipaddress), c.shown ? 1 : 0);
    }
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(RowPassTest, SettingsAreReadAfreshForEveryRow)
{
    load({{"a:1", replyOf(serverPairs({{"numplayers", "0"}})), "1"},
          {"b:1", replyOf(serverPairs({{"numplayers", "0"}})), "1"},
          {"c:1", replyOf(serverPairs({{"numplayers", "0"}})), "1"}});
    // While the second row handled (row 1) is being counted, the user turns the empty-server rule on.
    labels.onLabel = [this] {
        if (labels.players.size() == 2)
            settings.WriteBool("hide_empty_servers", true);
    };
    run();
    ASSERT_EQ(table.rowCount(ListBox6_ipaddress), 1);
    EXPECT_EQ(table.cell(ListBox6_ipaddress, 0), "c:1"); // row 2 was handled first, before the change
}

TEST_F(RowPassTest, StatisticsCountEveryAnsweringServer)
{
    load({{"a:1", replyOf(serverPairs({{"numplayers", "4"}})), "1"},
          {"b:1", replyOf(serverPairs({{"hostname", "N/A"}, {"numplayers", "5"}})), "1"},
          {"c:1", replyOf(serverPairs({{"numplayers", "x"}})), "1"},
          {"d:1", replyOf(serverPairs({{"numplayers", "2"}, {"password", "1"}})), "1"}});
    settings.WriteBool("hide_password_servers", true);
    playersOnline = 100; // what the refresh sets at its start is its own business; the pass adds to it
    run();
    // Rows d, c, b, a: c's count is no number and leaves the label alone; N/A counts players, not servers;
    // the hidden d counts.
    EXPECT_EQ(labels.players,
              (std::vector<std::string>{"Players online:\t102", "Players online:\t107", "Players online:\t111"}));
    EXPECT_EQ(labels.servers, (std::vector<std::string>{"Servers online:\t1", "Servers online:\t2",
                                                        "Servers online:\t2", "Servers online:\t3"}));
    EXPECT_EQ(playersOnline, 111);
    EXPECT_EQ(serversOnline, 3);
    EXPECT_EQ(table.rowCount(ListBox1_servername), 2); // a and c; b (N/A) and d (password) hidden
}

TEST_F(RowPassTest, AnEmptyCountSetsTheLabelWithoutAdding)
{
    load({{"a:1", "\\hostname\\x\\eof\\", "1"}});
    playersOnline = 7;
    run();
    EXPECT_EQ(labels.players, std::vector<std::string>{"Players online:\t7"});
    EXPECT_EQ(table.cell(ListBox2_players, 0), "/");
}

TEST_F(RowPassTest, NobodyAnsweringLeavesTheLabelsAlone)
{
    table.AppendPlaceholderRow();
    table.AppendPlaceholderRow();
    run();
    EXPECT_TRUE(labels.players.empty());
    EXPECT_TRUE(labels.servers.empty());
    EXPECT_EQ(table.rowCount(ListBox1_servername), 2);
}

TEST_F(RowPassTest, AMissingKeyGivesAnEmptyCellNotThePreviousRowsValue)
{
    Pairs withoutMap = serverPairs({{"hostname", "Second"}});
    std::erase_if(withoutMap, [](const auto &p) { return p.first == "mapname" || p.first == "password"; });
    load({{"a:1", replyOf(withoutMap), "5"}, {"b:1", replyOf(serverPairs({{"mapname", "first_map"}})), "6"}});
    run();
    EXPECT_EQ(table.cell(ListBox5_mapname, 1), "first_map");
    EXPECT_EQ(table.cell(ListBox5_mapname, 0), "");
    EXPECT_EQ(table.cell(ListBox0_index, 0), "");
    EXPECT_EQ(table.cell(ListBox1_servername, 0), "Second");
}

TEST_F(RowPassTest, ALaterAnswerOfTheSameAddressWins)
{
    addresses = {"a:1", "a:1", "a:1"};
    texts = {replyOf(serverPairs({{"hostname", "old"}})), replyOf(serverPairs({{"hostname", "new"}})), ""};
    pings = {"1", "2", "3"};
    table.AppendPlaceholderRow();
    table.setColumnItems(ListBox6_ipaddress, {"a:1"});
    run();
    EXPECT_EQ(table.cell(ListBox1_servername, 0), "new");
    EXPECT_EQ(table.cell(ListBox3_ping, 0), "2"); // an empty text is no answer, its ping is not taken
}

// One answer, one row: the cells it shows and the error dialog it raises.
TEST_F(RowPassTest, ARowShowsWhatItsReplySays)
{
    // A player count of half the largest reply the exchange accepts, then as many short items as fit: the players
    // cell comes from the values read, however many items follow them.
    const std::string count(kMaxReplyBytes / 2, '9');
    const auto largest = [&count](const std::string &tail) {
        std::string reply = "\\hostname\\Big\\maxplayers\\16\\numplayers\\" + count;
        while (reply.size() + 2 + tail.size() <= kMaxReplyBytes)
            reply += "\\a";
        return reply + tail;
    };
    struct Case {
        const char *name;
        std::string reply;
        std::map<Column, std::string> cells;
        std::string dialog; // "" for none
    };
    const Case cases[] = {
        {"blanks and a colourless name read back",
         "\\hostname\\My Server\\numplayers\\5\\maxplayers\\8\\eof\\",
         {{ListBox1_servername, "My Server"}, {ListBox2_players, "5/8"}},
         ""},
        // The lock cell: only a password of "0" is open.
        {"password 0", replyOf(serverPairs({{"password", "0"}})), {{ListBox0_index, " "}}, ""},
        {"password 1", replyOf(serverPairs({{"password", "1"}})), {{ListBox0_index, kLock}}, ""},
        {"password yes", replyOf(serverPairs({{"password", "yes"}})), {{ListBox0_index, kLock}}, ""},
        {"empty password", replyOf(serverPairs({{"password", ""}})), {{ListBox0_index, kLock}}, ""},
        // A "ping_" item must be followed by a number; the values read before the fault are used.
        {"player pings are numbers",
         "\\hostname\\s\\player_0\\bob\\ping_0\\50\\mapname\\m\\eof\\",
         {{ListBox1_servername, "s"}, {ListBox5_mapname, "m"}},
         ""},
        {"a player named ping_pong",
         "\\hostname\\s\\player_0\\ping_pong\\score_0\\5\\mapname\\m\\eof\\",
         {{ListBox1_servername, "s"}, {ListBox5_mapname, ""}},
         "Failed adding variables. Error at line:\r\nping_pong\r\nscore_0"},
        {"a ping item at the end",
         "\\hostname\\s\\mapname\\m\\ping_0",
         {{ListBox1_servername, "s"}, {ListBox5_mapname, "m"}},
         "Failed adding variables. Error at line:\r\nping_0\r\n"},
        {"a key at the end", "\\hostname\\s\\mapname", {{ListBox1_servername, "s"}, {ListBox5_mapname, ""}}, ""},
        // The largest reply accepted.
        {"largest reply, ending with eof",
         largest("\\eof\\"),
         {{ListBox1_servername, "Big"}, {ListBox2_players, count + "/16"}},
         ""},
        {"largest reply, ending with a ping that is no number",
         largest("\\ping_0\\x"),
         {{ListBox1_servername, "Big"}, {ListBox2_players, count + "/16"}},
         "Failed adding variables. Error at line:\r\nping_0\r\nx"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        test::ScriptedDialogs caseDialogs;
        const ServerTable caseTable = runOneRow(settings, caseDialogs, c.reply, "9");
        ASSERT_EQ(caseTable.rowCount(ListBox1_servername), 1);
        for (const auto &[column, text] : c.cells)
            EXPECT_EQ(caseTable.cell(column, 0), text) << "column " << column;
        if (c.dialog.empty()) {
            EXPECT_TRUE(caseDialogs.shown().empty());
        } else {
            ASSERT_EQ(caseDialogs.shown().size(), 1u);
            EXPECT_EQ(caseDialogs.shown()[0].kind, DialogKind::Error);
            EXPECT_EQ(caseDialogs.shown()[0].text, c.dialog);
        }
    }
}

TEST_F(RowPassTest, PlayerSearchReportsTheFirstVisibleMatchInHandlingOrder)
{
    // Handled from the last row: d (hidden, holds Bob), c (no match), b (Bobcat, visible), a (BOB, visible).
    load({{"a:1", replyOf(serverPairs({{"hostname", "A"}, {"mapname", "BOB"}})), "1"},
          {"b:1", replyOf(serverPairs({{"hostname", "Bobcat"}})), "1"},
          {"c:1", replyOf(serverPairs({{"hostname", "C"}})), "1"},
          {"d:1", replyOf(serverPairs({{"hostname", "D"}, {"password", "1"}})) + "\\player_0\\Bob", "1"}});
    settings.WriteBool("hide_password_servers", true);
    searchedPlayer = "bob";
    run();
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].kind, DialogKind::Information);
    EXPECT_EQ(dialogs.shown()[0].text, "Player \"bob\" was found at server: Bobcat");
    EXPECT_TRUE(searchedPlayer.empty());
    EXPECT_FALSE(playerFound);
}

TEST_F(RowPassTest, PlayerSearchFoldsOnlyAToZ)
{
    load({{"a:1",
           replyOf(serverPairs({{"hostname", "\xE4"
                                             "ke"}})),
           "1"}});
    searchedPlayer = "\xC4KE";
    run();
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_EQ(searchedPlayer, "\xC4KE"); // nothing found: the refresh empties it at its end
}

TEST_F(RowPassTest, CancelEmptiesTheTable)
{
    load({{"a:1", replyOf(serverPairs()), "1"}}, 3);
    cancel = true;
    run();
    for (int c = 0; c < ColumnCount; ++c)
        EXPECT_EQ(table.rowCount(static_cast<Column>(c)), 0);
    EXPECT_TRUE(labels.players.empty());
}

TEST_F(RowPassTest, FinalPassRemovesRowsOfServersThatDidNotAnswer)
{
    load({{"a:1", replyOf(serverPairs({{"hostname", "A"}})), "1"},
          {"b:1", replyOf(serverPairs({{"hostname", ""}})), "1"}},
         4); // two more queries started that never answered
    run();
    ASSERT_EQ(table.rowCount(ListBox1_servername), 4);
    EXPECT_EQ(table.rowCount(ListBox6_ipaddress), 2);

    ServerTable kept = table;
    RunFinalPass(kept, false);
    EXPECT_EQ(kept.rowCount(ListBox1_servername), 4);
    EXPECT_EQ(kept.cell(ListBox1_servername, 3), "?");

    RunFinalPass(table, true);
    for (int c = 0; c < ColumnCount; ++c)
        ASSERT_EQ(table.rowCount(static_cast<Column>(c)), 1) << c;
    EXPECT_EQ(row(0), (std::vector<std::string>{" ", "A", "3/16", "1", "CTF", "m1", "a:1", "VEKTA 4", "1.0", "Join"}));
}
