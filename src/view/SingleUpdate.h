#pragma once

#include "core/ServerTable.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorix
{

class Dialogs;
class EventPump;

// The reply the update and the player list use when a server did not answer.
inline constexpr std::string_view kDefaultStatusReply =
    "\\statusresponse\\0\\hostname\\N/A\\numplayers\\?\\maxplayers\\?\\gametype\\N/A\\gamevariant\\N/A\\mapname\\N/"
    "A\\hostport\\10480\\password\\0\\gamever\\N/A\\statsenabled\\0\\vektawon\\0\\suspectswon\\0\\round\\1\\numrounds"
    "\\2\\queryid\\AMv1\\final\\\\eof\\";

// One receive of the update and of the player list takes at most this many bytes of a datagram.
inline constexpr std::size_t kDetailDatagramBytes = 8192;

// An address cell taken apart as the update, the player list and the join read it: the host before the first colon,
// the port text (at most 255 characters) after it. Without a colon the host is empty and the whole cell is the port.
struct AddressParts {
    std::string host;
    std::string portText;
};
AddressParts splitAddressCell(std::string_view address);
// The message of a number conversion that failed on text.
std::string conversionErrorText(std::string_view text);

// The windows of one detail exchange (the update's or the player list's).
struct DetailExchangeTimings {
    int firstMs = 2000;
    int followUpMs = 50;
    // Follow-ups go on while the reply lacks this text.
    std::string_view finalMarker = "final";
};

struct DetailExchange {
    bool failed = false;   // name resolution or a socket error
    bool answered = false; // the reply is used; otherwise the default reply stands in
    std::string reply;     // as received (empty when not answered)
    int roundTripMs = 0;   // from just before the send to the end of the first receive
};

// Sends the status request to host and port, waits 5 ms, receives once within firstMs, then makes follow-up
// receives of followUpMs (each followed by a 1 ms wait) while the reply lacks the final marker, the counter is 8 or
// less and the reply is neither empty nor a single blank. The counter is the caller's: the player list shares one
// for the whole program. Every wait handles the window's events, at least every 5 ms. Only datagrams from the asked
// server are taken, at most kDetailDatagramBytes of each.
DetailExchange RunDetailExchange(const std::string &address, EventPump &pump, const DetailExchangeTimings &timings,
                                 int &followUps);

// What an update writes into a row: the reply's cells (nullopt where the reply lacks the key: the cell keeps the
// update marker), the players cell numplayers "/" maxplayers, and the measured ping.
struct SingleUpdateCells {
    std::optional<std::string> lock, name, gametype, map, variant, version;
    std::string players;
    std::string ping;
    bool answered = false;
};

// The three colour passes over a server name: "[C=" skips 10, "[B]" and "[U]" skip 3, codes compared without regard
// to case; a code right after a skipped one stays as text.
std::string RemoveNameColourCodes(std::string_view name);

// The cells an update writes for a reply (the default reply when not answered) and a round-trip time.
SingleUpdateCells SingleUpdateCellsFromReply(std::string_view reply, bool answered, int roundTripMs);

// The eight cells a row shows after an update (lock, name, players, ping, game type, map, variant, version): the
// update marker overwritten by the cells.
std::array<std::string, 8> RowCellsAfterUpdate(const SingleUpdateCells &cells);

// The update marker, written into the row while the server is asked (address and check cells stay).
void WriteUpdateMarker(ServerTable &table, int row);

// Writes the cells into the row that holds the address: the preferred row when it still does, else the first row
// that does. Returns the row written, or -1 (no row holds the address any more: the result is dropped).
int WriteUpdateCells(ServerTable &table, int preferredRow, const std::string &address, const SingleUpdateCells &cells);

// Asks one address and returns the cells for its row; the engine entry for the update and for the wait for a free
// slot. A port that is not a number gives nullopt and *portError (when given) the conversion message.
std::optional<SingleUpdateCells> QuerySingleServer(const std::string &address, EventPump &pump,
                                                   std::string *portError = nullptr,
                                                   const DetailExchangeTimings &timings = {});

struct SingleUpdateOptions {
    DetailExchangeTimings timings;
    int closingPauseMs = 2000;
};

// The whole "Update single" of the selected row: marker, exchange, the row found again by its address, the closing
// pause. itemEnabled reads Updatesingle1's state and setItemEnabled writes it. Does nothing while the item is
// disabled or no row with an address is selected.
void Updatesingle(ServerTable &table, EventPump &pump, Dialogs &dialogs, const std::function<bool()> &itemEnabled,
                  const std::function<void(bool)> &setItemEnabled, const SingleUpdateOptions &options = {});

} // namespace pelorix
