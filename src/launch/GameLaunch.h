#pragma once

#include "platform/ShellOpen.h"

#include <functional>
#include <optional>
#include <string>

namespace pelorix
{

class Dialogs;
class GameInstallations;
class SettingsStore;

// The cells of a table row that a join reads.
struct JoinRow {
    std::string lock;
    std::string name;
    std::string players;
    std::string address;
    std::string variant;
    std::string version;
};

// What a join needs from the front end that runs it: the window, the command-line browser, the tests.
struct JoinFrontEnd {
    // The Options menu, when no game executable is set at all.
    std::function<void()> showOptionsMenu;
    // Unchecks every box of the "Join" column.
    std::function<void()> clearJoinBoxes;
    // Minimizes the browser once the game was started.
    std::function<void()> minimize;
    std::function<bool(const std::string &name)> isProcessRunning;
    // Starts the game (or, for a dry run, only plans it): executable and folder in the file system's bytes, the
    // command line as the program's text.
    std::function<GameStart(const std::string &executable, const std::string &commandLine, const std::string &folder)>
        start;
};

// How a join ended.
enum class JoinEnd {
    Started,
    NoExecutableSet, // "Please set the game executable in options !"
    NoRow,           // no row selected, or the row is "N/A": nothing shown
    FullDeclined,    // the full-server question was not answered Yes
    NoPassword,      // the password prompt was left empty or cancelled
    BadPort,         // the port is not a whole number
    GameRunning,     // "Please exit the game before joining other server!"
    NotInstalled,    // "You don't have ... installed."
    ExecutableMissing,
    StartFailed, // the system could not start the game; `start` says why
};

struct JoinResult {
    JoinEnd end = JoinEnd::NoRow;
    std::string commandLine;
    // What was started (or planned), once the join got that far.
    std::optional<GameStart> start;
};

// The game choices of the direct connect, in the order of its list.
inline constexpr const char *kDirectConnectGames[] = {"VEKTA4 1.0", "VEKTA4 1.1", "VEKTA4X 1.0", "VEKTA4 MOD"};

// The command line of a table join: a blank, the host with its ':', the query port minus one, "?Name=" and the
// nick, and "?Password=" with the password when one was entered. Empty when the port is not a whole number.
std::optional<std::string> tableJoinCommandLine(const std::string &address, const std::string &nick,
                                                const std::string &password);

// The message of a game that could not be started (Windows-1252 text).
std::string gameStartMessage(const GameStart &start);

// Starts the game for a server: the join of a table row and the direct connect by address.
class GameLaunch
{
  public:
    GameLaunch(GameInstallations &installations, SettingsStore &settings, Dialogs &dialogs, JoinFrontEnd frontEnd);

    // The join of the selected row (none: no row selected). `checkedAddress` is the address of the last checked
    // "Join" row, which replaces the selected row's; every other cell is the selected row's.
    JoinResult joinRow(const std::optional<JoinRow> &selected, const std::optional<std::string> &checkedAddress,
                       const std::string &nick);

    // The connect of the direct-connect panel: `address` loses its blanks (the caller shows it so), `game` is the
    // index in kDirectConnectGames.
    JoinResult directConnect(std::string &address, int game, const std::string &password);

  private:
    bool gameRunning();
    // The mod's root test: the folder of "MOD_EXE" when that key is set.
    std::string modRoot() const;
    // Starts the file with the command line in the folder; a start that fails is shown as an error.
    JoinResult launch(const std::string &executable, const std::string &commandLine, const std::string &folder,
                      bool minimize);
    // Starts the mod ("MOD_EXE") in its content folder ("MOD_CONTENT"), or says that it is not installed.
    JoinResult launchMod(const std::string &commandLine, bool minimize);

    GameInstallations &m_installations;
    SettingsStore &m_settings;
    Dialogs &m_dialogs;
    JoinFrontEnd m_frontEnd;
};

} // namespace pelorix
