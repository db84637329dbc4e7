#include "discovery/ReplyItems.h"

#include "discovery/StatusExchange.h"

#include <gtest/gtest.h>

using namespace pelorix;
using Items = std::vector<std::string>;

namespace
{

// The reply the single-server update shows for a server that does not answer.
const std::string kPlaceholderReply =
    "\\statusresponse\\0\\hostname\\N/A\\numplayers\\?\\maxplayers\\?\\gametype\\N/A\\gamevariant\\N/A\\mapname\\N/A"
    "\\hostport\\10480\\password\\0\\gamever\\N/A\\statsenabled\\0\\vektawon\\0\\suspectswon\\0\\round\\1"
    "\\numrounds\\2\\queryid\\AMv1\\final\\\\eof\\";

} // namespace

TEST(ReplyItems, PlaceholderReplySplitsIntoThirtySevenItems)
{
    const Items expected = {"",      "statusresponse", "0",   "hostname",    "N/A", "numplayers",   "?",   "maxplayers",
                            "?",     "gametype",       "N/A", "gamevariant", "N/A", "mapname",      "N/A", "hostport",
                            "10480", "password",       "0",   "gamever",     "N/A", "statsenabled", "0",   "vektawon",
                            "0",     "suspectswon",    "0",   "round",       "1",   "numrounds",    "2",   "queryid",
                            "AMv1",  "final",          "",    "eof",         ""};
    ASSERT_EQ(expected.size(), 37u);
    EXPECT_EQ(SplitReplyItems(kPlaceholderReply), expected);
}

TEST(ReplyItems, SplitCases)
{
    struct Case {
        const char *name;
        std::string text;
        Items items;
    };
    const Case cases[] = {
        {"empty text", "", {}},
        {"lone separator", "\\", {"", ""}},
        {"double separator gives an empty item", "\\a\\\\b", {"", "a", "", "b"}},
        {"blanks become percent",
         "\\hostname\\My Server\\numplayers\\5",
         {"", "hostname", "My%Server", "numplayers", "5"}},
        {"percent in the text stays", "\\a\\50%", {"", "a", "50%"}},
        {"controls before the first item are skipped", "\t\r\n\\a", {"", "a"}},
        {"a control ends an item and starts the next",
         "\\a\x01"
         "b\\c",
         {"", "a", "b", "c"}},
        {"controls after a separator are skipped",
         "\\a\\\x02\x03"
         "b",
         {"", "a", "b"}},
        {"controls before a separator are dropped", "\\a\x1f\\b", {"", "a", "b"}},
        {"text ends at NUL", std::string("\\a\\b\0\\c\\d", 9), {"", "a", "b"}},
        {"separator just before NUL gives an empty last item", std::string("\\a\\\0c", 5), {"", "a", ""}},
        {"quoted item", "\\\"x\\y\"\\z", {"", "x\\y", "z"}},
        {"doubled quote inside a quoted item", "\\\"say \"\"hi\"\"\"\\z", {"", "say%\"hi\"", "z"}},
        {"text after a closing quote is its own item", "\\\"ab\"cd\\e", {"", "ab", "cd", "e"}},
        {"unclosed quote runs to the end", "\\k\\\"open\\rest", {"", "k", "open\\rest"}},
        {"lone quote at the end", "\\k\\\"", {"", "k", ""}},
        {"quote inside an item is plain", "\\a\"b\\c", {"", "a\"b", "c"}},
        {"high bytes are plain characters", "\\n\\\xAE\xFF", {"", "n", "\xAE\xFF"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SplitReplyItems(c.text), c.items) << c.name;
}

TEST(ReplyItems, ReaderRestoresBlanksAndFindsValues)
{
    Items items = SplitReplyItems("\\hostname\\My Server\\numplayers\\5\\tag\\100%\\last");
    restoreBlanks(items);
    EXPECT_EQ(items[2], "My Server");
    EXPECT_EQ(items[6], "100 "); // a "%" of the reply reads as a blank too
    EXPECT_EQ(valueAfterKey(items, "hostname"), "My Server");
    EXPECT_EQ(valueAfterKey(items, "numplayers"), "5");
    EXPECT_EQ(valueAfterKey(items, "last"), ""); // the last item has an empty value
    EXPECT_EQ(valueAfterKey(items, "Hostname"), std::nullopt);
}

TEST(ReplyItems, StripColourCodes)
{
    struct Case {
        std::string text;
        std::string stripped;
    };
    const Case cases[] = {
        {"[c=FF0000]Red[b]Team", "RedTeam"},
        {"plain", "plain"},
        {"", ""},
        {"[u]", ""},
        {"a]b[c", "a]b[c"}, // "[" without a "]" after it: the rest stays
        {"[b]x[open", "x[open"},
        {"\\hostname\\A[c=00FF00\\numplayers\\3]B\\eof\\", "\\hostname\\AB\\eof\\"}, // across items
        {"[[x]]y", "]y"},
        {"[]", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(StripColourCodes(c.text), c.stripped) << c.text;
}
