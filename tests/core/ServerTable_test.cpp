#include "core/ServerTable.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

using namespace pelorix;

namespace
{

class Recorder : public ServerTableObserver
{
  public:
    void rowsInserted(Column c, int first, int count) override { log("ins", c, first, count); }
    void rowsRemoved(Column c, int first, int count) override { log("rem", c, first, count); }
    void cellChanged(Column c, int row) override { log("cell", c, row, 1); }
    void columnReset(Column c) override { log("reset", c, 0, 0); }
    void columnStateChanged(Column c) override { log("state", c, 0, 0); }

    // The columns touched by events of one kind, in order.
    std::vector<int> columns(const std::string &kind) const
    {
        std::vector<int> out;
        for (const auto &e : events) {
            if (e.kind == kind)
                out.push_back(e.column);
        }
        return out;
    }

    struct Event {
        std::string kind;
        int column, first, count;
    };
    std::vector<Event> events;

  private:
    void log(const char *kind, Column c, int first, int count) { events.push_back({kind, c, first, count}); }
};

const std::vector<int> kAllColumns = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
const std::vector<int> kValueColumns = {0, 1, 2, 3, 4, 5, 7, 8};
const std::vector<int> kPlaceholderColumns = {0, 1, 2, 3, 4, 5, 7, 8, 9};

std::vector<std::string> rowOf(const ServerTable &t, int r)
{
    std::vector<std::string> cells;
    for (int c = 0; c < ColumnCount; ++c)
        cells.push_back(r < t.rowCount(static_cast<Column>(c)) ? t.cell(static_cast<Column>(c), r) : "-");
    return cells;
}

} // namespace

TEST(ServerTable, StartsEmptyVisibleWithTheLockColumnDisabled)
{
    ServerTable t;
    for (int c = 0; c < ColumnCount; ++c) {
        const auto &col = t.column(static_cast<Column>(c));
        EXPECT_TRUE(col.items.empty());
        EXPECT_TRUE(col.visible);
        EXPECT_EQ(col.enabled, c != ListBox0_index) << c;
        EXPECT_EQ(col.selected, -1);
    }
    EXPECT_FALSE(t.ReshowColumns);
}

TEST(ServerTable, AppendPlaceholderRowLeavesTheAddressColumnAlone)
{
    for (const std::vector<std::string> &addresses :
         {std::vector<std::string>{}, std::vector<std::string>{"1.2.3.4:10481", "5.6.7.8:10481", "9.9.9.9:1"}}) {
        ServerTable t;
        t.setColumnItems(ListBox6_ipaddress, addresses);
        Recorder r;
        t.addObserver(&r);
        t.AppendPlaceholderRow();
        EXPECT_EQ(r.columns("ins"), kPlaceholderColumns);
        EXPECT_EQ(t.columnItems(ListBox6_ipaddress), addresses);
        const std::string address = addresses.empty() ? "-" : addresses[0];
        EXPECT_EQ(rowOf(t, 0), (std::vector<std::string>{"?", "?", "?", "?", "?", "?", address, "?", "?", "Join"}));
        EXPECT_FALSE(t.isChecked(0));
    }
}

TEST(ServerTable, PutRowValuesKeepsSelectionAddressAndCheck)
{
    ServerTable t;
    t.setColumnItems(ListBox6_ipaddress, {"a:1", "b:1"});
    t.AppendPlaceholderRow();
    t.AppendPlaceholderRow();
    t.setChecked(1, true);
    for (int c = 0; c < ColumnCount; ++c)
        t.setSelectedIndex(static_cast<Column>(c), 1);
    Recorder r;
    t.addObserver(&r);
    t.PutRowValues(1, "\xAE", "Name", "3/16", "45", "CTF", "map", "VEKTA 4", "1.0");
    EXPECT_EQ(r.columns("cell"), kValueColumns);
    EXPECT_TRUE(r.columns("state").empty());
    EXPECT_EQ(rowOf(t, 1),
              (std::vector<std::string>{"\xAE", "Name", "3/16", "45", "CTF", "map", "b:1", "VEKTA 4", "1.0", "Join"}));
    EXPECT_EQ(rowOf(t, 0)[1], "?");
    for (int c = 0; c < ColumnCount; ++c)
        EXPECT_EQ(t.selectedIndex(static_cast<Column>(c)), 1) << c;
    EXPECT_TRUE(t.isChecked(1));
}

