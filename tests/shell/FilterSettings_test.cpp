#include "shell/FilterSettings.h"

#include "core/SettingsStore.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pelorix;
using pelorix::test::TempDir;

namespace
{

// Every stored entry as name=value, in the order the file holds them.
std::vector<std::string> stored(const SettingsStore &settings)
{
    std::vector<std::string> out;
    for (const auto &entry : settings.entries())
        out.push_back(entry.name + "=" +
                      (entry.type == SettingsStore::ValueType::String ? entry.text : std::to_string(entry.number)));
    return out;
}

} // namespace

TEST(FilterSettings, LoadsWhatTheStoreHolds)
{
    struct Case {
        const char *what;
        std::vector<std::pair<std::string, std::string>> strings;
        FilterPanelState expected;
    };
    FilterPanelState changed;
    changed.maxping = true;
    changed.gametype = true;
    changed.hideFullServers = true;
    changed.showGameVersion = true;
    changed.ping = "80";
    changed.gametypeIndex = 2;
    changed.gameVersionIndex = 1;
    FilterPanelState oddPing;
    oddPing.ping = "9000x";
    const std::vector<Case> cases = {
        {"fresh store", {}, FilterPanelState{}},
        {"after changes",
         {{"maxping", "1"},
          {"gametype", "1"},
          {"hide_full_servers", "1"},
          {"show_game_version", "1"},
          {"ping", "80"},
          {"gametype_index", "2"},
          {"game_version_index", "1"}},
         changed},
        {"positions outside their lists choose the first item",
         {{"gametype_index", "5"}, {"game_version_index", "-1"}},
         FilterPanelState{}},
        {"flags that are not numbers read as off; the ping text stays as stored",
         {{"maxping", "yes"}, {"ping", "9000x"}},
         oddPing},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        SettingsStore settings(dir.file("PELORIX.reg"));
        for (const auto &[key, value] : c.strings)
            settings.WriteString(key, value);
        EXPECT_EQ(LoadFilterPanelState(settings), c.expected);
    }
}

TEST(FilterSettings, StoresEverySettingInThePanelsOrder)
{
    TempDir dir;
    SettingsStore settings(dir.file("PELORIX.reg"));
    FilterPanelState state;
    state.gametypeIndex = 2; // chosen while "Game Type" stays off: name and position are written all the same
    state.hideEmptyServers = true;
    state.ping = "300";
    state.gameVersionIndex = 2;
    StoreFilterPanelState(settings, state);
    EXPECT_EQ(stored(settings),
              (std::vector<std::string>{"maxping=0", "ping=300", "gametype=0", "gametype_name=Druvane",
                                        "gametype_index=2", "hide_password_servers=0", "hide_full_servers=0",
                                        "hide_empty_servers=1", "show_game_version=0", "game_version_index=2"}));
    EXPECT_EQ(LoadFilterPanelState(settings), state);
}
