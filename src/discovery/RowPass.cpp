#include "discovery/RowPass.h"

#include "core/Dialogs.h"
#include "core/ServerTable.h"
#include "core/SettingsStore.h"
#include "core/Text.h"
#include "discovery/ReplyItems.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_map>

namespace pelorix
{

namespace
{

// The settings as they are when one row is handled: one read of the store per row instead of one per value.
// Its typed reads give what SettingsStore's ReadString, ReadInteger and ReadBool give for the same entries.
class RowSettings
{
  public:
    explicit RowSettings(const SettingsStore &store)
        : m_entries(store.entries())
    {
    }

    std::string ReadString(std::string_view key, std::string_view defaultValue) const
    {
        const auto *e = find(key);
        if (!e)
            return std::string(defaultValue);
        return e->type == SettingsStore::ValueType::String ? e->text
                                                           : std::to_string(static_cast<std::int32_t>(e->number));
    }
    int ReadInteger(std::string_view key, int defaultValue) const
    {
        const auto *e = find(key);
        if (!e)
            return defaultValue;
        if (e->type == SettingsStore::ValueType::Dword)
            return static_cast<std::int32_t>(e->number);
        int value = 0;
        return parseInt32(e->text, value) ? value : defaultValue;
    }
    bool ReadBool(std::string_view key, bool defaultValue) const { return ReadInteger(key, defaultValue ? 1 : 0) != 0; }

  private:
    const SettingsStore::Entry *find(std::string_view key) const
    {
        for (const auto &e : m_entries) {
            if (equalsIgnoringAsciiCase(e.name, key))
                return &e;
        }
        return nullptr;
    }

