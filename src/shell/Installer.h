#pragma once

#include <functional>
#include <string>

namespace pelorix
{

class Dialogs;

// Runs a Windows program through the Wine launcher; StartWindowsProgram in the program, a recorder in tests.
using WindowsProgramStarter = std::function<bool(const std::string &path)>;

// The error shown when a downloaded installer is refused; `path` is the file system's bytes.
std::string refusedInstallerText(const std::string &path);

// Starts the installer just downloaded to `path`. It arrives over plain HTTP, so only a Windows program
// (a file beginning with "MZ") is started, and only through `start` (StartWindowsProgram when empty).
// Anything else, a Linux program or a script above all, is deleted without being started, and `dialogs`
// shows refusedInstallerText. A missing file (a failed download) fails without a message.
// Returns whether the installer was started.
bool StartDownloadedInstaller(const std::string &path, Dialogs &dialogs, const WindowsProgramStarter &start = {});

} // namespace pelorix
