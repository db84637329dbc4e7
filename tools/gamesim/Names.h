#pragma once

#include <array>
#include <random>
#include <string>

namespace pelorix::gamesim
{

// Word lists of the synthetic worlds. scripts/make-demo-world carries the same game types and maps, so that
// every generated map has a picture (data/demo-maps.txt).
inline constexpr std::array<const char *, 5> kGameTypes = {"Kessrin", "Talvori", "Druvane", "Pellish", "Morvath"};

inline constexpr std::array<const char *, 22> kMapNames = {
    "Harrowgate", "Saltmarsh",   "Kestrel",    "Ironvale", "Duskhollow", "Brackwater", "Cinderfall", "Gullspire",
    "Thornbury",  "Frostmere",   "Oakenshaw",  "Redcliff", "Stonewatch", "Mirefield",  "Ashgrove",   "Highmoor",
    "Wrenfold",   "Coldharbour", "Ravensgate", "Deepwell", "Silverrun",  "Blackfen"};

inline constexpr std::array<const char *, 24> kServerNameWords = {
    "Iron",  "Night",   "Lucky",    "Old",      "Last",    "Red",   "Silent",   "Frontier",
    "Dutch", "Nordic",  "Midnight", "Crow",     "Harbour", "Wolf",  "Prairie",  "Copper",
    "Salty", "Granite", "Public",   "Friendly", "Veteran", "Rusty", "Eastside", "Lodge"};

// A plausible nick name: a handle, sometimes with a clan tag or a number.
std::string randomNick(std::mt19937_64 &rng);

} // namespace pelorix::gamesim
