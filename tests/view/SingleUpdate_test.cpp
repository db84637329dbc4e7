#include "view/SingleUpdate.h"

#include "support/RecordingPump.h"
#include "support/ScriptedDialogs.h"
#include "support/UdpPeer.h"
#include "view/ColumnSort.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

using namespace pelorix;
using test::RecordingPump;
using test::ScriptedDialogs;
using test::UdpPeer;
using test::UdpServers;

namespace
{

using Clock = std::chrono::steady_clock;

int elapsedMs(Clock::time_point since)
{
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

std::vector<std::string> rowCells(const ServerTable &table, int row)
{
    std::vector<std::string> cells;
    for (const Column c : {ListBox0_index, ListBox1_servername, ListBox2_players, ListBox4_gametype, ListBox5_mapname,
                           ListBox6_ipaddress, ListBox7_mod, ListBox8_version})
        cells.push_back(table.cell(c, row));
    return cells;
}

// A table of the given addresses, every row filled with its own values, row `selected` selected.
void fill(ServerTable &table, const std::vector<std::string> &addresses, int selected)
{
    for (size_t k = 0; k < addresses.size(); ++k) {
        const std::string n = std::to_string(k);
        table.AppendPlaceholderRow();
        table.PutRowValues(static_cast<int>(k), " ", "server" + n, n + "/8", "1" + n, "type" + n, "map" + n,
                           "variant" + n, "1." + n);
    }
    table.setColumnItems(ListBox6_ipaddress, addresses);
    for (int c = 0; c < ColumnCount; ++c)
        table.setSelectedIndex(static_cast<Column>(c), selected);
}

struct ItemState {
    bool enabled = true;
    std::function<bool()> reader() const
    {
        return [this] { return enabled; };
    }
    std::function<void(bool)> writer()
    {
        return [this](bool e) { enabled = e; };
    }
};

const std::string kAlphaReply =
    "\\hostname\\[c=00FF00]Alpha\\numplayers\\3\\maxplayers\\16\\password\\1\\gametype\\Druvane\\mapname\\Canyon"
    "\\gamevariant\\VEKTA 4\\gamever\\1.1\\final\\\\eof\\";

} // namespace

TEST(SingleUpdate, ColourPassesFollowTheirSkips)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"[c=FF0000]Alpha", "Alpha"},
        {"[C=ff0000]Alpha[/c]", "Alpha[/c]"},
        {"[b]Bravo", "Bravo"},
        {"[U]under[B]bold", "underbold"},
        // A code right after a skipped one is kept as text: the walk goes on after the character it kept.
        {"[b][b]x", "[b]x"},
        {"[c=FF0000][c=00FF00]x", "[c=00FF00]x"},
        // The passes run one after the other: what the first keeps, the second still cleans.
        {"[c=FF0000][b]x", "x"},
        // A code cut off by the end of the name drops what is left.
        {"name[c=12", "name"},
        {"[b]", ""},
        {"plain [x] name", "plain [x] name"},
        {"", ""},
    };
    for (const auto &[name, cleaned] : cases)
        EXPECT_EQ(RemoveNameColourCodes(name), cleaned) << name;
}

