#include "view/SingleUpdate.h"

#include "core/Dialogs.h"
#include "core/EventPump.h"
#include "core/Text.h"
#include "discovery/ReplyItems.h"
#include "discovery/StatusExchange.h"

#include <algorithm>
#include <chrono>

namespace pelorix
{

namespace
{

using Clock = std::chrono::steady_clock;

// The longest the window goes without handling its events while a receive waits.
constexpr int kReceiveSliceMs = 5;
constexpr int kMaxFollowUps = 8;

// One receive of at most ms, in slices between which the window's events are handled.
std::string receivePumping(UdpQuery &query, int ms, EventPump &pump, bool &fault)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return {};
        std::string datagram = query.receiveWithin(static_cast<int>(std::min<long long>(left, kReceiveSliceMs)), fault);
        if (fault)
            return {};
        if (!datagram.empty()) {
            if (datagram.size() > kDetailDatagramBytes)
                datagram.resize(kDetailDatagramBytes);
            return datagram;
        }
        pump.processPendingEvents();
    }
}

bool usableReply(const std::string &reply)
{
    return !reply.empty() && reply != " ";
}

char upperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string colourPass(std::string_view text, std::string_view code, size_t skip)
{
    std::string kept;
    kept.reserve(text.size());
    for (size_t p = 0; p < text.size(); ++p) {
        if (p + code.size() <= text.size()) {
            bool match = true;
            for (size_t k = 0; k < code.size() && match; ++k)
                match = upperAscii(text[p + k]) == code[k];
            if (match)
                p += skip;
        }
        if (p < text.size())
            kept += text[p];
    }
    return kept;
}

std::vector<std::string> replyItems(std::string_view reply)
{
    std::vector<std::string> items = SplitReplyItems(reply);
    restoreBlanks(items);
    return items;
}

} // namespace

AddressParts splitAddressCell(std::string_view address)
{
    const size_t colon = address.find(':');
    if (colon == std::string_view::npos)
        return {std::string(), std::string(address.substr(0, 255))};
    return {std::string(address.substr(0, colon)), std::string(address.substr(colon + 1, 255))};
}

std::string conversionErrorText(std::string_view text)
{
    return "'" + std::string(text) + "' is not a valid integer value";
}

DetailExchange RunDetailExchange(const std::string &address, EventPump &pump, const DetailExchangeTimings &timings,
                                 int &followUps)
{
    DetailExchange result;
    const AddressParts parts = splitAddressCell(address);
    UdpQuery query;
    const auto sentAt = Clock::now();
    bool fault = parts.host.empty() || !query.open(parts.host + ":" + parts.portText);
    if (!fault) {
        query.acceptOnlyFromServer();
        fault = !query.sendRequest();
    }
    std::string reply;
    if (!fault) {
        PumpWait(pump, 5);
        reply = receivePumping(query, timings.firstMs, pump, fault);
        result.roundTripMs =
            static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sentAt).count());
    }
    while (!fault) {
        ++followUps;
        reply += receivePumping(query, timings.followUpMs, pump, fault);
        if (fault)
            break;
        PumpWait(pump, 1);
        if (reply.find(timings.finalMarker) != std::string::npos || followUps > kMaxFollowUps || !usableReply(reply))
            break;
    }
    result.failed = fault;
    result.answered = !fault && followUps <= kMaxFollowUps && usableReply(reply);
    if (result.answered)
        result.reply = std::move(reply);
    return result;
}

std::string RemoveNameColourCodes(std::string_view name)
{
    std::string text = colourPass(name, "[C=", 10);
    text = colourPass(text, "[B]", 3);
    return colourPass(text, "[U]", 3);
}

SingleUpdateCells SingleUpdateCellsFromReply(std::string_view reply, bool answered, int roundTripMs)
{
    const std::vector<std::string> items = replyItems(answered ? reply : kDefaultStatusReply);
    SingleUpdateCells cells;
    cells.answered = answered;
    std::string playerCount;
    std::string slotCount;
    // Every item is looked at, values too; a key that is the last item has no value and changes nothing.
    for (size_t k = 0; k + 1 < items.size(); ++k) {
        const std::string &key = items[k];
        const std::string &value = items[k + 1];
        if (key == "hostname")
            cells.name = RemoveNameColourCodes(value);
        else if (key == "gametype")
            cells.gametype = value;
        else if (key == "mapname")
            cells.map = value;
        else if (key == "gamever")
            cells.version = value;
        else if (key == "password")
            cells.lock = value == "0" ? std::string(" ") : std::string(kLockMark);
        else if (key == "gamevariant")
            cells.variant = value;
        else if (key == "numplayers")
            playerCount = value;
        else if (key == "maxplayers")
            slotCount = value;
    }
    cells.players = playerCount + "/" + slotCount;
    cells.ping = std::to_string(roundTripMs);
    return cells;
}

