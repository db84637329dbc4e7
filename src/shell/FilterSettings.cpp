#include "shell/FilterSettings.h"

#include "core/SettingsStore.h"

namespace pelorix
{

namespace
{

int withinList(int index, size_t count)
{
    return index >= 0 && static_cast<size_t>(index) < count ? index : 0;
}

} // namespace

FilterPanelState LoadFilterPanelState(const SettingsStore &settings)
{
    FilterPanelState state;
    state.maxping = settings.ReadBool("maxping", false);
    state.gametype = settings.ReadBool("gametype", false);
    state.hidePasswordServers = settings.ReadBool("hide_password_servers", false);
    state.hideFullServers = settings.ReadBool("hide_full_servers", false);
    state.hideEmptyServers = settings.ReadBool("hide_empty_servers", false);
    state.showGameVersion = settings.ReadBool("show_game_version", false);
    state.ping = settings.ReadString("ping", "150");
    state.gametypeIndex = withinList(settings.ReadInteger("gametype_index", 0), kGameTypeItems.size());
    state.gameVersionIndex = withinList(settings.ReadInteger("game_version_index", 0), kGameVersionItems.size());
    return state;
}

void StoreFilterPanelState(SettingsStore &settings, const FilterPanelState &state)
{
    const int gametype = withinList(state.gametypeIndex, kGameTypeItems.size());
    settings.WriteBool("maxping", state.maxping);
    settings.WriteString("ping", state.ping);
    settings.WriteBool("gametype", state.gametype);
    settings.WriteString("gametype_name", kGameTypeItems[static_cast<size_t>(gametype)]);
    settings.WriteInteger("gametype_index", gametype);
    settings.WriteBool("hide_password_servers", state.hidePasswordServers);
    settings.WriteBool("hide_full_servers", state.hideFullServers);
    settings.WriteBool("hide_empty_servers", state.hideEmptyServers);
    settings.WriteBool("show_game_version", state.showGameVersion);
    settings.WriteInteger("game_version_index", withinList(state.gameVersionIndex, kGameVersionItems.size()));
}

} // namespace pelorix
