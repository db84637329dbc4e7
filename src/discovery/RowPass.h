#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace pelorix
{

class Dialogs;
class ServerTable;
class SettingsStore;

// The three parallel lists of the accepted answers of one refresh (entry k of each is one answer).
struct ReplyListsView {
    const std::vector<std::string> &ReplyAddresses;
    const std::vector<std::string> &ReplyTexts;
    const std::vector<std::string> &ReplyPings;
};

// The refresh's variables the row pass reads and writes; the refresh engine owns them.
struct RowPassState {
    int &RefreshStep;   // 201..209 and 2071 while a row is handled
    int &playersOnline; // running totals, set to 0 by the refresh at its start
    int &serversOnline;
    std::string &SearchedPlayer; // emptied once a visible match has been reported
    bool &PlayerFound;
};

// The two statistics labels, Label_players and label_servers.
class StatisticsLabels
{
  public:
    virtual ~StatisticsLabels() = default;
    virtual void setPlayersLabel(const std::string &text) = 0;
    virtual void setServersLabel(const std::string &text) = 0;
};

// "Players online:\t" + n and "Servers online:\t" + n.
std::string playersOnlineText(int players);
std::string serversOnlineText(int servers);

// The values read from one reply; every field is "" when the reply lacks its key.
struct ServerValues {
    std::string lock;    // " " for "password" "0", the lock mark for any other value
    std::string name;    // "hostname"
    std::string players; // player count "/" slot count, "" for a reply without items
    std::string ping;
    std::string gametype;
    std::string map;         // "mapname"
    std::string variant;     // "gamevariant"
    std::string version;     // "gamever"
    std::string playerCount; // "numplayers"
    std::string slotCount;   // "maxplayers"
};

// The key scan over the items of one reply ("%" already restored to blanks), into values.
// Returns "" on success, or the text of the "Failed adding variables" error dialog when a "ping_" item is
// not followed by a whole number; the scan then stops and values holds what was read up to that item.
// A key or "ping_" item that is the last item reads as followed by the empty item.
std::string scanServerValues(const std::vector<std::string> &items, ServerValues &values, int *refreshStep = nullptr);

// Turns rows M-1 .. 0 of the address column (M rows) into table rows: reply lookup, player search,
// key scan, statistics, the filters read from settings for every row, then PutRowValues or DeleteRow.
// Ends early with ClearTable when cancelRequested is set at the start of a row. The settings are read once for
// every row (one consistent reading of the store). The reply lists must not change while the pass runs.
// A fault other than the silent ones throws; state.RefreshStep then tells where.
void RunRowPass(ServerTable &table, const SettingsStore &settings, Dialogs &dialogs, const ReplyListsView &replies,
                const std::atomic<bool> &cancelRequested, RowPassState &state, StatisticsLabels &labels);

// With "Hide Non Accessible Servers" checked: deletes, from the last row to the first, every row whose name
// cell is empty or "?".
void RunFinalPass(ServerTable &table, bool hideNonAccessible);

} // namespace pelorix
