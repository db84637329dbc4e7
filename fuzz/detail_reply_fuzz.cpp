// One reply as the single-server update and the player list read it: the cells of the row, the colour passes over
// the name and the players with their scores.

#include "FuzzSupport.h"

#include "view/PlayerList.h"
#include "view/SingleUpdate.h"

using namespace pelorix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view reply = fuzz::asText(data, size);

    const SingleUpdateCells cells = SingleUpdateCellsFromReply(reply, true, 7);
    fuzz::require(cells.ping == "7", "update: the ping cell is not the measured time");
    fuzz::require(!cells.lock || *cells.lock == " " || *cells.lock == "\xAE", "update: a bad lock cell");
    fuzz::require(cells.players.find('/') != std::string::npos, "update: a players cell without its slash");
    if (cells.name)
        fuzz::require(cells.name->size() <= reply.size(), "update: the name grew in the colour passes");
    fuzz::require(RemoveNameColourCodes(reply).size() <= reply.size(), "colour passes: the text grew");

    const std::vector<PlayerEntry> players = PlayersFromReply(reply);
    fuzz::require(players.size() <= reply.size() / 2 + 1, "players: more players than the reply can hold");
    const std::string text = PlayerListText(players);
    fuzz::require(text.rfind("Player list:\r\n\r\n", 0) == 0, "players: the list lost its heading");
    return 0;
}
