#include "platform/ShellOpen.h"

#include "platform/SystemText.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace pelorix
{

namespace
{

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && equalsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

// A command from the environment, split at blanks ("wine", "/opt/wine/bin/wine64", "env X=1 wine").
std::vector<std::string> commandFromEnvironment(const char *variable, const char *fallback)
{
    const char *value = std::getenv(variable);
    std::string text = value && *value ? value : fallback;
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (c == ' ' || c == '\t') {
            if (!word.empty())
                words.push_back(std::move(word));
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(std::move(word));
    return words;
}

bool isExecutableFile(const std::string &path)
{
    struct stat info {
    };
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The program to execute, found the way a shell finds it: a name with a '/' as it is, others along PATH.
std::string resolveProgram(const std::string &program)
{
    if (program.find('/') != std::string::npos)
        return program;
    const char *path = std::getenv("PATH");
    std::string_view dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const auto colon = dirs.find(':');
        const std::string_view dir = dirs.substr(0, colon);
        // An empty entry means the current folder.
        const std::string candidate = (std::filesystem::path(dir.empty() ? "." : dir) / program).string();
        if (isExecutableFile(candidate))
            return candidate;
        if (colon == std::string_view::npos)
            return {};
        dirs.remove_prefix(colon + 1);
    }
}

// The Wine launcher's command line for a Windows program.
std::vector<std::string> wineCommand(const std::string &path)
{
    auto argv = commandFromEnvironment("PELORIX_WINE", "wine");
    argv.push_back(path);
    return argv;
}

bool isWindowsProgram(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    char magic[2] = {};
    return in.read(magic, 2) && magic[0] == 'M' && magic[1] == 'Z';
}

// Starts argv detached: a grandchild in its own session, so it outlives us and leaves no zombie. `environment`,
// when given, replaces ours. Returns 0 when the exec succeeded (reported through a close-on-exec pipe), otherwise
// the error of the failed step (ENOENT when the program was not found).
int spawnDetachedWith(const std::vector<std::string> &argv, const std::string &folder,
                      const std::vector<std::string> *environment)
{
    if (argv.empty())
        return EINVAL;
    const std::string program = resolveProgram(argv.front());
    if (program.empty())
        return ENOENT;
    // Everything the children need is prepared before fork: after it only async-signal-safe calls.
    std::vector<std::string> store = argv;
    std::vector<char *> args;
    for (auto &a : store)
        args.push_back(a.data());
    args.push_back(nullptr);
    std::vector<std::string> envStore;
    std::vector<char *> envp;
    if (environment) {
        envStore = *environment;
        for (auto &e : envStore)
            envp.push_back(e.data());
        envp.push_back(nullptr);
    }
    char **const env = environment ? envp.data() : environ;

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return errno;
    UniqueFd readEnd(pipeFds[0]);
    UniqueFd writeEnd(pipeFds[1]);
    const pid_t child = ::fork();
    if (child < 0)
        return errno;
    if (child == 0) {
        readEnd.reset();
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild != 0)
            ::_exit(grandchild < 0 ? 1 : 0);
        int error = 0;
        if (!folder.empty() && ::chdir(folder.c_str()) != 0) {
            error = errno;
        } else {
            ::execve(program.c_str(), args.data(), env);
            error = errno;
        }
        [[maybe_unused]] const ssize_t written = ::write(writeEnd.get(), &error, sizeof error);
        ::_exit(127);
    }
    // Only the children hold the writing end now: the read below ends when the exec or the exit closes it.
    writeEnd.reset();
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t n;
    while ((n = ::read(readEnd.get(), &error, sizeof error)) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return ECHILD;
    if (n == 0)
        return 0;
    return n == static_cast<ssize_t>(sizeof error) && error != 0 ? error : ECHILD;
}

bool spawnDetached(const std::vector<std::string> &argv, const std::string &folder)
{
    return spawnDetachedWith(argv, folder, nullptr) == 0;
}

// The prefix of a Windows program inside one: the folder above its last "drive_c".
std::optional<std::string> winePrefixOf(const std::string &absolutePath)
{
    constexpr std::string_view marker = "/drive_c/";
    const auto at = absolutePath.rfind(marker);
    if (at == std::string::npos || at == 0)
        return std::nullopt;
    return absolutePath.substr(0, at);
}

} // namespace

std::vector<std::string> splitWindowsCommandLine(std::string_view text)
{
    std::vector<std::string> args;
    std::string current;
    bool inArgument = false;
    bool inQuotes = false;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const char c = text[i];
        if (!inQuotes && (c == ' ' || c == '\t')) {
            if (inArgument)
                args.push_back(std::move(current));
            current.clear();
            inArgument = false;
            ++i;
            continue;
        }
        inArgument = true;
        if (c == '\\') {
            std::size_t end = i;
            while (end < n && text[end] == '\\')
                ++end;
            const std::size_t count = end - i;
            if (end < n && text[end] == '"') {
                current.append(count / 2, '\\');
                if (count % 2 == 1) {
                    current += '"';
                    ++end;
                }
            } else {
                current.append(count, '\\');
            }
            i = end;
        } else if (c == '"') {
            if (inQuotes && i + 1 < n && text[i + 1] == '"') {
                current += '"';
                i += 2;
            } else {
                inQuotes = !inQuotes;
                ++i;
            }
        } else {
            current += c;
            ++i;
        }
    }
    if (inArgument)
        args.push_back(std::move(current));
    return args;
}

bool ShellOpen(const std::string &file, const std::string &parameters, const std::string &folder)
{
    if (file.empty())
        return false;
    const std::string target = windowsTextToSystem(file);
    const std::string workFolder = windowsTextToSystem(folder);
    std::vector<std::string> arguments;
    for (const auto &argument : splitWindowsCommandLine(parameters))
        arguments.push_back(windowsTextToSystem(argument));

    if (startsWithIgnoringCase(target, "http://") || startsWithIgnoringCase(target, "https://")) {
        auto argv = commandFromEnvironment("PELORIX_BROWSER", "xdg-open");
        argv.push_back(target);
        return spawnDetached(argv, workFolder);
    }

    std::string path = target;
    if (!workFolder.empty() && std::filesystem::path(path).is_relative()) {
        const std::string inFolder = (std::filesystem::path(workFolder) / path).string();
        std::error_code ec;
        if (std::filesystem::exists(inFolder, ec))
            path = inFolder;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return false;

    std::vector<std::string> argv;
    if (isWindowsProgram(path)) {
        argv = wineCommand(path);
    } else if (isExecutableFile(path)) {
        // A relative path must still name the file after the child changes its folder.
        argv.push_back(std::filesystem::absolute(path, ec).string());
    } else {
        argv = commandFromEnvironment("PELORIX_BROWSER", "xdg-open");
        argv.push_back(std::filesystem::absolute(path, ec).string());
        return spawnDetached(argv, workFolder);
    }
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return spawnDetached(argv, workFolder);
}

GameStart planGameStart(const std::string &executable, const std::string &parameters, const std::string &folder)
{
    GameStart plan;
    const auto fail = [&plan](GameStartError error, std::string subject) {
        plan.argv.clear();
        plan.error = error;
        plan.subject = std::move(subject);
        return plan;
    };
    std::error_code ec;
    struct stat info {
    };
    if (executable.empty() || ::stat(executable.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return fail(GameStartError::MissingFile, executable);
    if (::access(executable.c_str(), R_OK) != 0)
        return fail(GameStartError::UnreadableFile, executable);
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec))
        return fail(GameStartError::MissingFolder, folder);
    // An absolute path still names the file in the game's own folder, and is never taken for a launcher option.
    const std::string path = std::filesystem::absolute(executable, ec).string();
    if (isWindowsProgram(path)) {
        plan.argv = commandFromEnvironment("PELORIX_WINE", "wine");
        if (plan.argv.empty() || !isExecutableFile(resolveProgram(plan.argv.front())))
            return fail(GameStartError::NoWine, plan.argv.empty() ? std::string() : plan.argv.front());
        plan.argv.push_back(path);
        const char *prefix = std::getenv("WINEPREFIX");
        if (!prefix || !*prefix)
            plan.winePrefix = winePrefixOf(path);
    } else if (isExecutableFile(path)) {
        plan.argv.push_back(path);
    } else {
        return fail(GameStartError::NotExecutable, executable);
    }
    for (const auto &argument : splitWindowsCommandLine(parameters))
        plan.argv.push_back(windowsTextToSystem(argument));
    plan.folder = folder;
    return plan;
}

GameStart startGame(GameStart plan)
{
    if (plan.error != GameStartError::None)
        return plan;
    std::vector<std::string> environment;
    if (plan.winePrefix) {
        for (char **e = environ; e && *e; ++e) {
            if (!std::string_view(*e).starts_with("WINEPREFIX="))
                environment.emplace_back(*e);
        }
        environment.push_back("WINEPREFIX=" + *plan.winePrefix);
    }
    const int error = spawnDetachedWith(plan.argv, plan.folder, plan.winePrefix ? &environment : nullptr);
    if (error != 0) {
        plan.error = GameStartError::StartFailed;
        plan.subject = plan.argv.empty() ? std::string() : plan.argv.front();
        plan.errorNumber = error;
    }
    return plan;
}

bool StartWindowsProgram(const std::string &path)
{
    if (path.empty())
        return false;
    std::error_code ec;
    // An absolute path is never mistaken for one of the launcher's options.
    return spawnDetached(wineCommand(std::filesystem::absolute(path, ec).string()), {});
}

} // namespace pelorix
