#include "shell/Installer.h"

#include "core/Dialogs.h"
#include "platform/ShellOpen.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelorix
{

namespace
{

enum class Kind { Missing, WindowsProgram, Other };

Kind kindOf(const std::string &path)
{
    // No following of links and no waiting on a pipe: whatever sits there is only looked at.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fd)
        return errno == ENOENT ? Kind::Missing : Kind::Other;
    struct stat info {
    };
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return Kind::Other;
    char magic[2] = {};
    ssize_t n;
    while ((n = ::read(fd.get(), magic, sizeof magic)) < 0 && errno == EINTR) {
    }
    return n == 2 && magic[0] == 'M' && magic[1] == 'Z' ? Kind::WindowsProgram : Kind::Other;
}

} // namespace

std::string refusedInstallerText(const std::string &path)
{
    return "The downloaded installer is not a Windows program. It was deleted and not started.\r\nfile: " + path;
}

bool StartDownloadedInstaller(const std::string &path, Dialogs &dialogs, const WindowsProgramStarter &start)
{
    switch (kindOf(path)) {
    case Kind::Missing:
        return false;
    case Kind::WindowsProgram:
        return start ? start(path) : StartWindowsProgram(path);
    case Kind::Other:
        break;
    }
    ::unlink(path.c_str());
    dialogs.message(DialogKind::Error, refusedInstallerText(path));
    return false;
}

} // namespace pelorix