TEST(SingleUpdate, ReplyCellsAndWhatTheRowShows)
{
    struct Case {
        const char *what;
        std::string reply;
        bool answered;
        std::array<std::string, 8> row; // lock, name, players, ping, game type, map, variant, version
    };
    const std::vector<Case> cases = {
        {"answered", kAlphaReply, true, {"\xAE", "Alpha", "3/16", "42", "Druvane", "Canyon", "VEKTA 4", "1.1"}},
        {"not answered: the default reply", "ignored", false, {" ", "N/A", "?/?", "42", "N/A", "N/A", "N/A", "N/A"}},
        {"no hostname",
         "\\numplayers\\1\\maxplayers\\8\\final\\",
         true,
         {"-", "----= UPDATING =----", "1/8", "42", "---", "---", "---", "---"}},
        {"no counts", "\\hostname\\x\\final\\", true, {"-", "x", "/", "42", "---", "---", "---", "---"}},
        {"keys as last items have no value",
         "\\mapname\\m\\final\\\\hostname",
         true,
         {"-", "----= UPDATING =----", "/", "42", "---", "m", "---", "---"}},
        {"a key's empty value",
         "\\hostname\\\\numplayers\\\\maxplayers\\4",
         true,
         {"-", "", "/4", "42", "---", "---", "---", "---"}},
        {"blanks come back, markup and control bytes stay text",
         "\\hostname\\<b>A%B</b>\\gametype\\a\x01"
         "b",
         true,
         {"-", "<b>A B</b>", "/", "42", "a", "---", "---", "---"}},
        {"password other than 0 locks",
         "\\password\\yes",
         true,
         {"\xAE", "----= UPDATING =----", "/", "42", "---", "---", "---", "---"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RowCellsAfterUpdate(SingleUpdateCellsFromReply(c.reply, c.answered, 42)), c.row);
    }
}

TEST(SingleUpdate, AddressCellsSplitAtTheirFirstColon)
{
    struct Case {
        std::string cell, host, port;
    };
    const std::vector<Case> cases = {
        {"10.0.0.1:10481", "10.0.0.1", "10481"},
        {"host:1:2", "host", "1:2"},
        {"nocolon", "", "nocolon"},
        {"h:" + std::string(300, '7'), "h", std::string(255, '7')},
    };
    for (const auto &c : cases) {
        const AddressParts parts = splitAddressCell(c.cell);
        EXPECT_EQ(parts.host, c.host) << c.cell;
        EXPECT_EQ(parts.portText, c.port) << c.cell;
    }
}

// The exchange against servers in miniature, with the update's own windows.
TEST(SingleUpdate, ExchangeAgainstScriptedServers)
{
    struct Case {
        const char *what;
        std::vector<UdpServers::Send> script;
        bool answered;
        std::string name;
        std::string players;
        int minPingMs, maxPingMs;
    };
    std::vector<UdpServers::Send> neverFinal;
    for (int k = 0; k < 12; ++k)
        neverFinal.push_back({k * 30, "\\hostname\\x" + std::to_string(k)});
    const std::vector<Case> cases = {
        {"answer with colour codes", {{30, kAlphaReply}}, true, "Alpha", "3/16", 25, 1000},
        {"final in the third datagram",
         {{0, "\\hostname\\Three"}, {30, "\\numplayers\\2"}, {60, "\\maxplayers\\6\\final\\"}},
         true,
         "Three",
         "2/6",
         0,
         1000},
        {"final never comes within eight follow-ups", neverFinal, false, "N/A", "?/?", 0, 1000},
        {"no hostname", {{0, "\\numplayers\\2\\maxplayers\\9\\final\\"}}, true, "<marker>", "2/9", 0, 1000},
        {"no counts", {{0, "\\hostname\\Bare\\final\\"}}, true, "Bare", "/", 0, 1000},
        {"silence", {}, false, "N/A", "?/?", 1950, 2600},
        {"a second sender is not listened to",
         {{0, "\\hostname\\Intruder\\final\\", true}, {40, "\\hostname\\Real\\final\\"}},
         true,
         "Real",
         "/",
         30,
         1000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        UdpServers server(1, [script = c.script](size_t, const std::string &) { return script; });
        RecordingPump pump;
        std::string error;
        const auto cells = QuerySingleServer(server.address(0), pump, &error);
        ASSERT_TRUE(cells.has_value());
        EXPECT_EQ(cells->answered, c.answered);
        EXPECT_EQ(cells->name.value_or("<marker>"), c.name);
        EXPECT_EQ(cells->players, c.players);
        const int ping = std::stoi(cells->ping);
        EXPECT_GE(ping, c.minPingMs);
        EXPECT_LE(ping, c.maxPingMs);
        EXPECT_EQ(server.requests(), std::vector<std::string>{"\\status\\"});
    }
}

TEST(SingleUpdate, AddressesThatAreNotPortsOrHosts)
{
    struct Case {
        std::string address;
        bool conversionError;
    };
    const std::vector<Case> cases = {
        {"127.0.0.1:abc", true},    {"127.0.0.1:", true},
        {"127.0.0.1:99999", false}, // a number, but no port: the exchange fails
        {":10481", false},          // no host
        {"nocolon", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.address);
        RecordingPump pump;
        std::string error;
        const auto start = Clock::now();
        const auto cells = QuerySingleServer(c.address, pump, &error);
        EXPECT_LT(elapsedMs(start), 1500);
        if (c.conversionError) {
            EXPECT_FALSE(cells.has_value());
            EXPECT_EQ(error, conversionErrorText(splitAddressCell(c.address).portText));
        } else {
            ASSERT_TRUE(cells.has_value());
            EXPECT_FALSE(cells->answered);
            EXPECT_EQ(cells->ping, "0");
            EXPECT_EQ(cells->name, "N/A");
        }
    }
}

TEST(SingleUpdate, RewritesTheSelectedRowAndBringsTheItemBackAfterThePause)
{
    UdpServers servers(2, [](size_t, const std::string &) { return std::vector<UdpServers::Send>{{0, kAlphaReply}}; });
    ServerTable table;
    fill(table, {servers.address(0), servers.address(1)}, 1);
    table.setChecked(1, true);
    const std::vector<std::string> other = rowCells(table, 0);
    RecordingPump pump;
    ScriptedDialogs dialogs;
    ItemState item;
    bool disabledDuringPause = false;
    pump.setOnWait([&] {
        if (table.cell(ListBox1_servername, 1) == "Alpha")
            disabledDuringPause = disabledDuringPause || !item.enabled;
    });
    const auto start = Clock::now();
    Updatesingle(table, pump, dialogs, item.reader(), item.writer());
    EXPECT_GE(elapsedMs(start), 2000);
    EXPECT_TRUE(item.enabled);
    EXPECT_TRUE(disabledDuringPause);
    EXPECT_EQ(rowCells(table, 1), (std::vector<std::string>{"\xAE", "Alpha", "3/16", "Druvane", "Canyon",
                                                            servers.address(1), "VEKTA 4", "1.1"}));
    EXPECT_TRUE(table.isChecked(1));
    EXPECT_EQ(rowCells(table, 0), other);
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST(SingleUpdate, DoesNothingWhileDisabledOrWithoutARowToAsk)
{
    struct Case {
        const char *what;
        bool enabled;
        int selected;
        bool dropAddresses;
    };
    const std::vector<Case> cases = {
        {"item disabled", false, 0, false},
        {"no selection", true, -1, false},
        {"row without an address cell", true, 0, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        UdpPeer silent;
        ServerTable table;
        fill(table, {silent.address()}, c.selected);
        if (c.dropAddresses)
            table.setColumnItems(ListBox6_ipaddress, {});
        const std::vector<std::string> before = table.columnItems(ListBox1_servername);
        RecordingPump pump;
        ScriptedDialogs dialogs;
        ItemState item{c.enabled};
        const auto start = Clock::now();
        Updatesingle(table, pump, dialogs, item.reader(), item.writer());
        EXPECT_LT(elapsedMs(start), 100);
        EXPECT_EQ(item.enabled, c.enabled);
        EXPECT_EQ(table.columnItems(ListBox1_servername), before);
    }
}

TEST(SingleUpdate, APortThatIsNotANumberLeavesTheMarkerAndTheItemDisabled)
{
    ServerTable table;
    fill(table, {"127.0.0.1:10x"}, 0);
    RecordingPump pump;
    ScriptedDialogs dialogs;
    ItemState item;
    Updatesingle(table, pump, dialogs, item.reader(), item.writer());
    EXPECT_FALSE(item.enabled);
    EXPECT_EQ(table.cell(ListBox1_servername, 0), "----= UPDATING =----");
    EXPECT_EQ(table.cell(ListBox3_ping, 0), "?");
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].kind, DialogKind::Error);
    EXPECT_EQ(dialogs.shown()[0].text, "'10x' is not a valid integer value");
}

// What the table does while the server is asked decides where the result goes: into the row that holds the asked
// address, wherever it went, and nowhere when no row holds it.
TEST(SingleUpdate, TheResultFollowsTheAddressThroughSortsAndRefreshes)
{
    struct Case {
        const char *what;
        std::function<void(ServerTable &, const std::vector<std::string> &)> meanwhile;
        int rowWithResult; // -1: no row shows the result
    };
    const std::vector<Case> cases = {
        {"nothing", [](ServerTable &, const std::vector<std::string> &) {}, 0},
        {"sorted by name: the marked row moved down",
         [](ServerTable &t, const std::vector<std::string> &) {
             ColumnSorter sorter(QLocale::c());
             sorter.sortByArea(t, sortAreaByCliName("name"));
             sorter.sortByArea(t, sortAreaByCliName("name"));
         },
         2},
        {"refreshed without the server",
         [](ServerTable &t, const std::vector<std::string> &a) {
             t.ClearTable();
             fill(t, {a[1], a[2]}, 0);
         },
         -1},
        {"refreshed with the server elsewhere",
         [](ServerTable &t, const std::vector<std::string> &a) {
             t.ClearTable();
             fill(t, {a[2], a[1], a[0]}, 0);
         },
         2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        UdpServers servers(3, [](size_t, const std::string &) {
            return std::vector<UdpServers::Send>{{80, kAlphaReply}};
        });
        const std::vector<std::string> addresses = {servers.address(0), servers.address(1), servers.address(2)};
        ServerTable table;
        fill(table, addresses, 0);
        // The name "----= UPDATING =----" sorts first, so the double click above puts it last.
        RecordingPump pump;
        pump.post([&] { c.meanwhile(table, addresses); });
        ScriptedDialogs dialogs;
        ItemState item;
        Updatesingle(table, pump, dialogs, item.reader(), item.writer(), {{}, 10});
        for (int row = 0; row < table.rowCount(ListBox1_servername); ++row) {
            const bool hasResult = table.cell(ListBox1_servername, row) == "Alpha";
            EXPECT_EQ(hasResult, row == c.rowWithResult) << row;
            if (hasResult) {
                EXPECT_EQ(table.cell(ListBox6_ipaddress, row), addresses[0]);
            }
        }
    }
}
