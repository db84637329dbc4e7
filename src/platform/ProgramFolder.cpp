#include "platform/ProgramFolder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace pelorix {

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

std::string ProgramFolder()
{
    std::string folder;
    if (const char *home = std::getenv("PELORIX_HOME"); home && *home)
        folder = home;
    else
        folder = std::filesystem::path(ExecutablePath()).parent_path().string();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

} // namespace pelorix
