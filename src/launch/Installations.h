#pragma once

#include <array>
#include <string>
#include <string_view>

namespace pelorix
{

class Dialogs;
class SettingsStore;

// The install root of a chosen executable path: everything before the separator that precedes the first
// "content" (ASCII letters compared without case), in the path's own case; empty when "content" does not occur
// or starts the path. ContentExpansion counts as well, so the expansion shares its game's root.
std::string installRootOf(std::string_view path);

// The folder part of a path: up to and including its last '/' (or '\' in a stored Windows-style path); empty
// when it has neither.
std::string folderPartOf(std::string_view path);

// True when a regular file (a link to one counts) is at the path, given in the file system's bytes.
bool gameFileExists(const std::string &path);

// The four executables the Options menu selects.
enum class GameExecutable { Vekta410, Vekta411, Vekta4Dvh, Mod };

// The game installations: the executable selections, the in-memory copies of the three game paths and the install
// root of the game being joined. Paths are the file system's bytes, stored and handed on as they are.
class GameInstallations
{
  public:
    GameInstallations(SettingsStore &settings, Dialogs &dialogs);

    // The copies of "10", "11" and "x", read again from the store.
    void loadExecutablePaths();
    const std::array<std::string, 3> &ExecutablePaths() const { return m_executablePaths; }

    const std::string &InstallRoot() const { return m_installRoot; }
    void setInstallRoot(std::string root) { m_installRoot = std::move(root); }

    // The "Main game executable" dialog for one game: on a choice, sets InstallRoot, writes the game's two keys in
    // its order and reloads ExecutablePaths. False when the dialog was cancelled (nothing changes).
    bool selectExecutable(GameExecutable game);

  private:
    SettingsStore &m_settings;
    Dialogs &m_dialogs;
    std::array<std::string, 3> m_executablePaths;
    std::string m_installRoot;
};

} // namespace pelorix
