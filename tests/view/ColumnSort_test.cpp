#include "view/ColumnSort.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pelorix;

namespace
{

// One server: lock, name, players, ping, game type, map, address, variant, version, checked.
struct Server {
    std::string lock, name, players, ping, gametype, map, address, variant, version;
    bool checked = false;
};

Server named(const std::string &name)
{
    return {" ", name, "1/8", "50", "Kessrin", "Harbour", "10.0.0.1:10481", "VEKTA 4", "1.0", false};
}

void fill(ServerTable &table, const std::vector<Server> &servers)
{
    std::vector<std::string> addresses;
    for (size_t k = 0; k < servers.size(); ++k) {
        const Server &s = servers[k];
        table.AppendPlaceholderRow();
        table.PutRowValues(static_cast<int>(k), s.lock, s.name, s.players, s.ping, s.gametype, s.map, s.variant,
                           s.version);
        addresses.push_back(s.address);
    }
    table.setColumnItems(ListBox6_ipaddress, addresses);
    for (size_t k = 0; k < servers.size(); ++k)
        table.setChecked(static_cast<int>(k), servers[k].checked);
}

std::vector<std::string> column(const ServerTable &table, Column c)
{
    return table.columnItems(c);
}

// Every row as one text of its ten cells, so a test sees rows travel whole.
std::vector<std::string> rows(const ServerTable &table)
{
    std::vector<std::string> out;
    for (int r = 0; r < table.rowCount(ListBox1_servername); ++r) {
        std::string line;
        for (int c = 0; c < Listbox10_check; ++c)
            line +=
                (r < table.rowCount(static_cast<Column>(c)) ? table.cell(static_cast<Column>(c), r) : "<none>") + "|";
        line += table.isChecked(r) ? "X" : "-";
        out.push_back(line);
    }
    return out;
}

int area(const char *cliName)
{
    const int k = sortAreaByCliName(cliName);
    EXPECT_GE(k, 0) << cliName;
    return k;
}

} // namespace

// Each column's key cells in table order, then the key column after one click and after a second click.
TEST(ColumnSort, OrdersEachColumnByItsKindInBothDirections)
{
    struct Case {
        const char *column;
        Column key;
        std::vector<std::string> cells;
        std::vector<std::string> ascending;
        std::vector<std::string> descending;
    };
    const std::vector<Case> cases = {
        {"ping", ListBox3_ping, {"120", "45", "80"}, {"45", "80", "120"}, {"120", "80", "45"}},
        // Text order ignores case: alpha before Beta, not the byte order that puts B first.
        {"name",
         ListBox1_servername,
         {"Beta", "alpha", "charlie"},
         {"alpha", "Beta", "charlie"},
         {"charlie", "Beta", "alpha"}},
        // The slash keeps players cells from being numbers: they sort as text.
        {"players", ListBox2_players, {"2/16", "0/8", "10/16"}, {"0/8", "10/16", "2/16"}, {"2/16", "10/16", "0/8"}},
        // Versions all read as numbers with a full stop as the decimal separator: 1.10 is 1.1, so below 1.5.
        {"version", ListBox8_version, {"1.5", "1.10", "0.9"}, {"0.9", "1.10", "1.5"}, {"1.5", "1.10", "0.9"}},
        {"version",
         ListBox8_version,
         {"10", "9.5", "-1", "007"},
         {"-1", "007", "9.5", "10"},
         {"10", "9.5", "007", "-1"}},
        // One version that is not a number turns the whole column into text.
        {"version", ListBox8_version, {"1.5", "1.10", "beta"}, {"1.10", "1.5", "beta"}, {"beta", "1.5", "1.10"}},
        {"map",
         ListBox5_mapname,
         {"Harbour", "dunes", "Canyon"},
         {"Canyon", "dunes", "Harbour"},
         {"Harbour", "dunes", "Canyon"}},
        {"address",
         ListBox6_ipaddress,
         {"10.0.0.2:10481", "10.0.0.3:10481", "10.0.0.1:10481"},
         {"10.0.0.1:10481", "10.0.0.2:10481", "10.0.0.3:10481"},
         {"10.0.0.3:10481", "10.0.0.2:10481", "10.0.0.1:10481"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.column);
        std::vector<Server> servers;
        for (size_t k = 0; k < c.cells.size(); ++k) {
            Server s = named("server" + std::to_string(k));
            std::string *cells[] = {&s.lock, &s.name,    &s.players, &s.ping,   &s.gametype,
                                    &s.map,  &s.address, &s.variant, &s.version};
            *cells[c.key] = c.cells[k];
            servers.push_back(s);
        }
        ServerTable table;
        fill(table, servers);
        ColumnSorter sorter(QLocale::c());
        EXPECT_FALSE(sorter.sortByArea(table, area(c.column)));
        EXPECT_EQ(column(table, c.key), c.ascending);
        EXPECT_TRUE(sorter.sortByArea(table, area(c.column)));
        EXPECT_EQ(column(table, c.key), c.descending);
    }
}

TEST(ColumnSort, NumbersFollowTheLocaleDecimalSeparator)
{
    struct Case {
        QLocale locale;
        std::vector<std::string> cells;
        SortKind kind;
    };
    const std::vector<Case> cases = {
        {QLocale::c(), {"1.0", "1.1"}, SortKind::Number},
        {QLocale(QLocale::German, QLocale::Germany), {"1,0", "1,1"}, SortKind::Number},
        {QLocale(QLocale::German, QLocale::Germany), {"1.0", "1.1x"}, SortKind::Text},
        {QLocale::c(), {"0/8", "10/16"}, SortKind::Text},
        {QLocale::c(), {"-1", "0", "007", "3.25"}, SortKind::Number},
        {QLocale(QLocale::German, QLocale::Germany), {"-1", "3,25", "12"}, SortKind::Number},
        {QLocale::c(), {"1", "-"}, SortKind::Text},
        {QLocale::c(), {}, SortKind::Number},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.locale.name().toStdString() + " " + (c.cells.empty() ? "" : c.cells.front()));
        EXPECT_EQ(chooseSortKind(c.cells, c.locale), c.kind);
    }
}