    std::vector<SettingsStore::Entry> m_entries;
};

// Whether the filters hide a row. Once a rule has hidden the row the later rules cannot change that.
bool hiddenByFilters(const RowSettings &settings, const ServerValues &v, int &refreshStep)
{
    // Players "count/slots": the count is the text before the first "/", the slots at most 255 characters after it.
    const size_t slash = v.players.find('/');
    const std::string count = slash == std::string::npos ? std::string() : v.players.substr(0, slash);
    const std::string slots = v.players.substr(slash == std::string::npos ? 0 : slash + 1, 255);

    const auto versionRejects = [&] {
        switch (settings.ReadInteger("game_version_index", 0)) {
        case 0:
            return v.variant != "VEKTA 4" || v.version != "1.0";
        case 1:
            return v.variant != "VEKTA 4" || v.version != "1.1";
        case 2:
            return v.variant != "VEKTA 4X";
        default:
            return false;
        }
    };

    if (settings.ReadBool("hide_na_servers", true) && v.name == "N/A")
        return true;
    if (settings.ReadBool("gametype", false) && v.gametype != settings.ReadString("gametype_name", ""))
        return true;
    if (settings.ReadBool("hide_password_servers", false) && v.lock == kLockMark)
        return true;
    if (settings.ReadBool("hide_full_servers", false) && (v.players.empty() || v.players.front() != '0') &&
        count == slots)
        return true;
    if (settings.ReadBool("hide_empty_servers", false) && count == "0")
        return true;
    if (settings.ReadBool("show_game_version", false) && versionRejects())
        return true;

    refreshStep = 206;
    int ping = 0;
    int limit = 0;
    // Either side not a whole number: this rule hides nothing.
    return settings.ReadBool("maxping", false) && parseInt32(v.ping, ping) &&
           parseInt32(settings.ReadString("ping", "150"), limit) && ping > limit;
}

// Adds like the 32-bit integers of the program: a sum past the top wraps instead of failing.
int wrappingAdd(int a, int b)
{
    return static_cast<int>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

} // namespace

std::string playersOnlineText(int players)
{
    return "Players online:\t" + std::to_string(players);
}

std::string serversOnlineText(int servers)
{
    return "Servers online:\t" + std::to_string(servers);
}

std::string scanServerValues(const std::vector<std::string> &items, ServerValues &values, int *refreshStep)
{
    static const std::string kNone;
    std::string fault;
    for (size_t k = 0; k < items.size(); ++k) {
        const std::string &item = items[k];
        // The last item has nothing after it; it reads as followed by the empty item.
        const std::string &next = k + 1 < items.size() ? items[k + 1] : kNone;
        if (item == "hostname")
            values.name = next;
        else if (item == "gametype")
            values.gametype = next;
        else if (item == "mapname")
            values.map = next;
        else if (item == "gamever")
            values.version = next;
        else if (item == "password")
            values.lock = next == "0" ? std::string(" ") : std::string(kLockMark);
        else if (item == "gamevariant")
            values.variant = next;
        else if (item == "numplayers")
            values.playerCount = next;
        else if (item == "maxplayers")
            values.slotCount = next;
        if (item.find("ping_") != std::string::npos) {
            int unused = 0;
            if (!parseInt32(next, unused)) {
                fault = "Failed adding variables. Error at line:\r\n" + item + "\r\n" + next;
                break;
            }
        }
        if (refreshStep)
            *refreshStep = 204;
    }
    // Built once from the values read: once an item, a long count would be copied again for every item after it.
    if (!items.empty())
        values.players = values.playerCount + "/" + values.slotCount;
    return fault;
}

void RunRowPass(ServerTable &table, const SettingsStore &settings, Dialogs &dialogs, const ReplyListsView &replies,
                const std::atomic<bool> &cancelRequested, RowPassState &state, StatisticsLabels &labels)
{
    static constexpr Column kScrollBarsHidden[] = {ListBox0_index,    ListBox2_players, ListBox3_ping,
                                                   ListBox4_gametype, ListBox5_mapname, ListBox6_ipaddress,
                                                   ListBox7_mod,      ListBox8_version};
    const size_t answers =
        std::min({replies.ReplyAddresses.size(), replies.ReplyTexts.size(), replies.ReplyPings.size()});
    // The answer of an address is its last entry with a non-empty text; one index instead of a walk per row.
    std::unordered_map<std::string_view, size_t> lastAnswer;
    lastAnswer.reserve(answers);
    for (size_t k = 0; k < answers; ++k) {
        if (!replies.ReplyTexts[k].empty())
            lastAnswer[replies.ReplyAddresses[k]] = k;
    }

    for (int i = table.rowCount(ListBox6_ipaddress) - 1; i >= 0; --i) {
        if (cancelRequested.load()) {
            table.ClearTable();
            return;
        }

        // Every row starts from empty values: a reply without a key gives an empty cell, never the value of the
        // row handled before.
        ServerValues values;
        static const std::string kNoReply;
        const std::string *reply = &kNoReply;
        if (const auto found = lastAnswer.find(table.cell(ListBox6_ipaddress, i)); found != lastAnswer.end()) {
            reply = &replies.ReplyTexts[found->second];
            values.ping = replies.ReplyPings[found->second];
        }

        // Only A-Z fold, over the whole reply text: keys and values alike.
        if (!state.SearchedPlayer.empty() &&
            asciiLower(*reply).find(asciiLower(state.SearchedPlayer)) != std::string::npos)
            state.PlayerFound = true;

        state.RefreshStep = 201;
        std::vector<std::string> items = SplitReplyItems(*reply);
        state.RefreshStep = 202;
        restoreBlanks(items);

        state.RefreshStep = 203;
        const std::string fault = scanServerValues(items, values, &state.RefreshStep);
        if (!fault.empty())
            dialogs.message(DialogKind::Error, fault, DialogButtons::Ok);

        if (!values.playerCount.empty() && values.playerCount != " ") {
            int count = 0;
            // A count that is not a whole number adds nothing and leaves the label as it is.
            if (parseInt32(values.playerCount, count)) {
                state.playersOnline = wrappingAdd(state.playersOnline, count);
                labels.setPlayersLabel(playersOnlineText(state.playersOnline));
            }
        } else {
            labels.setPlayersLabel(playersOnlineText(state.playersOnline));
        }

        if (!values.name.empty() && values.name != "N/A" && values.name != " ")
            state.serversOnline = wrappingAdd(state.serversOnline, 1);
        labels.setServersLabel(serversOnlineText(state.serversOnline));

        state.RefreshStep = 205;
        const bool hidden = hiddenByFilters(RowSettings(settings), values, state.RefreshStep);

        state.RefreshStep = 207;
        if (hidden) {
            table.DeleteRow(i);
            state.PlayerFound = false;
        } else {
            state.RefreshStep = 2071;
            table.PutRowValues(i, values.lock, values.name, values.players, values.ping, values.gametype, values.map,
                               values.variant, values.version);
        }
        state.RefreshStep = 208;
        if (state.PlayerFound) {
            state.PlayerFound = false;
            dialogs.message(DialogKind::Information,
                            "Player \"" + state.SearchedPlayer + "\" was found at server: " + values.name,
                            DialogButtons::Ok);
            state.SearchedPlayer.clear();
        }
        state.RefreshStep = 209;

        for (Column c : kScrollBarsHidden)
            table.setScrollBarVisible(c, false);
    }
}

void RunFinalPass(ServerTable &table, bool hideNonAccessible)
{
    if (!hideNonAccessible)
        return;
    for (int i = table.rowCount(ListBox1_servername) - 1; i >= 0; --i) {
        const std::string &name = table.cell(ListBox1_servername, i);
        if (name.empty() || name == "?")
            table.DeleteRow(i);
    }
}

} // namespace pelorix
