#include "view/PlayerList.h"

#include "core/Dialogs.h"
#include "core/ServerTable.h"
#include "core/Text.h"
#include "discovery/ReplyItems.h"
#include "view/SingleUpdate.h"

namespace pelorix
{

std::vector<PlayerEntry> PlayersFromReply(std::string_view reply)
{
    std::vector<std::string> items = SplitReplyItems(reply);
    restoreBlanks(items);
    std::vector<std::string> names;
    std::vector<std::string> scores;
    // An item that holds the text and is the last item has no value and adds nothing.
    for (size_t k = 0; k + 1 < items.size(); ++k) {
        if (items[k].find("player_") != std::string::npos)
            names.push_back(items[k + 1]);
        if (items[k].find("score_") != std::string::npos)
            scores.push_back(items[k + 1]);
    }
    std::vector<PlayerEntry> players;
    players.reserve(names.size());
    for (size_t k = 0; k < names.size(); ++k)
        players.push_back({std::move(names[k]), k < scores.size() ? std::optional(scores[k]) : std::nullopt});
    return players;
}

std::string PlayerListText(const std::vector<PlayerEntry> &players)
{
    std::string text = "Player list:\r\n\r\n";
    for (const auto &player : players)
        text += player.name + " | Score: " + player.score.value_or("?") + "\r\n";
    return text;
}

std::optional<PlayerListResult> QueryPlayerList(const std::string &address, EventPump &pump, int &followUps,
                                                std::string *portError)
{
    followUps = 0;
    const AddressParts parts = splitAddressCell(address);
    int port = 0;
    if (!parseInt32(parts.portText, port)) {
        if (portError)
            *portError = conversionErrorText(parts.portText);
        return std::nullopt;
    }
    const DetailExchangeTimings timings{350, 250, "\\final\\"};
    const DetailExchange exchange = RunDetailExchange(address, pump, timings, followUps);
    PlayerListResult result;
    result.failed = exchange.failed;
    result.answered = exchange.answered;
    result.players = PlayersFromReply(exchange.answered ? std::string_view(exchange.reply) : kDefaultStatusReply);
    return result;
}

void Showplayers(const ServerTable &table, EventPump &pump, Dialogs &dialogs, int &followUps)
{
    const int row = table.selectedIndex(ListBox1_servername);
    if (row < 0 || row >= table.rowCount(ListBox6_ipaddress))
        return;
    std::string portError;
    const auto result = QueryPlayerList(table.cell(ListBox6_ipaddress, row), pump, followUps, &portError);
    if (!result) {
        dialogs.message(DialogKind::Error, portError);
        return;
    }
    if (result->failed)
        dialogs.message(DialogKind::Error, "Error getting info.");
    dialogs.message(DialogKind::Information, PlayerListText(result->players));
}

} // namespace pelorix