TEST(ColumnSort, EqualKeysKeepTheirOrderInBothDirections)
{
    std::vector<Server> servers = {named("first"), named("second"), named("third"), named("fourth")};
    servers[0].map = "Harbour";
    servers[1].map = "Canyon";
    servers[2].map = "harbour";
    servers[3].map = "Canyon";
    ServerTable table;
    fill(table, servers);
    ColumnSorter sorter(QLocale::c());
    sorter.sortByArea(table, area("map"));
    EXPECT_EQ(column(table, ListBox1_servername), (std::vector<std::string>{"second", "fourth", "first", "third"}));
    sorter.sortByArea(table, area("map"));
    EXPECT_EQ(column(table, ListBox1_servername), (std::vector<std::string>{"first", "third", "second", "fourth"}));
}

TEST(ColumnSort, CellsThatAreNotNumbersGoLastInTheirOrderWhicheverTheDirection)
{
    std::vector<Server> servers = {named("a"), named("b"), named("c"), named("d"), named("e")};
    const char *pings[] = {"?", "80", "---", "20", "?"};
    for (size_t k = 0; k < servers.size(); ++k)
        servers[k].ping = pings[k];
    ServerTable table;
    fill(table, servers);
    ColumnSorter sorter(QLocale::c());
    sorter.sortByArea(table, area("ping"));
    EXPECT_EQ(column(table, ListBox1_servername), (std::vector<std::string>{"d", "b", "a", "c", "e"}));
    sorter.sortByArea(table, area("ping"));
    EXPECT_EQ(column(table, ListBox1_servername), (std::vector<std::string>{"b", "d", "a", "c", "e"}));
}

