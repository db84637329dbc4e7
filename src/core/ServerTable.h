#pragma once

#include "core/RowList.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace pelorix
{

// The ten parallel columns of the server table, independent of widgets: the window shows one
// list view per column, the command-line browser prints the rows. Row i of every column is one
// server; the name column's selection is the table's selection.
enum Column : int {
    ListBox0_index = 0,
    ListBox1_servername,
    ListBox2_players,
    ListBox3_ping,
    ListBox4_gametype,
    ListBox5_mapname,
    ListBox6_ipaddress,
    ListBox7_mod,
    ListBox8_version,
    Listbox10_check,
    ColumnCount
};

// The lock mark of a password-protected server (byte 0xAE in Windows-1252).
inline constexpr std::string_view kLockMark = "\xAE";

// Told about every change, so views stay in step with the model.
class ServerTableObserver
{
  public:
    virtual ~ServerTableObserver() = default;
    virtual void rowsInserted(Column column, int first, int count) = 0;
    virtual void rowsRemoved(Column column, int first, int count) = 0;
    virtual void cellChanged(Column column, int row) = 0;
    virtual void columnReset(Column column) = 0;
    // Selection, top row, enabled, visible or scroll-bar state of the column changed.
    virtual void columnStateChanged(Column column) = 0;
};

class ServerTable
{
  public:
    struct ColumnState {
        RowList<std::string> items;
        RowList<char> checked; // the check column only, parallel to items
        int selected = -1;
        int topRow = 0;
        bool enabled = true;
        bool visible = true;
        bool scrollBarVisible = true;
    };

    ServerTable();

    // The six operations. PutRowValues throws std::out_of_range at the first of its columns that has no such
    // row; DeleteRow leaves such a column alone. Deleting the selected row leaves the column without selection.
    void AppendPlaceholderRow();
    void PutRowValues(int row, const std::string &lock, const std::string &name, const std::string &players,
                      const std::string &ping, const std::string &gametype, const std::string &map,
                      const std::string &variant, const std::string &version);
    void DeleteRow(int row);
    void ClearTable();
    void SetColumnsVisible(bool visible, bool withName);
    void SyncColumns();

    // Set by the name column's scroll-bar handler; SyncColumns shows the columns again and clears it.
    bool ReshowColumns = false;

    // Column access for the refresh, the views and the command-line browser.
    const ColumnState &column(Column c) const { return m_columns[c]; }
    int rowCount(Column c) const { return static_cast<int>(m_columns[c].items.size()); }
    const std::string &cell(Column c, int row) const { return m_columns[c].items[static_cast<size_t>(row)]; }
    std::vector<std::string> columnItems(Column c) const { return m_columns[c].items.toVector(); }
    // Loads or rebuilds a whole column (no selection, top row 0; the check column's rows unchecked).
    // The refresh keeps the address column no longer than the others; nothing here enforces it.
    void setColumnItems(Column c, std::vector<std::string> items);
    // Replaces one cell; a row the column does not have is left alone (false). Selection and top row stay.
    bool setCell(Column c, int row, std::string text);
    // Moves whole rows: new row k is old row order[k], in every column (check states included), cells moved rather
    // than copied. A column shorter than order is reordered only where order stays inside it: over its first
    // `block` rows when order maps [0, block) onto itself, else not at all. Selection and top row stay; the views
    // are told once per column.
    void reorderRows(const std::vector<int> &order, int block);
    void setSelectedIndex(Column c, int row); // -1 for none; out of range means none
    int selectedIndex(Column c) const { return m_columns[c].selected; }
    void setTopRow(Column c, int row);
    void setEnabled(Column c, bool enabled);
    void setVisible(Column c, bool visible);
    void setScrollBarVisible(Column c, bool visible);
    bool isChecked(int row) const;
    void setChecked(int row, bool checked);

    void addObserver(ServerTableObserver *observer);
    void removeObserver(ServerTableObserver *observer);

  private:
    // Sets one field of a column's state and, when that changes it, tells the observers.
    template <typename T> void changeState(Column c, T ColumnState::*field, T value);

    std::array<ColumnState, ColumnCount> m_columns;
    std::vector<ServerTableObserver *> m_observers;
};

} // namespace pelorix
