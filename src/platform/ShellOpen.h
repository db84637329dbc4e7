#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorix
{

// The shell's "open": starts `file` detached from this program, without waiting for it.
// - an http:// or https:// address opens in the desktop's browser (the command in PELORIX_BROWSER,
//   "xdg-open" when unset);
// - a Windows program (a file beginning with "MZ") runs through Wine: the command in the
//   environment variable PELORIX_WINE, "wine" when unset;
// - an executable file (ELF, script) is executed directly;
// - any other existing file is handed to xdg-open like an address.
// A relative `file` is looked for in `folder` first.
// `parameters` is one command-line text, split into arguments by the Windows rules
// (splitWindowsCommandLine). `folder`, when not empty, is the started program's working folder.
// All three are the program's Windows-1252 text; they are handed to the system as UTF-8.
// Returns whether the program could be started; its later fate is not followed.
bool ShellOpen(const std::string &file, const std::string &parameters = {}, const std::string &folder = {});

// Runs the Windows program at `path` (the file system's bytes) through the Wine launcher, the command in
// PELORIX_WINE ("wine" when unset), detached and without waiting. Nothing but the launcher is executed; the
// file itself is not looked at, so the caller decides that it is a Windows program. Returns whether the
// launcher could be started.
bool StartWindowsProgram(const std::string &path);

// Why a game cannot be started.
enum class GameStartError {
    None,
    MissingFile, // no regular file at the path (a folder, a dangling link, nothing)
    UnreadableFile,
    MissingFolder, // the working folder
    NoWine,        // the Wine launcher (PELORIX_WINE, "wine") is not found
    NotExecutable, // neither a Windows program nor an executable file
    StartFailed,   // the system refused to run it (errno in `errorNumber`)
};

// How a game is started: the program and its arguments as the system gets them, the working folder and, for a
// Windows program inside a Wine prefix, the prefix. `error` is set instead when it cannot be started, and
// `subject` names the file, folder or launcher it is about.
struct GameStart {
    std::vector<std::string> argv; // the program first; the file system's bytes
    std::string folder;
    std::optional<std::string> winePrefix; // WINEPREFIX for the started program, when we choose it
    GameStartError error = GameStartError::None;
    std::string subject;
    int errorNumber = 0;
};

// Plans the start of a game. `executable` and `folder` are the file system's bytes, used as they are;
// `parameters` is the program's Windows-1252 command line, split by the Windows rules and handed over as
// UTF-8. A file beginning with "MZ" runs under the command in PELORIX_WINE ("wine" when unset); when it lies
// in a Wine prefix (its path holds "/drive_c/") and WINEPREFIX is not set, the prefix is the folder above
// "drive_c". Any other file must be executable and runs directly. Nothing is started here.
GameStart planGameStart(const std::string &executable, const std::string &parameters, const std::string &folder);

// Starts a planned game detached, without a shell. Returns the plan with `error` still None when it was
// started, otherwise with why not.
GameStart startGame(GameStart plan);

// Splits a command-line text into arguments as Windows programs do (CommandLineToArgvW rules for
// the arguments after the program name): blanks and tabs separate, double quotes group; 2n
// backslashes before a quote give n backslashes and the quote opens or closes a group; 2n+1
// backslashes before a quote give n backslashes and a literal quote; other backslashes are literal;
// inside a group, a doubled quote gives a literal quote.
std::vector<std::string> splitWindowsCommandLine(std::string_view commandLine);

} // namespace pelorix
