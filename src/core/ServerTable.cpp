#include "core/ServerTable.h"

#include <algorithm>
#include <stdexcept>

namespace pelorix
{

namespace
{

// The eight columns that carry a placeholder and take the values of a row, in the order they are written.
constexpr Column kValueColumns[] = {ListBox0_index,    ListBox1_servername, ListBox2_players, ListBox3_ping,
                                    ListBox4_gametype, ListBox5_mapname,    ListBox7_mod,     ListBox8_version};

// The nine columns that follow the name column, left to right.
constexpr Column kFollowers[] = {ListBox0_index,    ListBox2_players, ListBox3_ping,
                                 ListBox4_gametype, ListBox5_mapname, ListBox6_ipaddress,
                                 ListBox7_mod,      ListBox8_version, Listbox10_check};

constexpr const char *kJoin = "Join";

} // namespace

ServerTable::ServerTable()
{
    m_columns[ListBox0_index].enabled = false;
}

void ServerTable::AppendPlaceholderRow()
{
    for (Column c : kValueColumns) {
        auto &col = m_columns[c];
        col.items.push_back("?");
        for (auto *o : m_observers)
            o->rowsInserted(c, static_cast<int>(col.items.size()) - 1, 1);
    }
    auto &check = m_columns[Listbox10_check];
    check.items.push_back(kJoin);
    check.checked.push_back(0);
    for (auto *o : m_observers)
        o->rowsInserted(Listbox10_check, static_cast<int>(check.items.size()) - 1, 1);
}

void ServerTable::PutRowValues(int row, const std::string &lock, const std::string &name, const std::string &players,
                               const std::string &ping, const std::string &gametype, const std::string &map,
                               const std::string &variant, const std::string &version)
{
    const std::string *values[] = {&lock, &name, &players, &ping, &gametype, &map, &variant, &version};
    for (size_t k = 0; k < std::size(kValueColumns); ++k) {
        const Column c = kValueColumns[k];
        auto &col = m_columns[c];
        if (row < 0 || row >= static_cast<int>(col.items.size()))
            throw std::out_of_range("List index out of bounds (" + std::to_string(row) + ")");
        col.items[static_cast<size_t>(row)] = *values[k];
        for (auto *o : m_observers)
            o->cellChanged(c, row);
    }
}

void ServerTable::DeleteRow(int row)
{
    for (int c = 0; c < ColumnCount; ++c) {
        auto &col = m_columns[c];
        if (row < 0 || row >= static_cast<int>(col.items.size()))
            continue;
        col.items.erase(static_cast<size_t>(row));
        if (c == Listbox10_check)
            col.checked.erase(static_cast<size_t>(row));
        bool stateChanged = false;
        if (col.selected == row) {
            col.selected = -1;
            stateChanged = true;
        } else if (col.selected > row) {
            --col.selected;
            stateChanged = true;
        }
        const int last = std::max(0, static_cast<int>(col.items.size()) - 1);
        if (col.topRow > last) {
            col.topRow = last;
            stateChanged = true;
        }
        for (auto *o : m_observers) {
            o->rowsRemoved(static_cast<Column>(c), row, 1);
            if (stateChanged)
                o->columnStateChanged(static_cast<Column>(c));
        }
    }
}

void ServerTable::ClearTable()
{
    for (int c = 0; c < ColumnCount; ++c) {
        auto &col = m_columns[c];
        col.items.clear();
        col.checked.clear();
        col.selected = -1;
        col.topRow = 0;
        for (auto *o : m_observers)
            o->columnReset(static_cast<Column>(c));
    }
}

void ServerTable::SetColumnsVisible(bool visible, bool withName)
{
    for (int c = 0; c < ColumnCount; ++c) {
        if (c == ListBox1_servername && !withName)
            continue;
        setVisible(static_cast<Column>(c), visible);
    }
}

void ServerTable::SyncColumns()
{
    const int top = m_columns[ListBox1_servername].topRow;
    for (Column c : kFollowers)
        setTopRow(c, top);
    for (Column c : kFollowers)
        setScrollBarVisible(c, false);
    for (Column c : kFollowers) {
        if (c != ListBox0_index)
            setEnabled(c, true);
    }
    if (ReshowColumns) {
        SetColumnsVisible(true, false);
        ReshowColumns = false;
    }
}

void ServerTable::setColumnItems(Column c, std::vector<std::string> items)
{
    auto &col = m_columns[c];
    const size_t rows = items.size();
    col.items = RowList<std::string>(std::move(items));
    col.checked = RowList<char>(std::vector<char>(c == Listbox10_check ? rows : 0, 0));
    col.selected = -1;
    col.topRow = 0;
    for (auto *o : m_observers)
        o->columnReset(c);
}

bool ServerTable::setCell(Column c, int row, std::string text)
{
    auto &col = m_columns[c];
    if (row < 0 || row >= static_cast<int>(col.items.size()))
        return false;
    col.items[static_cast<size_t>(row)] = std::move(text);
    for (auto *o : m_observers)
        o->cellChanged(c, row);
    return true;
}

namespace
{

// order restricted to [0, rows): the whole of it when it stays inside, else its first block rows when those stay
// inside, else nothing.
size_t reorderableRows(const std::vector<int> &order, size_t rows, int block)
{
    const auto inside = [&](size_t count) {
        return std::all_of(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(count),
                           [&](int k) { return k >= 0 && static_cast<size_t>(k) < count; });
    };
    const size_t whole = std::min(order.size(), rows);
    if (inside(whole))
        return whole;
    const size_t head = std::min(static_cast<size_t>(std::max(block, 0)), whole);
    return inside(head) ? head : 0;
}

template <typename T> void moveRows(RowList<T> &rows, const std::vector<int> &order, size_t count)
{
    std::vector<T> moved;
    moved.reserve(rows.size());
    for (size_t k = 0; k < count; ++k)
        moved.push_back(std::move(rows[static_cast<size_t>(order[k])]));
    for (size_t k = count; k < rows.size(); ++k)
        moved.push_back(std::move(rows[k]));
    rows = RowList<T>(std::move(moved));
}

} // namespace

void ServerTable::reorderRows(const std::vector<int> &order, int block)
{
    for (int c = 0; c < ColumnCount; ++c) {
        auto &col = m_columns[c];
        const size_t count = reorderableRows(order, col.items.size(), block);
        if (count < 2)
            continue;
        moveRows(col.items, order, count);
        if (c == Listbox10_check)
            moveRows(col.checked, order, std::min(count, col.checked.size()));
        for (auto *o : m_observers)
            o->columnReset(static_cast<Column>(c));
    }
}

template <typename T> void ServerTable::changeState(Column c, T ColumnState::*field, T value)
{
    T &current = m_columns[c].*field;
    if (current == value)
        return;
    current = value;
    for (auto *o : m_observers)
        o->columnStateChanged(c);
}

void ServerTable::setSelectedIndex(Column c, int row)
{
    if (row < 0 || row >= rowCount(c))
        row = -1;
    changeState(c, &ColumnState::selected, row);
}

// Like a list control, the top row stays within the rows the column has.
void ServerTable::setTopRow(Column c, int row)
{
    changeState(c, &ColumnState::topRow, std::clamp(row, 0, std::max(0, rowCount(c) - 1)));
}

void ServerTable::setEnabled(Column c, bool enabled)
{
    changeState(c, &ColumnState::enabled, enabled);
}

void ServerTable::setVisible(Column c, bool visible)
{
    changeState(c, &ColumnState::visible, visible);
}

void ServerTable::setScrollBarVisible(Column c, bool visible)
{
    changeState(c, &ColumnState::scrollBarVisible, visible);
}

bool ServerTable::isChecked(int row) const
{
    const auto &checked = m_columns[Listbox10_check].checked;
    return row >= 0 && row < static_cast<int>(checked.size()) && checked[static_cast<size_t>(row)] != 0;
}

void ServerTable::setChecked(int row, bool checked)
{
    auto &col = m_columns[Listbox10_check];
    if (row < 0 || row >= static_cast<int>(col.checked.size()) ||
        (col.checked[static_cast<size_t>(row)] != 0) == checked)
        return;
    col.checked[static_cast<size_t>(row)] = checked ? 1 : 0;
    for (auto *o : m_observers)
        o->cellChanged(Listbox10_check, row);
}

void ServerTable::addObserver(ServerTableObserver *observer)
{
    if (observer && std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
}

void ServerTable::removeObserver(ServerTableObserver *observer)
{
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer), m_observers.end());
}

} // namespace pelorix