TEST(ServerTable, PutRowValuesOutsideTheTableFails)
{
    ServerTable t;
    t.AppendPlaceholderRow();
    EXPECT_THROW(t.PutRowValues(1, "", "", "", "", "", "", "", ""), std::out_of_range);
    EXPECT_THROW(t.PutRowValues(-1, "", "", "", "", "", "", "", ""), std::out_of_range);
    EXPECT_EQ(t.cell(ListBox1_servername, 0), "?");
}

TEST(ServerTable, DeleteRowBeyondTheAddressColumnLeavesItAlone)
{
    ServerTable t;
    t.setColumnItems(ListBox6_ipaddress, {"a:1"});
    for (int k = 0; k < 3; ++k)
        t.AppendPlaceholderRow();
    t.PutRowValues(2, " ", "third", "", "", "", "", "", "");
    Recorder r;
    t.addObserver(&r);
    t.DeleteRow(2);
    EXPECT_EQ(r.columns("rem"), kPlaceholderColumns);
    EXPECT_EQ(t.columnItems(ListBox6_ipaddress), std::vector<std::string>{"a:1"});
    for (int c : kPlaceholderColumns)
        EXPECT_EQ(t.rowCount(static_cast<Column>(c)), 2) << c;

    r.events.clear();
    t.DeleteRow(0);
    EXPECT_EQ(r.columns("rem"), kAllColumns); // in the order lock, name, ..., address, ..., check
    EXPECT_EQ(t.rowCount(ListBox6_ipaddress), 0);
    EXPECT_EQ(t.rowCount(ListBox1_servername), 1);
    t.DeleteRow(5); // no column has that row
    EXPECT_EQ(t.rowCount(ListBox1_servername), 1);
}

TEST(ServerTable, DeleteRowMovesTheSelectionWithItsRow)
{
    ServerTable t;
    for (int k = 0; k < 4; ++k)
        t.AppendPlaceholderRow();
    t.setChecked(3, true);
    t.setSelectedIndex(ListBox1_servername, 2);
    t.DeleteRow(0);
    EXPECT_EQ(t.selectedIndex(ListBox1_servername), 1);
    EXPECT_TRUE(t.isChecked(2)); // the check state moves with its row
    t.DeleteRow(1);
    EXPECT_EQ(t.selectedIndex(ListBox1_servername), -1);
    EXPECT_EQ(t.rowCount(Listbox10_check), 2);
}

TEST(ServerTable, ClearTableForgetsRowsSelectionAndChecks)
{
    ServerTable t;
    t.setColumnItems(ListBox6_ipaddress, {"a:1", "b:1"});
    t.AppendPlaceholderRow();
    t.AppendPlaceholderRow();
    t.setChecked(0, true);
    t.setSelectedIndex(ListBox1_servername, 1);
    Recorder r;
    t.addObserver(&r);
    t.ClearTable();
    EXPECT_EQ(r.columns("reset"), kAllColumns);
    for (int c = 0; c < ColumnCount; ++c) {
        EXPECT_EQ(t.rowCount(static_cast<Column>(c)), 0);
        EXPECT_EQ(t.selectedIndex(static_cast<Column>(c)), -1);
    }
    t.AppendPlaceholderRow();
    EXPECT_EQ(t.cell(Listbox10_check, 0), "Join");
    EXPECT_FALSE(t.isChecked(0));
}

TEST(ServerTable, SetColumnsVisible)
{
    ServerTable t;
    t.SetColumnsVisible(false, true);
    for (int c = 0; c < ColumnCount; ++c)
        EXPECT_FALSE(t.column(static_cast<Column>(c)).visible) << c;
    t.SetColumnsVisible(true, false); // the hidden name column stays hidden
    for (int c = 0; c < ColumnCount; ++c)
        EXPECT_EQ(t.column(static_cast<Column>(c)).visible, c != ListBox1_servername) << c;
    t.SetColumnsVisible(true, true);
    t.SetColumnsVisible(false, false);
    for (int c = 0; c < ColumnCount; ++c)
        EXPECT_EQ(t.column(static_cast<Column>(c)).visible, c == ListBox1_servername) << c;
}