TEST(ColumnSort, TheCheckedRowMovesToTheTopWithAllItsCells)
{
    std::vector<Server> servers = {named("alpha"), named("bravo"), named("charlie")};
    servers[2] = {"\xAE", "charlie", "3/16", "77", "Druvane", "Canyon", "10.0.0.3:10481", "VEKTA 4X", "1.1", true};
    ServerTable table;
    fill(table, servers);
    const std::vector<std::string> before = rows(table);
    ColumnSorter sorter(QLocale::c());
    sorter.sortByArea(table, area("join"));
    const std::vector<std::string> after = rows(table);
    EXPECT_EQ(after, (std::vector<std::string>{before[2], before[0], before[1]}));
    EXPECT_TRUE(table.isChecked(0));
    EXPECT_EQ(column(table, Listbox10_check), (std::vector<std::string>{"Join", "Join", "Join"}));
    sorter.sortByArea(table, area("join"));
    EXPECT_EQ(rows(table), (std::vector<std::string>{before[0], before[1], before[2]}));
}

// Each title has its own toggle; a click on another title in between does not reset it, and a click on a table
// with fewer than two rows flips it too.
TEST(ColumnSort, EachTitleTogglesItsOwnDirection)
{
    std::vector<Server> servers = {named("x"), named("y"), named("z")};
    servers[0].ping = "120";
    servers[1].ping = "45";
    servers[2].ping = "80";
    ServerTable table;
    fill(table, servers);
    ColumnSorter sorter(QLocale::c());
    sorter.sortByArea(table, area("ping"));
    sorter.sortByArea(table, area("name"));
    EXPECT_TRUE(sorter.descendingNext(area("ping")));
    sorter.sortByArea(table, area("ping"));
    EXPECT_EQ(column(table, ListBox3_ping), (std::vector<std::string>{"120", "80", "45"}));

    for (const size_t count : {size_t{0}, size_t{1}}) {
        SCOPED_TRACE(count);
        ServerTable small;
        fill(small, std::vector<Server>(count, named("only")));
        const std::vector<std::string> before = rows(small);
        ColumnSorter fresh(QLocale::c());
        EXPECT_FALSE(fresh.sortByArea(small, area("name")));
        EXPECT_TRUE(fresh.descendingNext(area("name")));
        EXPECT_EQ(rows(small), before);
        for (int c = 0; c < ColumnCount; ++c)
            EXPECT_TRUE(small.column(static_cast<Column>(c)).visible);
    }
}

TEST(ColumnSort, KeepsTheSelectedIndexAndShowsTheColumnsAgain)
{
    std::vector<Server> servers = {named("c"), named("a"), named("b")};
    ServerTable table;
    fill(table, servers);
    for (int c = 0; c < ColumnCount; ++c)
        table.setSelectedIndex(static_cast<Column>(c), 1);
    ColumnSorter sorter(QLocale::c());
    sorter.sortByArea(table, area("name"));
    for (int c = 0; c < ColumnCount; ++c) {
        EXPECT_EQ(table.selectedIndex(static_cast<Column>(c)), 1) << c;
        EXPECT_TRUE(table.column(static_cast<Column>(c)).visible) << c;
    }
    EXPECT_EQ(table.cell(ListBox1_servername, 1), "b");
}

// Rows of servers that never answered have no address cell: they stay after the full rows and keep their cells.
TEST(ColumnSort, RowsWithoutAnAddressKeepTheirOwnCells)
{
    ServerTable table;
    fill(table, {named("delta"), named("bravo")});
    table.setColumnItems(ListBox6_ipaddress, {"10.0.0.4:10481", "10.0.0.2:10481"});
    table.AppendPlaceholderRow();
    table.AppendPlaceholderRow();
    table.PutRowValues(3, " ", "alpha", "?", "?", "?", "?", "?", "?");
    ColumnSorter sorter(QLocale::c());
    sorter.sortByArea(table, area("name"));
    EXPECT_EQ(column(table, ListBox1_servername), (std::vector<std::string>{"bravo", "delta", "?", "alpha"}));
    EXPECT_EQ(column(table, ListBox6_ipaddress), (std::vector<std::string>{"10.0.0.2:10481", "10.0.0.4:10481"}));
    sorter.sortByArea(table, area("name"));
    EXPECT_EQ(column(table, ListBox1_servername), (std::vector<std::string>{"delta", "bravo", "alpha", "?"}));
    EXPECT_EQ(column(table, ListBox6_ipaddress), (std::vector<std::string>{"10.0.0.4:10481", "10.0.0.2:10481"}));
}
