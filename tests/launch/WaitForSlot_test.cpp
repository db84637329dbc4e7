// The judgement of a watched server's players text.
#include "launch/WaitForSlot.h"

#include <gtest/gtest.h>

#include <string>

namespace pelorix
{
namespace
{

TEST(WaitForSlotTest, PlayersTextGivesTheSlotState)
{
    struct Case {
        std::string players;
        SlotState state;
    };
    const Case cases[] = {
        {"15/16", SlotState::Free},
        {"0/1", SlotState::Free},
        {"16/16", SlotState::Full},
        {"17/16", SlotState::Full},
        {"0/0", SlotState::Full},
        {"-1/0", SlotState::Free},
        {"?/?", SlotState::Unknown},
        {"3/?", SlotState::Unknown},
        {"?/16", SlotState::Unknown},
        {"---", SlotState::Unknown},
        {"/", SlotState::Unknown},
        {"/16", SlotState::Unknown},
        {"16", SlotState::Unknown},
        {"", SlotState::Unknown},
        {" 3/16", SlotState::Unknown},
        {"3/16/2", SlotState::Unknown},
        {"99999999999/16", SlotState::Unknown},
        // m is formed by at most 255 characters after the "/": the rest is not read.
        {"3/" + std::string(253, '0') + "16" + "junk", SlotState::Free},
        {"3/" + std::string(254, '0') + "16", SlotState::Full},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.players.substr(0, 40));
        EXPECT_EQ(SlotStateOf(c.players), c.state);
    }
}

} // namespace
} // namespace pelorix