TEST(ServerTable, SyncColumnsFollowsTheNameColumn)
{
    ServerTable t;
    t.setColumnItems(ListBox6_ipaddress, {"a:1", "b:1", "c:1"});
    for (int k = 0; k < 60; ++k)
        t.AppendPlaceholderRow();
    for (int c = 0; c < ColumnCount; ++c)
        t.setEnabled(static_cast<Column>(c), false);
    t.setTopRow(ListBox1_servername, 20);
    t.SyncColumns();
    for (int c = 0; c < ColumnCount; ++c) {
        const auto &col = t.column(static_cast<Column>(c));
        const int expectedTop = c == ListBox6_ipaddress ? 2 : 20; // a shorter column stops at its last row
        EXPECT_EQ(col.topRow, expectedTop) << c;
        EXPECT_EQ(col.scrollBarVisible, c == ListBox1_servername) << c;
        EXPECT_EQ(col.enabled, c != ListBox0_index && c != ListBox1_servername)
            << c; // the name column is the refresh's
        EXPECT_TRUE(col.visible) << c;
    }

    // Nothing changed: the hook that runs before every event tells nobody anything.
    Recorder r;
    t.addObserver(&r);
    t.SyncColumns();
    EXPECT_TRUE(r.events.empty());

    // A scroll by wheel or keyboard: the others follow without being hidden.
    r.events.clear();
    t.setTopRow(ListBox1_servername, 30);
    t.SyncColumns();
    EXPECT_EQ(r.columns("state"), (std::vector<int>{1, 0, 2, 3, 4, 5, 7, 8, 9})); // the name column's own scroll first
    EXPECT_EQ(t.column(ListBox8_version).topRow, 30);
}

TEST(ServerTable, SyncColumnsShowsTheColumnsHiddenForAScrollBarJump)
{
    ServerTable t;
    for (int k = 0; k < 60; ++k)
        t.AppendPlaceholderRow();
    t.SetColumnsVisible(false, false); // the name column's scroll-bar handler
    t.ReshowColumns = true;
    t.setTopRow(ListBox1_servername, 40);
    t.SyncColumns();
    EXPECT_FALSE(t.ReshowColumns);
    for (int c = 0; c < ColumnCount; ++c) {
        EXPECT_TRUE(t.column(static_cast<Column>(c)).visible) << c;
        EXPECT_EQ(t.column(static_cast<Column>(c)).topRow, c == ListBox6_ipaddress ? 0 : 40) << c; // it has no rows
    }

    // With the name column hidden (a refresh), the reshow leaves it hidden.
    t.SetColumnsVisible(false, true);
    t.ReshowColumns = true;
    t.SyncColumns();
    EXPECT_FALSE(t.column(ListBox1_servername).visible);
    EXPECT_TRUE(t.column(ListBox2_players).visible);
}

TEST(ServerTable, EachStateSetterTellsTheObserversOnlyOfAChange)
{
    struct Case {
        const char *name;
        std::function<void(ServerTable &, bool changed)> set;
        std::function<bool(const ServerTable::ColumnState &)> changed;
    };
    const Case cases[] = {
        {"selected", [](ServerTable &t, bool on) { t.setSelectedIndex(ListBox2_players, on ? 2 : -1); },
         [](const ServerTable::ColumnState &c) { return c.selected == 2; }},
        {"top row", [](ServerTable &t, bool on) { t.setTopRow(ListBox2_players, on ? 3 : 0); },
         [](const ServerTable::ColumnState &c) { return c.topRow == 3; }},
        {"enabled", [](ServerTable &t, bool on) { t.setEnabled(ListBox2_players, !on); },
         [](const ServerTable::ColumnState &c) { return !c.enabled; }},
        {"visible", [](ServerTable &t, bool on) { t.setVisible(ListBox2_players, !on); },
         [](const ServerTable::ColumnState &c) { return !c.visible; }},
        {"scroll bar", [](ServerTable &t, bool on) { t.setScrollBarVisible(ListBox2_players, !on); },
         [](const ServerTable::ColumnState &c) { return !c.scrollBarVisible; }},
    };
    for (const auto &c : cases) {
        ServerTable t;
        for (int k = 0; k < 5; ++k)
            t.AppendPlaceholderRow();
        Recorder r;
        t.addObserver(&r);
        c.set(t, false); // already so: nothing to tell
        EXPECT_TRUE(r.events.empty()) << c.name;
        c.set(t, true);
        EXPECT_TRUE(c.changed(t.column(ListBox2_players))) << c.name;
        EXPECT_EQ(r.columns("state"), std::vector<int>{ListBox2_players}) << c.name;
        c.set(t, true);
        EXPECT_EQ(r.events.size(), 1u) << c.name;
        c.set(t, false);
        EXPECT_FALSE(c.changed(t.column(ListBox2_players))) << c.name;
        EXPECT_EQ(r.events.size(), 2u) << c.name;
        t.removeObserver(&r);
    }
}

