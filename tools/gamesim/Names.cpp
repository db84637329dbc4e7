#include "Names.h"

namespace pelorix::gamesim
{

namespace
{

constexpr std::array<const char *, 48> kHandles = {
    "Vortex",  "Moth",   "Kael",     "Bramble", "DrGonzo", "Nyx",       "Pike",
    "Juno",    "Sable",  "Rook",     "Tinker",  "Gravel",  "Mara",      "Otto",
    "Flint",   "Wisp",   "Hollis",   "Quill",   "Brisket", "Jinx",      "Saffron",
    "Talon",   "Dmitri", "Pelle",    "Ingrid",  "Tomasz",  "Lucky Sam", "Old Man Jenkins",
    "Kestrel", "Ozzy",   "Baguette", "Nimbus",  "Hex",     "Marlow",    "Cobalt",
    "Yuki",    "Zed",    "Pimento",  "Grumpy",  "Ferris",  "Lotte",     "Birch",
    "Snipey",  "Mungo",  "Vesper",   "Clank",   "Noodle",  "Ragnar"};

constexpr std::array<const char *, 6> kClanTags = {"=FoX=", "{KoS}", "|NV|", "-=DR=-", "~Ox~", "^TLC^"};

} // namespace

std::string randomNick(std::mt19937_64 &rng)
{
    auto below = [&rng](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    std::string nick = kHandles[below(kHandles.size())];
    switch (below(6)) {
    case 0:
        nick = std::string(kClanTags[below(kClanTags.size())]) + nick;
        break;
    case 1:
        nick += std::to_string(below(100));
        break;
    case 2:
        nick += std::to_string(1970 + below(40));
        break;
    default:
        break;
    }
    return nick;
}

} // namespace pelorix::gamesim
