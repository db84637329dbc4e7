#include "platform/ProcessList.h"

#include "platform/SystemText.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace pelorix {

namespace {

struct DirCloser
{
    void operator()(DIR *dir) const { ::closedir(dir); }
};

std::string_view fileNamePart(std::string_view path)
{
    const auto cut = path.find_last_of("/\\");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

std::string readLink(const std::string &path)
{
    std::string target(4096, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0)
        return {};
    target.resize(static_cast<std::size_t>(n));
    // A deleted executable reads as "/path/name (deleted)"; the name is what counts.
    constexpr std::string_view deleted = " (deleted)";
    if (target.size() > deleted.size() && target.ends_with(deleted))
        target.resize(target.size() - deleted.size());
    return target;
}

std::string firstArgument(const std::string &cmdlinePath)
{
    const int fd = ::open(cmdlinePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.find('\0') != std::string::npos)
            break;
    }
    ::close(fd);
    return text.substr(0, text.find('\0'));
}

struct ProcessNames
{
    pid_t pid = 0;
    std::string executable; // the /proc/PID/exe target; empty for kernel threads and foreign processes
    std::string argument0;
};

// Every process visible now; those that end while we look are simply missing from the list.
std::vector<ProcessNames> snapshot()
{
    std::vector<ProcessNames> list;
    std::unique_ptr<DIR, DirCloser> proc(::opendir("/proc"));
    if (!proc)
        return list;
    while (const dirent *entry = ::readdir(proc.get())) {
        char *end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || !end || *end != '\0')
            continue;
        const std::string base = "/proc/" + std::string(entry->d_name);
        ProcessNames names;
        names.pid = static_cast<pid_t>(pid);
        names.executable = readLink(base + "/exe");
        names.argument0 = firstArgument(base + "/cmdline");
        if (!names.executable.empty() || !names.argument0.empty())
            list.push_back(std::move(names));
    }
    return list;
}

// The wanted name, upper-cased, as given and as the system's UTF-8 (the program's text is
// Windows-1252, names on the system are UTF-8; ASCII names are the same in both).
struct WantedName
{
    explicit WantedName(const std::string &name)
        : given(upperAscii(name))
        , system(upperAscii(windowsTextToSystem(name)))
    {
    }
    std::string given;
    std::string system;
};

bool sameName(std::string_view systemName, const WantedName &wanted)
{
    if (systemName.empty())
        return false;
    const std::string upper = upperAscii(systemName);
    return upper == wanted.given || upper == wanted.system;
}

bool fileNameMatches(const ProcessNames &process, const WantedName &wanted)
{
    return sameName(fileNamePart(process.executable), wanted) || sameName(fileNamePart(process.argument0), wanted);
}

} // namespace

bool IsProcessRunning(const std::string &name)
{
    const WantedName wanted(name);
    bool running = false;
    for (const auto &process : snapshot()) {
        if (fileNameMatches(process, wanted))
            running = true;
    }
    return running;
}

bool KillProcessesByName(const std::string &name)
{
    const WantedName wanted(name);
    const pid_t self = ::getpid();
    bool result = false;
    bool killSelf = false;
    for (const auto &process : snapshot()) {
        const bool match = fileNameMatches(process, wanted) || sameName(process.executable, wanted)
            || sameName(process.argument0, wanted);
        if (!match)
            continue;
        // This process goes last, so that every other copy is ended before it.
        if (process.pid == self) {
            killSelf = true;
            continue;
        }
        result = ::kill(process.pid, SIGKILL) == 0;
    }
    if (killSelf)
        result = ::kill(self, SIGKILL) == 0;
    return result;
}

} // namespace pelorix
