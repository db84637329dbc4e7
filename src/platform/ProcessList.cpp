#include "platform/ProcessList.h"

#include "platform/SystemText.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <memory>
#include <string_view>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace pelorix
{

namespace
{

// No file name or path the system can open is longer; anything longer is not a name we look for.
constexpr std::size_t kNameLimit = PATH_MAX;

struct DirCloser {
    void operator()(DIR *dir) const { ::closedir(dir); }
};

std::string_view fileNamePart(std::string_view path)
{
    const auto cut = path.find_last_of("/\\");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// The target of /proc/PID/exe; empty when it cannot be read (another user's process, a kernel thread).
std::string executableOf(const std::string &procFolder)
{
    std::string target(kNameLimit, '\0');
    const ssize_t n = ::readlink((procFolder + "/exe").c_str(), target.data(), target.size());
    // A link that fills the whole buffer may have been cut short.
    if (n <= 0 || static_cast<std::size_t>(n) >= target.size())
        return {};
    target.resize(static_cast<std::size_t>(n));
    // A deleted executable reads as "/path/name (deleted)"; the name is what counts.
    constexpr std::string_view deleted = " (deleted)";
    if (target.size() > deleted.size() && target.ends_with(deleted))
        target.resize(target.size() - deleted.size());
    return target;
}

// argv[0] from /proc/PID/cmdline. A process may rewrite that area with anything, so at most kNameLimit
// bytes are read; a first argument that does not end within them is left unread (empty).
std::string firstArgumentOf(const std::string &procFolder)
{
    const UniqueFd fd(::open((procFolder + "/cmdline").c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        return {};
    std::string text(kNameLimit, '\0');
    std::size_t filled = 0;
    while (filled < text.size()) {
        const ssize_t n = ::read(fd.get(), text.data() + filled, text.size() - filled);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        filled += static_cast<std::size_t>(n);
        if (text.find('\0', filled - static_cast<std::size_t>(n)) < filled)
            break;
    }
    const std::size_t end = text.find('\0');
    if (end < filled)
        return text.substr(0, end);
    // No terminator: the whole text when the end of the file was reached within the limit.
    return filled < text.size() ? text.substr(0, filled) : std::string();
}

// Numeric entries of /proc: one per process.
std::vector<pid_t> processIds()
{
    std::vector<pid_t> ids;
    std::unique_ptr<DIR, DirCloser> proc(::opendir("/proc"));
    if (!proc)
        return ids;
    while (const dirent *entry = ::readdir(proc.get())) {
        char *end = nullptr;
        errno = 0;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid > 0 && errno == 0 && end && *end == '\0' && pid <= INT_MAX)
            ids.push_back(static_cast<pid_t>(pid));
    }
    return ids;
}

std::string procFolder(pid_t pid)
{
    return "/proc/" + std::to_string(pid);
}

// The wanted name, upper-cased, as given and as the system's UTF-8 (the program's text is
// Windows-1252, names on the system are UTF-8; ASCII names are the same in both).
struct WantedName {
    explicit WantedName(const std::string &name)
        : given(asciiUpper(name))
        , system(asciiUpper(windowsTextToSystem(name)))
    {
    }
    std::string given;
    std::string system;
};

bool sameName(std::string_view systemName, const WantedName &wanted)
{
    if (systemName.empty())
        return false;
    const std::string upper = asciiUpper(systemName);
    return upper == wanted.given || upper == wanted.system;
}

bool executableMatches(const std::string &executable, const WantedName &wanted)
{
    return sameName(fileNamePart(executable), wanted) || sameName(executable, wanted);
}

UniqueFd pidfdOpen(pid_t pid)
{
    return UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0u)));
}

bool pidfdSignal(const UniqueFd &pidfd, int signal)
{
    return ::syscall(SYS_pidfd_send_signal, pidfd.get(), signal, nullptr, 0u) == 0;
}

} // namespace

bool IsProcessRunning(const std::string &name)
{
    const WantedName wanted(name);
    bool running = false;
    for (const pid_t pid : processIds()) {
        const std::string folder = procFolder(pid);
        if (sameName(fileNamePart(executableOf(folder)), wanted) ||
            sameName(fileNamePart(firstArgumentOf(folder)), wanted))
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
    for (const pid_t pid : processIds()) {
        if (pid == self) {
            // This process goes last, so that every other copy is ended before it.
            killSelf = killSelf || executableMatches(executableOf(procFolder(pid)), wanted);
            continue;
        }
        // The pidfd holds on to this very process: if the id is reused later, signalling it fails instead.
        const UniqueFd pidfd = pidfdOpen(pid);
        if (!pidfd)
            continue;
        const std::string executable = executableOf(procFolder(pid));
        // Still alive after the look at /proc: the folder read was this process's, not a successor's.
        if (!executableMatches(executable, wanted) || !pidfdSignal(pidfd, 0))
            continue;
        result = pidfdSignal(pidfd, SIGKILL);
    }
    if (killSelf)
        result = ::kill(self, SIGKILL) == 0;
    return result;
}

} // namespace pelorix
