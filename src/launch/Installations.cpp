#include "launch/Installations.h"

#include "core/Dialogs.h"
#include "core/SettingsStore.h"
#include "platform/SystemText.h"

#include <filesystem>

namespace pelorix
{

namespace
{

struct SelectionValues {
    const char *filterName;
    const char *filterPattern;
    const char *proposedName;
    // The two keys in the order they are written, and which of them takes the root.
    const char *firstKey;
    const char *secondKey;
    bool rootFirst;
};

SelectionValues valuesOf(GameExecutable game)
{
    switch (game) {
    case GameExecutable::Vekta410:
        return {"VEKTA4 1.0 Game executable", "vekta4.exe", "vekta4.exe", "VEKTA4 1.0", "10", true};
    case GameExecutable::Vekta411:
        return {"VEKTA4 1.1 Game executable", "vekta4.exe", "vekta4.exe", "VEKTA4 1.1", "11", true};
    case GameExecutable::Vekta4Dvh:
        return {"VEKTA4 DVH Game executable", "vekta4x.exe", "vekta4x.exe", "x", "VEKTA4X 1.0", false};
    case GameExecutable::Mod:
        break;
    }
    return {"VEKTA4 MOD Game executable", "*.exe", "KRM Mod.exe", "MOD_CONTENT", "MOD_EXE", true};
}

} // namespace

std::string installRootOf(std::string_view path)
{
    const auto at = asciiLower(path).find("content");
    // At the first or second character there is no separator before it.
    if (at == std::string::npos || at < 2)
        return {};
    return std::string(path.substr(0, at - 1));
}

std::string folderPartOf(std::string_view path)
{
    const auto cut = path.find_last_of("/\\");
    return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut + 1));
}

bool gameFileExists(const std::string &path)
{
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

GameInstallations::GameInstallations(SettingsStore &settings, Dialogs &dialogs)
    : m_settings(settings)
    , m_dialogs(dialogs)
{
}

void GameInstallations::loadExecutablePaths()
{
    m_executablePaths = {m_settings.ReadString("10", ""), m_settings.ReadString("11", ""),
                         m_settings.ReadString("x", "")};
}

bool GameInstallations::selectExecutable(GameExecutable game)
{
    const SelectionValues values = valuesOf(game);
    FileDialogRequest request;
    request.title = "Main game executable";
    request.defaultFileName = values.proposedName;
    request.filterName = values.filterName;
    request.filterPattern = values.filterPattern;
    request.systemPath = true;
    const std::optional<std::string> chosen = m_dialogs.openFileName(request);
    if (!chosen)
        return false;
    const std::string &path = *chosen;
    m_installRoot = installRootOf(path);
    m_settings.WriteString(values.firstKey, values.rootFirst ? installRootOf(path) : path);
    m_settings.WriteString(values.secondKey, values.rootFirst ? path : installRootOf(path));
    loadExecutablePaths();
    return true;
}

} // namespace pelorix
