#pragma once

#include <array>
#include <string>
#include <string_view>

namespace pelorix
{

class SettingsStore;

// The game types of the filter panel's list, positions 0 to 4.
inline constexpr std::array<std::string_view, 5> kGameTypeItems = {"Kessrin", "Talvori", "Druvane", "Pellish",
                                                                   "Morvath"};
// The game versions of the filter panel's list, positions 0 to 2.
inline constexpr std::array<std::string_view, 3> kGameVersionItems = {"VEKTA4 1.0", "VEKTA4 1.1", "VEKTA4X 1.0"};

// What the filter panel shows of the stored filters.
struct FilterPanelState {
    bool maxping = false;             // JvgCheckBox1
    bool gametype = false;            // JvgCheckBox3
    bool hidePasswordServers = false; // JvgCheckBox4
    bool hideFullServers = false;     // JvgCheckBox5
    bool hideEmptyServers = false;    // JvgCheckBox6
    bool showGameVersion = false;     // JvgCheckBox7
    std::string ping = "150";         // JvSpinEdit1's text
    int gametypeIndex = 0;            // ComboBox1
    int gameVersionIndex = 0;         // ComboBox2

    bool operator==(const FilterPanelState &) const = default;
};

// Reads the panel's settings in the order the panel loads them. A stored position outside its list (a store edited
// by hand) chooses the first item.
FilterPanelState LoadFilterPanelState(const SettingsStore &settings);

// Writes every setting of the panel, in the panel's order: "maxping", "ping" (the box's text as shown), "gametype",
// "gametype_name" and "gametype_index" (also when "gametype" is off), the three hide flags, "show_game_version",
// "game_version_index".
void StoreFilterPanelState(SettingsStore &settings, const FilterPanelState &state);

} // namespace pelorix
