#include "launch/WaitForSlot.h"

#include "core/Text.h"

namespace pelorix
{

SlotState SlotStateOf(std::string_view players)
{
    const auto slash = players.find('/');
    if (slash == std::string_view::npos)
        return SlotState::Unknown;
    int n = 0;
    int m = 0;
    if (!parseInt32(players.substr(0, slash), n) || !parseInt32(players.substr(slash + 1, 255), m))
        return SlotState::Unknown;
    return n >= m ? SlotState::Full : SlotState::Free;
}

} // namespace pelorix
