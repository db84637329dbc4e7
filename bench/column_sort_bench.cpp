// The column sort of the engine alone: a table of 10,000 rows without views, sorted by each of the nine titles,
// five clicks each (so both directions), with the time of each click.

#include "core/ServerTable.h"
#include "view/ColumnSort.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace
{

using namespace pelorix;
using Clock = std::chrono::steady_clock;

void fill(ServerTable &table, int rows)
{
    std::mt19937 random(42);
    const char *maps[] = {"Harbour", "canyon", "Dunes", "mire", "Citadel"};
    const char *types[] = {"Kessrin", "Talvori", "Druvane", "Pellish", "Morvath"};
    std::vector<std::string> addresses;
    for (int i = 0; i < rows; ++i) {
        const auto r = random();
        table.AppendPlaceholderRow();
        table.PutRowValues(i, r % 7 ? " " : "\xAE", (r % 2 ? "server " : "Server ") + std::to_string(r % 100000),
                           std::to_string(r % 17) + "/16", std::to_string(10 + r % 400), types[r % 5],
                           maps[(r / 5) % 5], r % 3 ? "VEKTA 4" : "VEKTA 4X", r % 2 ? "1.0" : "1.1");
        addresses.push_back("10." + std::to_string(r % 256) + "." + std::to_string((r / 256) % 256) + "." +
                            std::to_string(i % 256) + ":10481");
    }
    table.setColumnItems(ListBox6_ipaddress, addresses);
    for (int i = 0; i < rows; i += 97)
        table.setChecked(i, true);
}

} // namespace

int main(int argc, char *argv[])
{
    const int rows = argc > 1 ? std::stoi(argv[1]) : 10000;
    ServerTable table;
    fill(table, rows);
    ColumnSorter sorter;
    for (size_t area = 0; area < kSortAreas.size(); ++area) {
        std::vector<double> samples;
        for (int run = 0; run < 5; ++run) {
            const auto t0 = Clock::now();
            sorter.sortByArea(table, static_cast<int>(area));
            samples.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
        std::sort(samples.begin(), samples.end());
        std::printf("sort by %-9s %d rows: min=%.1f ms median=%.1f ms max=%.1f ms\n", kSortAreas[area].cliName, rows,
                    samples.front(), samples[samples.size() / 2], samples.back());
    }
    return 0;
}
