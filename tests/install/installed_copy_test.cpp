// An installed copy as a player gets one: this build put into a staging folder by `cmake --install` (DESTDIR),
// its programs run from there with nothing of the build tree on their paths, and the Debian package of the
// same build.
#include "core/SettingsStore.h"
#include "core/Text.h"
#include "discovery/RequestSignature.h"
#include "platform/AtomicFile.h"
#include "shell/ProgramIcon.h"
#include "shell/widgets/Artwork.h"
#include "support/TestProcess.h"

#include <QApplication>
#include <QByteArray>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <csignal>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string_view>
#include <thread>

extern char **environ;

namespace pelorix
{
namespace
{

using namespace std::chrono_literals;
using test::ChildProcess;
using test::TempDir;

const char *const kPrograms[] = {"pelorix", "pelorix-cli", "pelorix-master", "pelorix-gamesim"};

QApplication &application()
{
    static int argc = 1;
    static char name[] = "installed_copy_test";
    static char *argv[] = {name, nullptr};
    // Never destroyed: Qt's input devices go away at exit in an order a destroyed application upsets.
    static QApplication *app = new QApplication(argc, argv);
    return *app;
}

std::string readText(const std::string &path)
{
    std::string text;
    readWholeFile(path, text);
    return text;
}

// A program on the system's PATH, or the empty text.
std::string systemProgram(const std::string &name)
{
    for (const char *folder : {"/usr/local/bin", "/usr/bin", "/bin", "/usr/sbin", "/sbin"}) {
        const std::string path = std::string(folder) + "/" + name;
        if (::access(path.c_str(), X_OK) == 0)
            return path;
    }
    return {};
}

std::set<std::string> regularFilesBelow(const std::string &root)
{
    std::set<std::string> files;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file())
            files.insert(std::filesystem::relative(entry.path(), root).string());
    }
    return files;
}

// The lines of a program's --help under a heading ("Commands:") up to the next blank-line-and-heading.
std::vector<std::string> helpSection(const std::string &help, const std::string &heading)
{
    std::vector<std::string> lines;
    bool inside = false;
    for (const std::string &line : splitLines(help)) {
        if (!line.empty() && line[0] != ' ') {
            inside = line == heading;
            continue;
        }
        if (inside)
            lines.push_back(line);
    }
    return lines;
}

// The tags of a help section: the first word of every entry (a line indented by exactly two blanks).
std::set<std::string> helpTags(const std::string &help, const std::string &heading)
{
    std::set<std::string> tags;
    for (const std::string &line : helpSection(help, heading)) {
        if (line.size() > 2 && line.compare(0, 2, "  ") == 0 && line[2] != ' ') {
            const std::string entry = line.substr(2);
            tags.insert(entry.substr(0, entry.find_first_of(" ,")));
        }
    }
    return tags;
}

// Every long option the help names: "--" after a blank, '[', '(' or ',', then lower-case letters and inner '-'.
std::set<std::string> helpOptions(const std::string &help)
{
    std::set<std::string> options;
    for (std::size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
        if (at > 0 && std::string_view(" \n[(,").find(help[at - 1]) == std::string_view::npos)
            continue;
        std::size_t end = at + 2;
        while (end < help.size() && ((help[end] >= 'a' && help[end] <= 'z') || help[end] == '-'))
            ++end;
        while (end > at + 2 && help[end - 1] == '-')
            --end;
        if (end > at + 2)
            options.insert(help.substr(at, end - at));
    }
    return options;
}

// The build put into a staging folder once for all tests; the programs run from there.
class InstalledCopy : public ::testing::Test
{
  protected:
    struct Stage {
        Stage()
        {
            root = dir.path().substr(0, dir.path().size() - 1);
            prefix = root + PELORIX_INSTALL_PREFIX;
            status = test::runProcess(PELORIX_CMAKE_COMMAND, {"--install", PELORIX_BINARY_DIR}, &out, &err,
                                      {{"DESTDIR", root}}, 300s);
        }
        TempDir dir;
        std::string root;   // DESTDIR
        std::string prefix; // DESTDIR + the install prefix
        int status = -1;
        std::string out;
        std::string err;
    };

