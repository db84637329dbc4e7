#include "view/PlayerList.h"

#include "core/ServerTable.h"
#include "support/RecordingPump.h"
#include "support/ScriptedDialogs.h"
#include "support/UdpPeer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pelorix;
using test::RecordingPump;
using test::ScriptedDialogs;
using test::UdpServers;

namespace
{

void selectAddress(ServerTable &table, const std::string &address)
{
    table.AppendPlaceholderRow();
    table.setColumnItems(ListBox6_ipaddress, {address});
    table.setSelectedIndex(ListBox1_servername, 0);
}

} // namespace

TEST(PlayerList, RepliesBecomeLinesInReplyOrder)
{
    struct Case {
        const char *what;
        std::string reply;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"names and scores", "\\player_0\\Alpha\\score_0\\12\\player_1\\Bravo\\score_1\\7\\final\\",
         "Player list:\r\n\r\nAlpha | Score: 12\r\nBravo | Score: 7\r\n"},
        {"blanks come back, markup stays text", "\\player_0\\<i>Big%Al</i>\\score_0\\-3",
         "Player list:\r\n\r\n<i>Big Al</i> | Score: -3\r\n"},
        {"more names than scores: every name shows", "\\player_0\\A\\player_1\\B\\score_0\\5",
         "Player list:\r\n\r\nA | Score: 5\r\nB | Score: ?\r\n"},
        {"more scores than names", "\\score_0\\1\\score_1\\2\\player_0\\A", "Player list:\r\n\r\nA | Score: 1\r\n"},
        {"a key as the last item adds nothing", "\\player_0\\A\\score_0\\1\\player_1",
         "Player list:\r\n\r\nA | Score: 1\r\n"},
        {"the text anywhere in an item counts", "\\xplayer_name\\A\\teamscore_\\9",
         "Player list:\r\n\r\nA | Score: 9\r\n"},
        {"no players", "\\hostname\\x\\final\\", "Player list:\r\n\r\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PlayerListText(PlayersFromReply(c.reply)), c.text) << c.what;
}

TEST(PlayerList, TenThousandEntriesStayWhole)
{
    std::string reply;
    for (int k = 0; k < 10000; ++k)
        reply += "\\player_" + std::to_string(k) + "\\p" + std::to_string(k) + "\\score_" + std::to_string(k) + "\\" +
                 std::to_string(k);
    const auto players = PlayersFromReply(reply);
    ASSERT_EQ(players.size(), 10000u);
    EXPECT_EQ(players.back().name, "p9999");
    EXPECT_EQ(players.back().score, "9999");
}

// Show players against servers in miniature: the messages shown, in order.
TEST(PlayerList, ShowsWhatTheServerSent)
{
    struct Case {
        const char *what;
        std::vector<UdpServers::Send> script;
        std::vector<std::string> messages;
    };
    std::vector<UdpServers::Send> neverFinal;
    for (int k = 0; k < 12; ++k)
        neverFinal.push_back({k * 100, "\\player_" + std::to_string(k) + "\\P" + std::to_string(k)});
    const std::vector<Case> cases = {
        {"final in the third datagram",
         {{0, "\\player_0\\Alpha\\score_0\\12"}, {150, "\\player_1\\Bravo"}, {300, "\\score_1\\7\\final\\"}},
         {"Player list:\r\n\r\nAlpha | Score: 12\r\nBravo | Score: 7\r\n"}},
        {"final never comes", neverFinal, {"Player list:\r\n\r\n"}},
        {"silence", {}, {"Player list:\r\n\r\n"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        UdpServers server(1, [script = c.script](size_t, const std::string &) { return script; });
        ServerTable table;
        selectAddress(table, server.address(0));
        RecordingPump pump;
        ScriptedDialogs dialogs;
        int followUps = 0;
        Showplayers(table, pump, dialogs, followUps);
        EXPECT_EQ(dialogs.texts(), c.messages);
        ASSERT_FALSE(dialogs.shown().empty());
        EXPECT_EQ(dialogs.shown().back().kind, DialogKind::Information);
    }
}

TEST(PlayerList, FaultsAndMissingAddresses)
{
    struct Case {
        const char *what;
        std::string address; // empty: the row has no address cell
        std::vector<std::string> messages;
    };
    const std::vector<Case> cases = {
        {"no host", ":10481", {"Error getting info.", "Player list:\r\n\r\n"}},
        {"port out of range", "127.0.0.1:70000", {"Error getting info.", "Player list:\r\n\r\n"}},
        {"port not a number", "127.0.0.1:x1", {"'x1' is not a valid integer value"}},
        {"no address cell", "", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ServerTable table;
        selectAddress(table, c.address);
        if (c.address.empty())
            table.setColumnItems(ListBox6_ipaddress, {});
        RecordingPump pump;
        ScriptedDialogs dialogs;
        int followUps = 5;
        Showplayers(table, pump, dialogs, followUps);
        EXPECT_EQ(dialogs.texts(), c.messages);
    }
}
