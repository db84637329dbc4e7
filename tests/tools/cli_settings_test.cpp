#include "core/SettingsStore.h"

#include "platform/AtomicFile.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

using namespace pelorix;
using pelorix::test::TempDir;

namespace
{

struct CliSettings : ::testing::Test {
    TempDir config;
    std::string path = config.file("PELORIX/PELORIX.reg");

    int cli(const std::vector<std::string> &args, std::string *out = nullptr, std::string *err = nullptr)
    {
        std::vector<std::string> all{"settings"};
        all.insert(all.end(), args.begin(), args.end());
        return test::runProcess(PELORIX_CLI_BIN, all, out, err, {{"XDG_CONFIG_HOME", config.path()}});
    }

    std::string output(const std::vector<std::string> &args)
    {
        std::string out;
        EXPECT_EQ(cli(args, &out), 0);
        return out;
    }
};

} // namespace

TEST_F(CliSettings, TypedSetAndGetStoreValuesAsTheProgramDoes)
{
    EXPECT_EQ(cli({"set", "nick", "Zo\xC3\xAB \xE2\x82\xAC"}), 0); // UTF-8 on the terminal
    EXPECT_EQ(cli({"set", "maxping", "true", "--type", "flag"}), 0);
    EXPECT_EQ(cli({"set", "--type", "integer", "gametype_index", "-3"}), 0);

    SettingsStore store(path);
    EXPECT_EQ(store.ReadString("nick", ""), "Zo\xEB \x80"); // Windows-1252 in the store
    store.WriteString("game_version_index", "2");
    EXPECT_EQ(cli({"set", "game_version_index", "1", "--type", "integer"}), 0);

    const auto entries = store.entries();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[1].text, "1");
    EXPECT_EQ(entries[2].type, SettingsStore::ValueType::Dword);
    EXPECT_EQ(entries[3].type, SettingsStore::ValueType::String); // stayed text
    EXPECT_EQ(entries[3].text, "1");

    struct Case {
        std::vector<std::string> args;
        std::string expected;
    };
    const Case cases[] = {
        {{"get", "NICK"}, "Zo\xC3\xAB \xE2\x82\xAC\n"},
        {{"get", "maxping", "--type", "flag"}, "1\n"},
        {{"get", "gametype_index", "--type", "integer"}, "-3\n"},
        {{"get", "gametype_index"}, "-3\n"},
        {{"get", "game_version_index", "--type", "integer"}, "1\n"},
        {{"get", "nick", "--type", "integer", "--default", "7"}, "7\n"},
        {{"get", "missing", "--default", "Player123"}, "Player123\n"},
        {{"get", "hide_na_servers", "--type", "flag", "--default", "1"}, "1\n"},
        {{"get", "missing", "--type", "flag"}, "0\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(output(c.args), c.expected) << c.args[1];

    EXPECT_EQ(output({"list"}), "nick\tstring\tZo\xC3\xAB \xE2\x82\xAC\n"
                                "maxping\tstring\t1\n"
                                "gametype_index\tdword\t-3\n"
                                "game_version_index\tstring\t1\n");
    EXPECT_EQ(store.ReadString("missing", "none"), "none") << "a get wrote its default";
}

TEST_F(CliSettings, ListShowsTheUnnamedValueAndLineBreaksOnOneLine)
{
    SettingsStore store(path);
    store.WriteString("", "C:\\Games");
    store.WriteString("motd", "a\r\nb");
    EXPECT_EQ(output({"list"}), "@\tstring\tC:\\Games\nmotd\tstring\ta\\r\\nb\n");
    EXPECT_EQ(output({"get", ""}), "C:\\Games\n");
}

TEST_F(CliSettings, BadUsageExitsWith64)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"remove", "nick"},
        {"list", "extra"},
        {"get"},
        {"get", "a", "b"},
        {"get", "nick", "--type"},
        {"get", "nick", "--type", "number"},
        {"get", "nick", "--type", "integer", "--default", "x"},
        {"get", "nick", "--type", "flag", "--default", "yes"},
        {"get", "nick", "--verbose"},
        {"set", "nick"},
        {"set", "maxping", "yes", "--type", "flag"},
        {"set", "ping", "1.5", "--type", "integer"},
        {"set", "nick", "Ann", "--default", "x"},
    };
    for (const auto &args : cases) {
        std::string err;
        EXPECT_EQ(cli(args, nullptr, &err), 64) << testing::PrintToString(args);
        EXPECT_NE(err.find("usage:"), std::string::npos);
    }
    std::string contents;
    EXPECT_FALSE(readWholeFile(path, contents)) << "bad usage wrote the store";
}