    static void SetUpTestSuite() { s_stage = new Stage; }
    static void TearDownTestSuite()
    {
        delete s_stage;
        s_stage = nullptr;
    }
    void SetUp() override { ASSERT_EQ(s_stage->status, 0) << s_stage->out << s_stage->err; }

    static std::string installed(const std::string &relative) { return s_stage->prefix + "/" + relative; }
    static std::string program(const std::string &name) { return installed("bin/" + name); }

    // The environment of a run from the staging folder: its bin/ and the system's on PATH, a fresh home,
    // and every variable that names the build tree emptied.
    static std::map<std::string, std::string> stagedEnvironment(const std::string &home, const std::string &runtime)
    {
        std::map<std::string, std::string> env;
        for (char **e = environ; *e; ++e) {
            const std::string entry(*e);
            const auto eq = entry.find('=');
            if (eq != std::string::npos && entry.find(PELORIX_BINARY_DIR, eq) != std::string::npos)
                env[entry.substr(0, eq)] = "";
        }
        env["PATH"] = program("") + ":/usr/bin:/bin";
        env["LD_LIBRARY_PATH"] = "";
        env["HOME"] = home;
        env["XDG_CONFIG_HOME"] = "";
        env["XDG_DATA_HOME"] = "";
        env["XDG_RUNTIME_DIR"] = runtime;
        env["PELORIX_HOME"] = "";
        return env;
    }

    static std::string help(const std::string &name)
    {
        std::string out;
        EXPECT_EQ(test::runProcess(program(name), {"--help"}, &out), 0) << name;
        return out;
    }

    static Stage *s_stage;
};

InstalledCopy::Stage *InstalledCopy::s_stage = nullptr;

