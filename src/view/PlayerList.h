#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorix
{

class Dialogs;
class EventPump;
class ServerTable;

struct PlayerEntry {
    std::string name;
    std::optional<std::string> score; // nullopt: the reply named more players than it gave scores
};

struct PlayerListResult {
    bool failed = false;   // name resolution or a socket error ("Error getting info.")
    bool answered = false; // otherwise the default reply, which holds no players, stands in
    std::vector<PlayerEntry> players;
};

// The players of a reply in reply order: the item after each item holding "player_" is a name, the item after each
// item holding "score_" a score, the k-th name paired with the k-th score. Blanks come back from "%"; colour codes
// stay.
std::vector<PlayerEntry> PlayersFromReply(std::string_view reply);

// "Player list:" CR LF CR LF, then name " | Score: " score CR LF for every player; a name without a score shows "?"
// as its score.
std::string PlayerListText(const std::vector<PlayerEntry> &players);

// The player list's exchange: 350 ms for the first datagram, 250 ms follow-ups while "\final\" is missing.
// followUps is the program's one follow-up counter (set to 0 here). A port that is not a number gives nullopt and
// *portError the conversion message.
std::optional<PlayerListResult> QueryPlayerList(const std::string &address, EventPump &pump, int &followUps,
                                                std::string *portError = nullptr);

// "Show players" of the selected row: asks its server, shows "Error getting info." when the exchange failed, then
// the list (information box). With no selected row or no address cell for it nothing is asked.
void Showplayers(const ServerTable &table, EventPump &pump, Dialogs &dialogs, int &followUps);

} // namespace pelorix
