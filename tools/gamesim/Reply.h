#pragma once

#include "Scenario.h"

#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace pelorix::gamesim
{

// The largest UDP payload over IPv4.
inline constexpr size_t kMaxDatagram = 65507;
inline constexpr size_t kFloodDatagram = 65000;

// The status reply of a server as it is now: the fixed keys, then player_N, score_N, ping_N for every player,
// then "final" and "eof" with empty values (each left out on request).
std::string statusReply(const ServerConfig &server, bool withFinal = true, bool withEof = true);

// The full reply with a "padding" pair before "final", filled so the whole is exactly size bytes
// (a reply that is already longer is cut to size).
std::string paddedReply(const ServerConfig &server, size_t size);

// Cuts text into parts pieces of nearly equal length, none empty (fewer when the text is shorter than parts).
std::vector<std::string> splitEvenly(const std::string &text, int parts);

// The reply cut at the pair boundary nearest its middle: two pieces that each begin with a backslash.
std::vector<std::string> splitAtMiddlePair(const std::string &text);

// 16 to 1400 random bytes with at least one NUL, never starting with a backslash.
std::string garbageDatagram(std::mt19937_64 &rng);

// Datagram n of a trickle: the reply's opening without "final" and "eof" first (the whole reply when the server's
// trickle is complete), then one made-up player a datagram.
std::string trickleDatagram(const ServerConfig &server, long n);

} // namespace pelorix::gamesim