// Everything the install puts down, relative to the prefix.
std::set<std::string> expectedFiles()
{
    std::set<std::string> files;
    const std::string id = PELORIX_APP_ID;
    for (const char *name : kPrograms) {
        files.insert(std::string("bin/") + name);
        files.insert(std::string("share/man/man1/") + name + ".1.gz");
    }
    files.insert("share/pelorix/demo-world.json");
    files.insert("share/pelorix/maps/none.jpg");
    for (std::string line : splitLines(readText(PELORIX_SOURCE_DIR "/data/demo-maps.txt"))) {
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        if (!line.empty() && line[0] != '#')
            files.insert("share/pelorix/maps/" + line + ".jpg");
    }
    for (const int size : kProgramIconSizes)
        files.insert("share/icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size) + "/apps/pelorix.png");
    files.insert("share/applications/" + id + ".desktop");
    files.insert("share/metainfo/" + id + ".metainfo.xml");
    files.insert("share/bash-completion/completions/pelorix-cli");
    for (const char *doc : {"pelorix-master.service", "pelorix-master.default", "README.md", "copyright"})
        files.insert(std::string("share/doc/pelorix/") + doc);
    return files;
}

TEST_F(InstalledCopy, TheLayoutHoldsEveryFileAndNothingElse)
{
    const std::set<std::string> expected = expectedFiles();
    EXPECT_EQ(regularFilesBelow(s_stage->prefix), expected);
    EXPECT_EQ(regularFilesBelow(s_stage->root).size(), expected.size()) << "files outside the prefix";
    for (const char *name : kPrograms) {
        struct stat info = {};
        ASSERT_EQ(::stat(program(name).c_str(), &info), 0) << name;
        EXPECT_TRUE(info.st_mode & S_IXOTH) << name << " is not executable by everyone";
    }
}

TEST_F(InstalledCopy, NothingInstalledPointsIntoTheBuildTree)
{
    const std::string readelf = systemProgram("readelf");
    for (const std::string &file : regularFilesBelow(s_stage->prefix)) {
        const std::string path = installed(file);
        if (file.rfind("bin/", 0) == 0) {
            if (readelf.empty())
                continue;
            std::string dynamic;
            ASSERT_EQ(test::runProcess(readelf, {"-d", path}, &dynamic), 0) << file;
            EXPECT_EQ(dynamic.find("RPATH"), std::string::npos) << file << "\n" << dynamic;
            EXPECT_EQ(dynamic.find("RUNPATH"), std::string::npos) << file << "\n" << dynamic;
            continue;
        }
        std::string text = readText(path);
        if (file.size() > 3 && file.compare(file.size() - 3, 3, ".gz") == 0) {
            ASSERT_EQ(test::runProcess("/bin/gzip", {"-dc", path}, &text), 0) << file;
        }
        EXPECT_EQ(text.find(PELORIX_BINARY_DIR), std::string::npos) << file;
        EXPECT_EQ(text.find(PELORIX_SOURCE_DIR "/"), std::string::npos) << file;
    }
}

TEST_F(InstalledCopy, DesktopEntryAndAppStreamFileValidate)
{
    const std::string id = PELORIX_APP_ID;
    const std::string desktop = installed("share/applications/" + id + ".desktop");
    const std::string metainfo = installed("share/metainfo/" + id + ".metainfo.xml");
    // What the menu needs: the installed program, the installed icon, no terminal.
    const std::string entry = readText(desktop);
    EXPECT_NE(entry.find("\nExec=pelorix\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nIcon=pelorix\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nTerminal=false\n"), std::string::npos) << entry;
    EXPECT_NE(readText(metainfo).find("<launchable type=\"desktop-id\">" + id + ".desktop</launchable>"),
              std::string::npos);

    const std::string validateDesktop = systemProgram("desktop-file-validate");
    const std::string appstream = systemProgram("appstreamcli");
    if (validateDesktop.empty() || appstream.empty())
        GTEST_SKIP() << "desktop-file-validate or appstreamcli is missing (scripts/setup installs them)";
    std::string out;
    std::string err;
    EXPECT_EQ(test::runProcess(validateDesktop, {desktop}, &out, &err), 0) << out << err;
    EXPECT_EQ(test::runProcess(appstream, {"validate", "--no-net", metainfo}, &out, &err), 0) << out << err;
}

TEST_F(InstalledCopy, TheIconThemeHoldsTheWindowsIconInEverySize)
{
    application();
    for (const int size : kProgramIconSizes) {
        SCOPED_TRACE(size);
        const QImage file(QString::fromStdString(installed("share/icons/hicolor/" + std::to_string(size) + "x" +
                                                           std::to_string(size) + "/apps/pelorix.png")));
        ASSERT_FALSE(file.isNull());
        EXPECT_EQ(file.size(), QSize(size, size));
        EXPECT_TRUE(file.hasAlphaChannel());
        // The very drawing, byte for byte, and what the window shows of it (a pixmap keeps premultiplied colours).
        const RgbaImage drawn = drawProgramIcon(size);
        const QImage straight = file.convertToFormat(QImage::Format_RGBA8888);
        EXPECT_TRUE(std::equal(drawn.pixels.begin(), drawn.pixels.end(), straight.constBits()));
        EXPECT_EQ(straight.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                  programIconPixmap(size).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
}

TEST_F(InstalledCopy, ManualPagesSayWhatTheProgramsHelpSays)
{
    for (const char *name : kPrograms) {
        SCOPED_TRACE(name);
        std::string page;
        ASSERT_EQ(
            test::runProcess("/bin/gzip", {"-dc", installed(std::string("share/man/man1/") + name + ".1.gz")}, &page),
            0);
        std::string upper = name;
        std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
        EXPECT_NE(page.find(".TH " + upper + " \"1\""), std::string::npos) << page.substr(0, 300);
        EXPECT_NE(page.find("1.79"), std::string::npos);
        // roff writes a minus as \-.
        const auto roff = [](std::string text) {
            for (std::size_t at = text.find('-'); at != std::string::npos; at = text.find('-', at + 2))
                text.replace(at, 1, "\\-");
            return text;
        };
        const std::string text = help(name);
        ASSERT_FALSE(text.empty());
        for (const std::string &option : helpOptions(text))
            EXPECT_NE(page.find(roff(option)), std::string::npos) << option;
        for (const char *heading : {"Commands:", "Behaviours:", "JSON:", "Exit status:", "Environment:"}) {
            for (const std::string &tag : helpTags(text, heading))
                EXPECT_NE(page.find(roff(tag)), std::string::npos) << heading << " " << tag;
        }
    }
}

TEST_F(InstalledCopy, TheReadmeHasASectionForEveryCompanionProgramThatCoversItsHelp)
{
    const std::string readme = readText(installed("share/doc/pelorix/README.md"));
    ASSERT_FALSE(readme.empty());
    for (const char *name : {"pelorix-cli", "pelorix-master", "pelorix-gamesim"}) {
        SCOPED_TRACE(name);
        const std::string heading = std::string("\n## `") + name + "`";
        const std::size_t start = readme.find(heading);
        ASSERT_NE(start, std::string::npos) << "no section " << heading.substr(1);
        const std::size_t end = readme.find("\n## ", start + 1);
        const std::string section = readme.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const std::string text = help(name);
        for (const std::string &option : helpOptions(text))
            EXPECT_NE(section.find(option), std::string::npos) << option;
        for (const char *heading : {"Commands:", "Behaviours:", "JSON:", "Exit status:"}) {
            for (const std::string &tag : helpTags(text, heading))
                EXPECT_NE(section.find(tag), std::string::npos) << heading << " " << tag;
        }
    }
    for (const char *heading : {"\n## Settings file", "\n## Installing from the package"})
        EXPECT_NE(readme.find(heading), std::string::npos) << heading + 1;
}

TEST_F(InstalledCopy, TheStagedProgramsRefreshASimulatedWorld)
{
    TempDir world;
    TempDir home;
    TempDir runtime;
    const auto env = stagedEnvironment(home.path(), runtime.path());

    const std::string list = world.file("list.txt");
    ChildProcess gamesim(program("pelorix-gamesim"), {"--generate", "3", "--master-list-file", list}, env,
                         world.path());
    std::string listText;
    for (int i = 0; i < 400 && !readWholeFile(list, listText); ++i)
        std::this_thread::sleep_for(25ms);
    std::set<std::string> addresses;
    for (const std::string &line : splitLines(listText)) {
        if (line != "END")
            addresses.insert(line);
    }
    ASSERT_EQ(addresses.size(), 3u) << gamesim.stderrText();

    const std::string db = world.file("master.db");
    ASSERT_EQ(test::runProcess(program("pelorix-master"), {"import", list, "--db", db}, nullptr, nullptr, env), 0);
    const int port = test::freeTcpPort();
    auto master = std::make_unique<ChildProcess>(
        program("pelorix-master"),
        std::vector<std::string>{"serve", "--port", std::to_string(port), "--no-check", "--no-access-log", "--db", db},
        env, world.path());
    ASSERT_TRUE(test::waitForTcpPort(port)) << master->stderrText();

    auto cliEnv = env;
    cliEnv["PELORIX_MASTER_HOST"] = "127.0.0.1:" + std::to_string(port);
    const auto refresh = [&](QJsonObject &json) {
        ChildProcess cli(program("pelorix-cli"), {"refresh", "--json"}, cliEnv, home.path());
        const int status = cli.wait(120s);
        json = QJsonDocument::fromJson(QByteArray::fromStdString(cli.stdoutText())).object();
        return status == 0 ? std::string() : "status " + std::to_string(status) + ": " + cli.stderrText();
    };
    QJsonObject json;
    ASSERT_EQ(refresh(json), "");
    std::set<std::string> answered;
    for (const auto &row : json.value(QStringLiteral("rows")).toArray())
        answered.insert(row.toObject().value(QStringLiteral("address")).toString().toStdString());
    EXPECT_EQ(answered, addresses);
    EXPECT_FALSE(json.value(QStringLiteral("offline_cache")).toBool());

    // An installed copy keeps its list in the user's data folder, made at its first start, and uses it
    // once the service is gone.
    const std::string dataFolder = home.file(".local/share/pelorix/");
    EXPECT_TRUE(std::filesystem::is_regular_file(dataFolder + "cache.dat"));
    master.reset();
    ASSERT_EQ(refresh(json), "");
    EXPECT_TRUE(json.value(QStringLiteral("offline_cache")).toBool());
    EXPECT_EQ(json.value(QStringLiteral("rows")).toArray().size(), 3);
    EXPECT_FALSE(std::filesystem::exists(program("cache.dat"))) << "nothing is written beside the programs";
}

TEST_F(InstalledCopy, TheExampleServiceUnitStartsTheService)
{
    const std::string unit = readText(installed("share/doc/pelorix/pelorix-master.service"));
    const std::string defaults = readText(installed("share/doc/pelorix/pelorix-master.default"));
    const auto value = [&unit](const std::string &key) {
        const std::size_t at = unit.find("\n" + key + "=");
        return at == std::string::npos
                   ? std::string()
                   : unit.substr(at + key.size() + 2, unit.find('\n', at + 1) - at - key.size() - 2);
    };
    // Its own user, a state folder for the database, the settings from an environment file.
    EXPECT_FALSE(value("User").empty());
    EXPECT_NE(value("User"), "root");
    EXPECT_EQ(value("StateDirectory"), "pelorix-master");
    EXPECT_EQ(value("EnvironmentFile"), "-/etc/default/pelorix-master");
    const std::string command = value("ExecStart");
    ASSERT_EQ(command.rfind(PELORIX_INSTALL_PREFIX "/bin/pelorix-master serve ", 0), 0u) << command;
    for (const char *variable : {"PELORIX_MASTER_LISTEN", "PELORIX_MASTER_PORT"}) {
        EXPECT_NE(command.find(std::string("${") + variable + "}"), std::string::npos) << variable;
        EXPECT_NE(defaults.find(std::string("\n") + variable + "="), std::string::npos) << variable;
    }

    // systemd reads it as written (with the staged program in place of the installed one).
    if (const std::string analyze = systemProgram("systemd-analyze"); !analyze.empty()) {
        TempDir units;
        std::string staged = unit;
        staged.replace(staged.find(PELORIX_INSTALL_PREFIX "/bin/"), std::strlen(PELORIX_INSTALL_PREFIX),
                       s_stage->prefix);
        ASSERT_TRUE(writeFileAtomically(units.file("pelorix-master.service"), staged));
        std::string out;
        std::string err;
        EXPECT_EQ(test::runProcess(analyze, {"verify", "--man=no", units.file("pelorix-master.service")}, &out, &err),
                  0)
            << out << err;
    }

    // The command line as systemd builds it, on a free port with the state folder in a scratch folder.
    TempDir state;
    TempDir home;
    TempDir runtime;
    std::filesystem::create_directories(state.file("pelorix-master"));
    const int port = test::freeTcpPort();
    std::vector<std::string> words;
    std::istringstream split(command.substr(std::strlen(PELORIX_INSTALL_PREFIX)));
    for (std::string word; split >> word;) {
        if (word == "${PELORIX_MASTER_LISTEN}") {
            word = "127.0.0.1";
        } else if (word == "${PELORIX_MASTER_PORT}") {
            word = std::to_string(port);
        } else if (word == "$PELORIX_MASTER_OPTIONS") {
            continue; // empty: no word at all
        } else if (word.rfind("%S/", 0) == 0) {
            word = state.path() + word.substr(3);
        }
        words.push_back(word);
    }
    ASSERT_EQ(words.front(), "/bin/pelorix-master");
    const auto env = stagedEnvironment(home.path(), runtime.path());
    ChildProcess service(s_stage->prefix + words.front(), {words.begin() + 1, words.end()}, env,
                         state.file("pelorix-master"));
    ASSERT_TRUE(test::waitForTcpPort(port)) << service.stderrText();
    std::string health;
    EXPECT_EQ(test::runProcess(program("pelorix-cli"),
                               {"webget", "http://127.0.0.1:" + std::to_string(port) + "/healthz"}, &health, nullptr,
                               env),
              0);
    EXPECT_EQ(health.rfind("ok\r\n", 0), 0u) << health;
    EXPECT_TRUE(std::filesystem::is_regular_file(state.file("pelorix-master/master.db")));
    service.kill(SIGTERM);
    EXPECT_EQ(service.wait(30s), 0) << service.stderrText();
}

TEST_F(InstalledCopy, BashCompletionOffersWhatTheHelpLists)
{
    const std::string bash = systemProgram("bash");
    ASSERT_FALSE(bash.empty());
    TempDir home;
    TempDir runtime;
    const auto env = stagedEnvironment(home.path(), runtime.path());
    ASSERT_EQ(
        test::runProcess(program("pelorix-cli"), {"settings", "set", "VEKTA4 1.0", "C:\\Games"}, nullptr, nullptr, env),
        0);
    const std::string script = installed("share/bash-completion/completions/pelorix-cli");
    const auto complete = [&](const std::vector<std::string> &words) {
        std::string line = "source '" + script + "' && COMP_WORDS=(";
        for (const std::string &word : words)
            line += "'" + word + "' ";
        line += ") && COMP_CWORD=" + std::to_string(words.size() - 1) +
                " && _pelorix_cli && printf '%s\\n' \"${COMPREPLY[@]}\"";
        std::string out;
        std::string err;
        EXPECT_EQ(test::runProcess(bash, {"--norc", "-c", line}, &out, &err, env), 0) << err;
        std::set<std::string> replies;
        for (const std::string &reply : splitLines(out)) {
            if (!reply.empty())
                replies.insert(reply);
        }
        return replies;
    };

    // The commands and the refresh options are those the help names.
    const std::string text = help("pelorix-cli");
    std::set<std::string> commands = helpTags(text, "Commands:");
    commands.erase("-h");
    commands.erase("--version");
    std::set<std::string> firstWords = complete({"pelorix-cli", ""});
    for (const std::string &command : commands)
        EXPECT_TRUE(firstWords.count(command)) << command;
    EXPECT_TRUE(firstWords.count("--help") && firstWords.count("--version"));
    // Each command's options are the "    --" lines below its own line.
    std::map<std::string, std::set<std::string>> options;
    std::string command;
    for (const std::string &line : helpSection(text, "Commands:")) {
        if (line.size() > 2 && line.rfind("  ", 0) == 0 && line[2] != ' ')
            command = line.substr(2, line.find(' ', 2) - 2);
        else if (line.rfind("    --", 0) == 0)
            options[command].insert(line.substr(4, line.find(' ', 4) - 4));
    }
    EXPECT_EQ(complete({"pelorix-cli", "refresh", "--"}), options["refresh"]);
    EXPECT_EQ(complete({"pelorix-cli", "join", "127.0.0.1:10481", "--"}), options["join"]);

    const struct {
        std::vector<std::string> words;
        std::set<std::string> replies;
    } cases[] = {
        {{"pelorix-cli", "re"}, {"refresh"}},
        {{"pelorix-cli", "d"}, {"delete"}},
        {{"pelorix-cli", "delete", "1.2.3.4:10481", "--"}, {"--password-stdin"}},
        {{"pelorix-cli", "add", "--"}, {}},
        {{"pelorix-cli", "refresh", "--find", ""}, {}},
        {{"pelorix-cli", "refresh", "--sort", "pi"}, {"ping", "ping:desc"}},
        {{"pelorix-cli", "update", "--"}, {"--json"}},
        {{"pelorix-cli", "players", "127.0.0.1:10481", "--j"}, {"--json"}},
        {{"pelorix-cli", "settings", ""}, {"list", "get", "set"}},
        {{"pelorix-cli", "settings", "get", "ni"}, {"nick"}},
        {{"pelorix-cli", "settings", "get", "VEK"}, {"VEKTA4\\ 1.0"}},
        {{"pelorix-cli", "settings", "get", "--"}, {"--type", "--default"}},
        {{"pelorix-cli", "settings", "set", "--"}, {"--type"}},
        {{"pelorix-cli", "settings", "get", "--type", ""}, {"text", "flag", "integer"}},
        {{"pelorix-cli", "settings", "set", "--type", "flag", "pro"},
         {"proxy", "proxyserver", "proxyport", "proxyuser", "proxypassword"}},
        {{"pelorix-cli", "settings", "set", "nick", ""}, {}},
        {{"pelorix-cli", "webget", "--"}, {"--agent"}},
        {{"pelorix-cli", "webget", "--agent", ""}, {}},
        {{"pelorix-cli", "jo"}, {"join"}},
        {{"pelorix-cli", "join", "a:1", "--password", ""}, {}},
    };
    for (const auto &c : cases) {
        std::string shown;
        for (const std::string &word : c.words)
            shown += "[" + word + "]";
        EXPECT_EQ(complete(c.words), c.replies) << shown;
    }
}

TEST_F(InstalledCopy, TheFirstStartMakesItsFilesGoesOfflineAndEndsInOrderOnASignal)
{
    TempDir home;
    TempDir runtime;
    ::chmod(runtime.path().c_str(), 0700);
    auto env = stagedEnvironment(home.path(), runtime.path());
    env["QT_QPA_PLATFORM"] = "offscreen";
    // A port nobody listens on: the master-list service is missing.
    env["PELORIX_MASTER_HOST"] = "127.0.0.1:" + std::to_string(test::freeTcpPort());
    ChildProcess window(program("pelorix"), {}, env, home.path());

    // The settings file in the usual place, the data folder, and the message of the day of an offline start
    // (the empty message, shown once) mean the start-up and the deferred step have run.
    const std::string settingsFile = home.file(".config/PELORIX/PELORIX.reg");
    const std::string emptyMessage = Md5Hex("", true);
    SettingsStore settings(settingsFile);
    const auto started = [&] {
        return settings.ReadString("motd", "") == emptyMessage && settings.ReadString("nick", "") == "Player123" &&
               std::filesystem::is_directory(home.file(".local/share/pelorix"));
    };
    for (int i = 0; i < 1200 && !started() && window.running(); ++i)
        std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(started()) << window.stderrText();
    // The refresh that follows finds no list and no cache.dat: it says so and the window stays.
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(window.running()) << window.stderrText();
    EXPECT_FALSE(std::filesystem::exists(home.file(".local/share/pelorix/cache.dat")));

    window.kill(SIGTERM);
    EXPECT_EQ(window.wait(60s), 0) << window.stderrText();
    EXPECT_EQ(window.stderrText().find("Sanitizer"), std::string::npos) << window.stderrText();
}

TEST_F(InstalledCopy, ThePackageHoldsTheInstalledFilesWithComputedDependencies)
{
    if (systemProgram("dpkg-shlibdeps").empty() || systemProgram("dpkg-deb").empty())
        GTEST_SKIP() << "dpkg-dev is missing (scripts/setup installs it)";
    TempDir out;
    std::string log;
    std::string err;
    // gzip rather than the package's xz: the same contents, made quicker.
    ASSERT_EQ(test::runProcess(PELORIX_CPACK_COMMAND,
                               {"--config", PELORIX_BINARY_DIR "/CPackConfig.cmake", "-G", "DEB", "-B", out.path(),
                                "-D", "CPACK_DEBIAN_COMPRESSION_TYPE=gzip"},
                               &log, &err, {}, 600s),
              0)
        << log << err;
    std::string deb;
    for (const auto &entry : std::filesystem::directory_iterator(out.path())) {
        if (entry.path().extension() == ".deb")
            deb = entry.path().string();
    }
    ASSERT_FALSE(deb.empty()) << log;

    std::string contents;
    ASSERT_EQ(test::runProcess("/usr/bin/dpkg-deb", {"--contents", deb}, &contents), 0);
    std::set<std::string> files;
    const std::string prefix = std::string(".") + PELORIX_INSTALL_PREFIX + "/";
    for (const std::string &line : splitLines(contents)) {
        if (line.empty() || line[0] != '-')
            continue;
        const std::size_t at = line.find(" ./");
        ASSERT_NE(at, std::string::npos) << line;
        const std::string path = line.substr(at + 1);
        ASSERT_EQ(path.rfind(prefix, 0), 0u) << path;
        files.insert(path.substr(prefix.size()));
    }
    EXPECT_EQ(files, expectedFiles());

    std::string fields;
    ASSERT_EQ(test::runProcess("/usr/bin/dpkg-deb", {"--field", deb, "Package", "Version", "Depends"}, &fields), 0);
    EXPECT_NE(fields.find("Package: pelorix\n"), std::string::npos) << fields;
    EXPECT_NE(fields.find("Version: 1.79\n"), std::string::npos) << fields;
    // Computed from the programs by dpkg-shlibdeps: nothing in the build names these packages.
    for (const char *library : {"libc6", "libqt6core6", "libqt6widgets6", "libqt6network6", "libjpeg62-turbo",
                                "libsqlite3-0", "libmicrohttpd12", "libssl3"})
        EXPECT_NE(fields.find(library), std::string::npos) << library << "\n" << fields;
}

} // namespace
} // namespace pelorix
