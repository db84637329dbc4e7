#pragma once

#include <string_view>

namespace pelorix
{

// Interval of the wait for a free slot: the checked server is asked again this often.
inline constexpr int kWaitForSlotIntervalMs = 5555;

// What a players text ("n/m") says about the server's slots.
enum class SlotState {
    Unknown, // n or m is not a whole number ("?/?", the "---" of an update in progress, no "/"): end the tick
    Full,    // n >= m, more players than slots included
    Free,    // n < m
};

// n is the whole number before the first "/", m the one formed by at most 255 characters after it.
SlotState SlotStateOf(std::string_view players);

} // namespace pelorix
