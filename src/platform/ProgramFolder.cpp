#include "platform/ProgramFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace pelorix
{

namespace
{

std::string withSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::string environmentValue(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

// <prefix>/share/pelorix/ when the executable lies in <prefix>/bin and that folder exists.
std::string installedSharedFolder(const std::filesystem::path &executable)
{
    const std::filesystem::path bin = executable.parent_path();
    if (bin.filename() != "bin")
        return {};
    const std::filesystem::path shared = bin.parent_path() / "share" / "pelorix";
    std::error_code ec;
    if (!std::filesystem::is_directory(shared, ec))
        return {};
    return withSlash(shared.string());
}

} // namespace

std::string ExecutablePath()
{
    std::error_code ec;
    const auto path = std::filesystem::canonical("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}

std::string ExecutableFileName()
{
    return std::filesystem::path(ExecutablePath()).filename().string();
}

ProgramLocation locateProgram(const std::string &executablePath, const ProgramEnvironment &environment)
{
    const std::filesystem::path executable(executablePath);
    ProgramLocation location;
    location.sharedFolder = installedSharedFolder(executable);
    if (!environment.pelorixHome.empty()) {
        location.kind = ProgramLocation::Kind::Home;
        location.folder = withSlash(environment.pelorixHome);
        return location;
    }
    if (!location.sharedFolder.empty()) {
        std::string dataHome;
        if (!environment.xdgDataHome.empty() && environment.xdgDataHome.front() == '/')
            dataHome = environment.xdgDataHome;
        else if (!environment.home.empty())
            dataHome = withSlash(environment.home) + ".local/share";
        if (!dataHome.empty()) {
            location.kind = ProgramLocation::Kind::Installed;
            location.folder = withSlash(dataHome) + "pelorix/";
            return location;
        }
    }
    location.kind = ProgramLocation::Kind::Portable;
    location.folder = withSlash(executable.parent_path().string());
    return location;
}

ProgramEnvironment currentProgramEnvironment()
{
    ProgramEnvironment environment;
    environment.pelorixHome = environmentValue("PELORIX_HOME");
    environment.xdgDataHome = environmentValue("XDG_DATA_HOME");
    environment.home = environmentValue("HOME");
    if (environment.home.empty()) {
        if (const passwd *account = ::getpwuid(::getuid()); account && account->pw_dir)
            environment.home = account->pw_dir;
    }
    return environment;
}

ProgramLocation currentProgramLocation()
{
    ProgramLocation location = locateProgram(ExecutablePath(), currentProgramEnvironment());
    if (location.kind == ProgramLocation::Kind::Installed) {
        std::error_code ec;
        std::filesystem::create_directories(location.folder, ec);
    }
    return location;
}

std::string ProgramFolder()
{
    return currentProgramLocation().folder;
}

} // namespace pelorix
