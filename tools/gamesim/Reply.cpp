#include "Reply.h"

#include <algorithm>

namespace pelorix::gamesim
{

namespace
{

void appendPair(std::string &out, std::string_view key, std::string_view value)
{
    out += '\\';
    out += key;
    out += '\\';
    out += value;
}

} // namespace

std::string statusReply(const ServerConfig &server, bool withFinal, bool withEof)
{
    std::string out;
    out.reserve(320 + server.players.size() * 48);
    appendPair(out, "statusresponse", "0");
    appendPair(out, "hostname", server.hostname);
    appendPair(out, "numplayers", std::to_string(server.players.size()));
    appendPair(out, "maxplayers", std::to_string(server.maxplayers));
    appendPair(out, "gametype", server.gametype);
    appendPair(out, "gamevariant", server.gamevariant);
    appendPair(out, "mapname", server.mapname);
    appendPair(out, "hostport", std::to_string(server.port - 1));
    appendPair(out, "password", server.password);
    appendPair(out, "gamever", server.gamever);
    appendPair(out, "statsenabled", server.statsenabled);
    appendPair(out, "vektawon", server.vektawon);
    appendPair(out, "suspectswon", server.suspectswon);
    appendPair(out, "round", server.round);
    appendPair(out, "numrounds", server.numrounds);
    appendPair(out, "queryid", server.queryid);
    for (size_t i = 0; i < server.players.size(); ++i) {
        const auto n = std::to_string(i);
        appendPair(out, "player_" + n, server.players[i].name);
        appendPair(out, "score_" + n, std::to_string(server.players[i].score));
        appendPair(out, "ping_" + n, std::to_string(server.players[i].ping));
    }
    if (withFinal)
        appendPair(out, "final", "");
    if (withEof)
        appendPair(out, "eof", "");
    return out;
}

std::string paddedReply(const ServerConfig &server, size_t size)
{
    std::string head = statusReply(server, false, false);
    const std::string tail = "\\final\\\\eof\\";
    const std::string key = "\\padding\\";
    const size_t fixed = head.size() + key.size() + tail.size();
    if (fixed >= size)
        return (head + key + tail).substr(0, size);
    head += key;
    head.append(size - fixed, 'x');
    head += tail;
    return head;
}

std::vector<std::string> splitEvenly(const std::string &text, int parts)
{
    const size_t count = std::max<size_t>(1, std::min<size_t>(static_cast<size_t>(std::max(parts, 1)), text.size()));
    std::vector<std::string> pieces;
    size_t begin = 0;
    for (size_t i = 1; i <= count; ++i) {
        const size_t end = text.size() * i / count;
        pieces.push_back(text.substr(begin, end - begin));
        begin = end;
    }
    return pieces;
}

std::vector<std::string> splitAtMiddlePair(const std::string &text)
{
    // Pairs begin at every second backslash; pick the pair start closest to the middle.
    size_t best = std::string::npos;
    size_t backslashes = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\')
            continue;
        if (backslashes % 2 == 0 && i > 0) {
            const auto distance = [&](size_t at) {
                return at > text.size() / 2 ? at - text.size() / 2 : text.size() / 2 - at;
            };
            if (best == std::string::npos || distance(i) < distance(best))
                best = i;
        }
        ++backslashes;
    }
    if (best == std::string::npos)
        return splitEvenly(text, 2);
    return {text.substr(0, best), text.substr(best)};
}

std::string garbageDatagram(std::mt19937_64 &rng)
{
    const size_t length = std::uniform_int_distribution<size_t>(16, 1400)(rng);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string out(length, '\0');
    for (auto &c : out)
        c = static_cast<char>(byte(rng));
    if (out[0] == '\\')
        out[0] = 'G';
    out[std::uniform_int_distribution<size_t>(1, length - 1)(rng)] = '\0';
    return out;
}

std::string trickleDatagram(const ServerConfig &server, long n)
{
    if (n == 0)
        return statusReply(server, server.trickleComplete, server.trickleComplete);
    const auto k = std::to_string(static_cast<long>(server.players.size()) + n - 1);
    std::string out;
    appendPair(out, "player_" + k, "Trickler " + k);
    appendPair(out, "score_" + k, "0");
    appendPair(out, "ping_" + k, "999");
    return out;
}

} // namespace pelorix::gamesim
