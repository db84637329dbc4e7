#include "launch/GameLaunch.h"

#include "core/Dialogs.h"
#include "core/SettingsStore.h"
#include "core/Text.h"
#include "launch/Installations.h"
#include "platform/PathLookup.h"

#include <cstdint>
#include <cstring>

namespace pelorix
{

namespace
{

constexpr const char *kGameRunning = "Please exit the game before joining other server!";

// A game of the root lookup: a variant and version that have their own root key and executable selection.
struct KnownGame {
    const char *variant;
    const char *version;
    const char *rootKey;
    GameExecutable selection;
};

constexpr KnownGame kKnownGames[] = {
    {"VEKTA 4", "1.0", "VEKTA4 1.0", GameExecutable::Vekta410},
    {"VEKTA 4", "1.1", "VEKTA4 1.1", GameExecutable::Vekta411},
    {"VEKTA 4X", "1.0", "VEKTA4X 1.0", GameExecutable::Vekta4Dvh},
};

const KnownGame *knownGame(const std::string &variant, const std::string &version)
{
    for (const KnownGame &game : kKnownGames) {
        if (variant == game.variant && version == game.version)
            return &game;
    }
    return nullptr;
}

bool isMod(const std::string &variant)
{
    return variant != "VEKTA 4" && variant != "VEKTA 4X";
}

// A whole number of the players text; 0 when it is none.
int playersNumber(std::string_view text, bool &ok)
{
    int value = 0;
    ok = parseInt32(text, value);
    return ok ? value : 0;
}

// The players text counts as full when its two numbers are equal; a number that does not parse is 0.
bool looksFull(const std::string &players)
{
    const auto slash = players.find('/');
    if (slash == std::string::npos)
        return true;
    bool ok = false;
    const int n = playersNumber(std::string_view(players).substr(0, slash), ok);
    int m = 0;
    if (ok)
        m = playersNumber(std::string_view(players).substr(slash + 1, 20), ok);
    return n == m;
}

std::string shownPath(const std::string &path)
{
    return "\"" + utf8ToCp1252(path) + "\"";
}

} // namespace

std::optional<std::string> tableJoinCommandLine(const std::string &address, const std::string &nick,
                                                const std::string &password)
{
    const auto colon = address.find(':');
    const std::string host = colon == std::string::npos ? std::string() : address.substr(0, colon + 1);
    const std::string portText = address.substr(colon == std::string::npos ? 0 : colon + 1, 255);
    int port = 0;
    if (!parseInt32(portText, port))
        return std::nullopt;
    std::string line = " " + host + std::to_string(static_cast<std::int64_t>(port) - 1) + "?Name=" + nick;
    if (!password.empty())
        line += "?Password=" + password;
    return line;
}

std::string gameStartMessage(const GameStart &start)
{
    switch (start.error) {
    case GameStartError::None:
        return {};
    case GameStartError::MissingFile:
        return "The game file " + shownPath(start.subject) + " does not exist.";
    case GameStartError::UnreadableFile:
        return "The game file " + shownPath(start.subject) + " cannot be read.";
    case GameStartError::MissingFolder:
        return "The game's folder " + shownPath(start.subject) + " does not exist.";
    case GameStartError::NoWine:
        return "The game is a Windows program, and the Wine launcher " + shownPath(start.subject) +
               " cannot be found.\r\nInstall Wine, or set PELORIX_WINE to the command that runs Windows programs.";
    case GameStartError::NotExecutable:
        return "The game file " + shownPath(start.subject) + " is neither a Windows program nor an executable file.";
    case GameStartError::StartFailed:
        break;
    }
    return "The game could not be started: " + shownPath(start.subject) + ": " +
           utf8ToCp1252(std::strerror(start.errorNumber));
}

GameLaunch::GameLaunch(GameInstallations &installations, SettingsStore &settings, Dialogs &dialogs,
                       JoinFrontEnd frontEnd)
    : m_installations(installations)
    , m_settings(settings)
    , m_dialogs(dialogs)
    , m_frontEnd(std::move(frontEnd))
{
}

bool GameLaunch::gameRunning()
{
    if (m_frontEnd.isProcessRunning("vekta4.exe") || m_frontEnd.isProcessRunning("vekta4x.exe")) {
        m_dialogs.message(DialogKind::Warning, kGameRunning);
        return true;
    }
    return false;
}

std::string GameLaunch::modRoot() const
{
    const std::string executable = m_settings.ReadString("MOD_EXE", "");
    if (executable.empty())
        return {};
    const std::string folder = folderPartOf(executable);
    return folder.empty() ? executable : folder;
}

JoinResult GameLaunch::launch(const std::string &executable, const std::string &commandLine, const std::string &folder,
                              bool minimize)
{
    JoinResult result;
    result.commandLine = commandLine;
    result.start = m_frontEnd.start(executable, commandLine, folder);
    if (result.start->error != GameStartError::None) {
        // Saying nothing would leave the player waiting for a game that never comes.
        m_dialogs.message(DialogKind::Error, gameStartMessage(*result.start));
        result.end = JoinEnd::StartFailed;
        return result;
    }
    result.end = JoinEnd::Started;
    if (minimize)
        m_frontEnd.minimize();
    return result;
}

JoinResult GameLaunch::launchMod(const std::string &commandLine, bool minimize)
{
    const std::string executable = m_settings.ReadString("MOD_EXE", "");
    if (!gameFileExists(executable)) {
        m_dialogs.message(DialogKind::Error, "VEKTA4 Mod is not installed!");
        JoinResult ended;
        ended.commandLine = commandLine;
        ended.end = JoinEnd::ExecutableMissing;
        return ended;
    }
    // The mod's content folder is its working folder; without one, the executable's own.
    std::string folder = folderPartOf(m_settings.ReadString("MOD_CONTENT", ""));
    if (folder.empty())
        folder = folderPartOf(executable);
    return launch(executable, commandLine, folder, minimize);
}

JoinResult GameLaunch::joinRow(const std::optional<JoinRow> &selected, const std::optional<std::string> &checkedAddress,
                               const std::string &nick)
{
    JoinResult ended;
    const auto end = [&ended](JoinEnd how) {
        ended.end = how;
        return ended;
    };

    const auto &paths = m_installations.ExecutablePaths();
    if (paths[0].empty() && paths[1].empty() && paths[2].empty()) {
        m_dialogs.message(DialogKind::Confirmation, "Please set the game executable in options !");
        m_frontEnd.showOptionsMenu();
        return end(JoinEnd::NoExecutableSet);
    }
    if (!selected || selected->name == "N/A")
        return end(JoinEnd::NoRow);
    const JoinRow &row = *selected;

    bool full = false;
    if (looksFull(row.players)) {
        if (m_dialogs.message(DialogKind::Information, "Server is full, do you want to use max join password?",
                              DialogButtons::YesNo) != DialogAnswer::Yes)
            return end(JoinEnd::FullDeclined);
        full = true;
    }

    const std::string address = checkedAddress ? *checkedAddress : row.address;
    if (!tableJoinCommandLine(address, nick, {})) {
        const auto colon = address.find(':');
        const std::string portText = address.substr(colon == std::string::npos ? 0 : colon + 1, 255);
        m_dialogs.message(DialogKind::Error, "'" + portText + "' is not a valid integer value");
        return end(JoinEnd::BadPort);
    }

    std::string password;
    if (row.lock == "\xAE" || full) {
        const auto typed = m_dialogs.prompt("Server join password", "Password:", "", false);
        if (!typed || typed->empty())
            return end(JoinEnd::NoPassword);
        password = *typed;
    }

    m_frontEnd.clearJoinBoxes();
    if (gameRunning())
        return end(JoinEnd::GameRunning);
    ended.commandLine = *tableJoinCommandLine(address, nick, password);

    // Clearing the root reads the section's unnamed value.
    const std::string &variant = row.variant;
    const std::string &version = row.version;
    m_installations.setInstallRoot(m_settings.ReadString("", ""));
    const KnownGame *game = knownGame(variant, version);
    if (game)
        m_installations.setInstallRoot(m_settings.ReadString(game->rootKey, ""));
    else if (isMod(variant) && !modRoot().empty())
        m_installations.setInstallRoot(modRoot());
    if (m_installations.InstallRoot().empty() && game)
        m_installations.selectExecutable(game->selection);
    if (m_installations.InstallRoot().empty()) {
        m_dialogs.message(DialogKind::Warning,
                          "You don't have " + variant + " " + version + " installed.\r\nUnable to join.");
        return end(JoinEnd::NotInstalled);
    }

    if (isMod(variant)) {
        return launchMod(ended.commandLine, false);
    }
    const bool expansion = variant == "VEKTA 4X";
    const char *key = expansion ? "x" : version == "1.0" ? "10" : version == "1.1" ? "11" : nullptr;
    const std::string executable = key ? m_settings.ReadString(key, "") : std::string();
    if (!gameFileExists(executable)) {
        m_dialogs.message(DialogKind::Error,
                          expansion ? "VEKTA4 Dravenholt is not installed!" : "VEKTA4 is not installed!");
        return end(JoinEnd::ExecutableMissing);
    }
    return launch(executable, ended.commandLine, folderPartOf(executable), true);
}

JoinResult GameLaunch::directConnect(std::string &address, int game, const std::string &password)
{
    JoinResult ended;
    const auto end = [&ended](JoinEnd how) {
        ended.end = how;
        return ended;
    };

    std::erase(address, ' ');
    ended.commandLine = password.empty() ? address : address + "?Password=" + password;
    m_frontEnd.clearJoinBoxes();
    if (gameRunning())
        return end(JoinEnd::GameRunning);

    // The root is looked up without clearing it first.
    struct Choice {
        const char *variant;
        const char *version;
    };
    constexpr Choice kChoices[] = {{"VEKTA 4", "1.0"}, {"VEKTA 4", "1.1"}, {"VEKTA 4X", "1.0"}, {"MOD", ""}};
    const Choice choice = kChoices[game >= 0 && game < 4 ? game : 0];
    const std::string variant = choice.variant;
    const KnownGame *known = knownGame(variant, choice.version);
    if (known)
        m_installations.setInstallRoot(m_settings.ReadString(known->rootKey, ""));
    else
        m_installations.setInstallRoot(modRoot());
    if (m_installations.InstallRoot().empty() && known)
        m_installations.selectExecutable(known->selection);
    const std::string root = m_installations.InstallRoot();
    if (root.empty()) {
        m_dialogs.message(DialogKind::Warning,
                          "You don't have " + variant + " " + choice.version + " installed.\r\nUnable to join.");
        return end(JoinEnd::NotInstalled);
    }

    if (!known) {
        return launchMod(ended.commandLine, true);
    }
    const bool expansion = variant == "VEKTA 4X";
    const std::string executable = findPathIgnoringCase(
        root + (expansion ? "/ContentExpansion/system/vekta4x.exe" : "/Content/system/vekta4.exe"));
    if (!gameFileExists(executable)) {
        m_dialogs.message(DialogKind::Error,
                          expansion ? "VEKTA4 Dravenholt is not installed!" : "VEKTA4 is not installed!");
        return end(JoinEnd::ExecutableMissing);
    }
    return launch(executable, ended.commandLine, folderPartOf(executable), true);
}

} // namespace pelorix