std::array<std::string, 8> RowCellsAfterUpdate(const SingleUpdateCells &cells)
{
    return {cells.lock.value_or("-"),
            cells.name.value_or("----= UPDATING =----"),
            cells.players,
            cells.ping,
            cells.gametype.value_or("---"),
            cells.map.value_or("---"),
            cells.variant.value_or("---"),
            cells.version.value_or("---")};
}

void WriteUpdateMarker(ServerTable &table, int row)
{
    table.setCell(ListBox0_index, row, "-");
    table.setCell(ListBox1_servername, row, "----= UPDATING =----");
    table.setCell(ListBox2_players, row, "---");
    table.setCell(ListBox3_ping, row, "---");
    table.setCell(ListBox4_gametype, row, "---");
    table.setCell(ListBox5_mapname, row, "---");
    table.setCell(ListBox7_mod, row, "---");
    table.setCell(ListBox8_version, row, "---");
    table.setCell(ListBox3_ping, row, "?");
}

int WriteUpdateCells(ServerTable &table, int preferredRow, const std::string &address, const SingleUpdateCells &cells)
{
    const auto holds = [&](int row) {
        return row >= 0 && row < table.rowCount(ListBox6_ipaddress) && table.cell(ListBox6_ipaddress, row) == address;
    };
    int row = preferredRow;
    if (!holds(row)) {
        row = -1;
        for (int k = 0; k < table.rowCount(ListBox6_ipaddress); ++k) {
            if (holds(k)) {
                row = k;
                break;
            }
        }
        if (row < 0)
            return -1;
    }
    const auto put = [&](Column c, const std::optional<std::string> &value) {
        if (value)
            table.setCell(c, row, *value);
    };
    put(ListBox1_servername, cells.name);
    put(ListBox4_gametype, cells.gametype);
    put(ListBox5_mapname, cells.map);
    put(ListBox8_version, cells.version);
    put(ListBox0_index, cells.lock);
    put(ListBox7_mod, cells.variant);
    table.setCell(ListBox2_players, row, cells.players);
    table.setCell(ListBox3_ping, row, cells.ping);
    return row;
}

std::optional<SingleUpdateCells> QuerySingleServer(const std::string &address, EventPump &pump, std::string *portError,
                                                   const DetailExchangeTimings &timings)
{
    const AddressParts parts = splitAddressCell(address);
    int port = 0;
    if (!parseInt32(parts.portText, port)) {
        if (portError)
            *portError = conversionErrorText(parts.portText);
        return std::nullopt;
    }
    int followUps = 0;
    const DetailExchange exchange = RunDetailExchange(address, pump, timings, followUps);
    return SingleUpdateCellsFromReply(exchange.reply, exchange.answered, exchange.roundTripMs);
}

void Updatesingle(ServerTable &table, EventPump &pump, Dialogs &dialogs, const std::function<bool()> &itemEnabled,
                  const std::function<void(bool)> &setItemEnabled, const SingleUpdateOptions &options)
{
    if (!itemEnabled())
        return;
    const int row = table.selectedIndex(ListBox1_servername);
    // A row of a server that never answered has no address: there is nothing to ask.
    if (row < 0 || row >= table.rowCount(ListBox6_ipaddress))
        return;
    setItemEnabled(false);
    WriteUpdateMarker(table, row);
    const std::string address = table.cell(ListBox6_ipaddress, row);

    std::string portError;
    const auto cells = QuerySingleServer(address, pump, &portError, options.timings);
    if (!cells) {
        // The row keeps the marker and the item stays disabled until the next selection change.
        dialogs.message(DialogKind::Error, portError);
        return;
    }
    // A sort or a refresh may have moved the server meanwhile: its row is found again by its address.
    WriteUpdateCells(table, row, address, *cells);
    PumpWait(pump, options.closingPauseMs);
    setItemEnabled(true);
}

} // namespace pelorix
