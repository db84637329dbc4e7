#pragma once

#include "core/ServerTable.h"

#include <QLocale>

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorix
{

// How the key cells of a sort are compared. Automatic picks one of the other four once per sort.
enum class SortKind { Text, Number, DateTime, Time, Automatic };

// One row of the table as the sort moves it: the ten cells in column order; the check column's cell is "-1"
// for a checked "Join" box and "0" otherwise.
using RowRecord = std::array<std::string, ColumnCount>;

// The nine click areas over the column titles (the lock column has none), left to right.
struct SortArea {
    const char *name;    // the click area's design name
    const char *cliName; // the column's name on the command line
    Column key;
    SortKind kind;
    int left;
    int width;
};

inline constexpr int kSortAreaCount = 9;
inline constexpr std::array<SortArea, kSortAreaCount> kSortAreas = {{
    {"Image10", "name", ListBox1_servername, SortKind::Text, 40, 217},
    {"Image9", "players", ListBox2_players, SortKind::Automatic, 256, 81},
    {"Image11", "ping", ListBox3_ping, SortKind::Number, 336, 57},
    {"Image12", "gametype", ListBox4_gametype, SortKind::Text, 392, 153},
    {"Image13", "map", ListBox5_mapname, SortKind::Text, 544, 233},
    {"Image14", "address", ListBox6_ipaddress, SortKind::Automatic, 776, 137},
    {"Image15", "variant", ListBox7_mod, SortKind::Text, 913, 68},
    {"Image16", "version", ListBox8_version, SortKind::Automatic, 980, 68},
    {"Image17", "join", Listbox10_check, SortKind::Automatic, 1048, 67},
}};

// The click area of a command-line column name, or -1.
int sortAreaByCliName(std::string_view name);

// The kind the automatic choice gives for these key cells: Number when every cell reads as a number, else DateTime
// when every one reads as a date with optional time, else Time when every one reads as a time of day, else Text.
SortKind chooseSortKind(const std::vector<std::string> &keys, const QLocale &locale);

// The order of rows with these key cells: entry k is the row that goes to place k. Text keys are upper-cased with
// the locale's upper-casing first, so text ignores letter case; equal keys keep their order in both directions
// (a stable sort on the reversed key order, not a reversed ascending sort).
std::vector<int> sortOrder(const std::vector<std::string> &keys, SortKind kind, bool descending, const QLocale &locale);

// Orders the records by their cell keyCell. Keys are upper-cased with the locale's upper-casing first, so every
// kind ignores letter case. Equal keys keep their order in both directions: descending is a stable sort on the
// reversed key order, not a reversed ascending sort.
void sortRecords(std::vector<RowRecord> &records, Column keyCell, SortKind kind, bool descending,
                 const QLocale &locale);

// The nine direction toggles and the sort a title click runs on the table. Engine code: the window's handlers and
// the command-line browser use the same object.
class ColumnSorter
{
  public:
    explicit ColumnSorter(QLocale locale = QLocale::system());

    // One click on the title of click area `area` (0..8, as in kSortAreas): hides the columns, moves whole rows
    // (all ten cells and the "Join" state), shows the columns again; every column keeps its selected index.
    // The area's toggle flips even when there is nothing to sort. Returns whether that sort was descending.
    bool sortByArea(ServerTable &table, int area);

    // Whether the next click on the area sorts descending.
    bool descendingNext(int area) const { return m_descending.at(static_cast<size_t>(area)); }

  private:
    QLocale m_locale;
    std::array<bool, kSortAreaCount> m_descending{};
};

} // namespace pelorix