TEST(ServerTable, SetColumnItemsRebuildsAColumn)
{
    ServerTable t;
    t.setColumnItems(ListBox6_ipaddress, {"a:1", "b:1"});
    t.setSelectedIndex(ListBox6_ipaddress, 1);
    Recorder r;
    t.addObserver(&r);
    t.setColumnItems(ListBox6_ipaddress, {"b:1"});
    EXPECT_EQ(r.columns("reset"), std::vector<int>{ListBox6_ipaddress});
    EXPECT_EQ(t.selectedIndex(ListBox6_ipaddress), -1);
    t.setSelectedIndex(ListBox6_ipaddress, 5); // out of range means none
    EXPECT_EQ(t.selectedIndex(ListBox6_ipaddress), -1);
    t.removeObserver(&r);
    t.setColumnItems(ListBox6_ipaddress, {});
    EXPECT_EQ(r.events.size(), 1u);
}

TEST(ServerTable, SetCellChangesOneCellAndNothingElse)
{
    ServerTable t;
    for (int i = 0; i < 3; ++i)
        t.AppendPlaceholderRow();
    t.setSelectedIndex(ListBox3_ping, 2);
    Recorder r;
    t.addObserver(&r);
    EXPECT_TRUE(t.setCell(ListBox3_ping, 1, "45"));
    EXPECT_FALSE(t.setCell(ListBox3_ping, 3, "x"));
    EXPECT_FALSE(t.setCell(ListBox6_ipaddress, 0, "x")) << "the address column has no rows";
    EXPECT_EQ(t.columnItems(ListBox3_ping), (std::vector<std::string>{"?", "45", "?"}));
    EXPECT_EQ(t.selectedIndex(ListBox3_ping), 2);
    EXPECT_EQ(r.columns("cell"), std::vector<int>{ListBox3_ping});
    t.removeObserver(&r);
}

// Whole rows move, check states with them; a shorter column moves only where the order stays inside it.
TEST(ServerTable, ReorderRowsMovesWholeRows)
{
    struct Case {
        const char *what;
        std::vector<int> order;
        int block;
        std::vector<std::string> names;
        std::vector<std::string> addresses; // the column holds a:1 .. c:1 for the first three rows only
        std::vector<bool> checks;
    };
    const std::vector<Case> cases = {
        {"the full rows as a block, the fourth row apart",
         {2, 0, 1, 3},
         3,
         {"n2", "n0", "n1", "n3"},
         {"c:1", "a:1", "b:1"},
         {true, false, false, false}},
        {"an order that crosses the short column's end leaves it",
         {3, 2, 1, 0},
         3,
         {"n3", "n2", "n1", "n0"},
         {"a:1", "b:1", "c:1"},
         {false, true, false, false}},
        {"the first rows only",
         {1, 0},
         2,
         {"n1", "n0", "n2", "n3"},
         {"b:1", "a:1", "c:1"},
         {false, false, true, false}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ServerTable t;
        for (int i = 0; i < 4; ++i) {
            t.AppendPlaceholderRow();
            t.PutRowValues(i, " ", "n" + std::to_string(i), "?", "?", "?", "?", "?", "?");
        }
        t.setColumnItems(ListBox6_ipaddress, {"a:1", "b:1", "c:1"});
        t.setChecked(2, true);
        for (int col = 0; col < ColumnCount; ++col)
            t.setSelectedIndex(static_cast<Column>(col), 1);
        Recorder r;
        t.addObserver(&r);
        t.reorderRows(c.order, c.block);
        t.removeObserver(&r);
        EXPECT_EQ(t.columnItems(ListBox1_servername), c.names);
        EXPECT_EQ(t.columnItems(ListBox6_ipaddress), c.addresses);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(t.isChecked(i), c.checks[static_cast<size_t>(i)]) << i;
        EXPECT_EQ(t.columnItems(Listbox10_check), std::vector<std::string>(4, "Join"));
        for (int col = 0; col < ColumnCount; ++col)
            EXPECT_EQ(t.selectedIndex(static_cast<Column>(col)), 1) << col;
        EXPECT_TRUE(r.columns("cell").empty());
    }
}
