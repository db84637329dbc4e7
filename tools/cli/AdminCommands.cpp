// pelorix-cli add and delete: the Add server window's add and the table's "Delete server", with the log on standard
// output and the messages the window would show on standard error.
#include "Commands.h"
#include "TerminalDialogs.h"

#include "admin/AddServer.h"
#include "admin/DeleteServer.h"
#include "core/EventPump.h"
#include "core/SettingsStore.h"
#include "core/Text.h"
#include "discovery/WebClient.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <optional>

namespace pelorix::cli
{

namespace
{

// A password longer than this is cut; the service takes far less in a request line.
constexpr std::size_t kMaxPasswordBytes = 4096;

// The add's log as terminal lines; the window's other parts have no terminal counterpart.
class TerminalAddView final : public AddServerView
{
  public:
    void clearLog() override {}
    void appendLog(const std::string &line) override
    {
        std::printf("%s\n", cp1252ToUtf8(line).c_str());
        std::fflush(stdout);
    }
    void setLogVisible(bool) override {}
    void startProgress() override {}
    void stopProgress() override {}
    void beep() override {}
    void closeWindow() override {}
    void rearmStartup() override {}
};

// One line of at most kMaxPasswordBytes from fd, without its line break; nothing at the end of the input.
std::optional<std::string> readLine(int fd)
{
    std::string line;
    bool any = false;
    char c = 0;
    for (;;) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        any = true;
        if (c == '\n')
            break;
        if (line.size() < kMaxPasswordBytes)
            line += c;
    }
    if (!any)
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// The password prompt on the terminal, without echo; nothing when there is no terminal.
std::optional<std::string> promptOnTerminal(const std::string &label)
{
    const UniqueFd tty(::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY));
    if (!tty.valid())
        return std::nullopt;
    const std::string shown = label + ": ";
    [[maybe_unused]] const auto written = ::write(tty.get(), shown.data(), shown.size());
    termios saved{};
    const bool haveModes = ::tcgetattr(tty.get(), &saved) == 0;
    if (haveModes) {
        termios silent = saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(tty.get(), TCSAFLUSH, &silent);
    }
    std::optional<std::string> line = readLine(tty.get());
    if (haveModes)
        ::tcsetattr(tty.get(), TCSAFLUSH, &saved);
    [[maybe_unused]] const auto newline = ::write(tty.get(), "\n", 1);
    return line;
}

// The terminal's dialogs, with the password prompt answered from standard input or the terminal.
class DeleteDialogs final : public Dialogs
{
  public:
    explicit DeleteDialogs(bool fromStdin)
        : m_fromStdin(fromStdin)
    {
    }
    DialogAnswer message(DialogKind kind, const std::string &text, DialogButtons buttons) override
    {
        return m_terminal.message(kind, text, buttons);
    }
    std::optional<std::string> saveFileName(const FileDialogRequest &request) override
    {
        return m_terminal.saveFileName(request);
    }
    std::optional<std::string> openFileName(const FileDialogRequest &request) override
    {
        return m_terminal.openFileName(request);
    }
    std::optional<std::string> prompt(const std::string &, const std::string &label, const std::string &, bool) override
    {
        const auto line = m_fromStdin ? readLine(STDIN_FILENO) : promptOnTerminal(label);
        if (!line)
            return std::nullopt;
        return utf8ToCp1252(*line);
    }

  private:
    TerminalDialogs m_terminal;
    bool m_fromStdin;
};

int usage(const char *text)
{
    std::fprintf(stderr, "usage: %s\n", text);
    return 64;
}

int runAdd(const std::vector<std::string> &args)
{
    constexpr const char *kUsage = "pelorix-cli add ADDRESS:QUERYPORT";
    if (args.size() != 1)
        return usage(kUsage);
    // The address before the last colon, as the window's address box takes it; the port after it.
    const std::string entry = utf8ToCp1252(args[0]);
    const std::size_t colon = entry.rfind(':');
    int port = 0;
    if (colon == std::string::npos || !parseInt32(std::string_view(entry).substr(colon + 1), port))
        return usage(kUsage);

    SettingsStore settings(SettingsStore::defaultPath());
    SleepingEventPump pump;
    TerminalDialogs dialogs;
    WebClient web(settings, pump, dialogs);
    TerminalAddView view;
    AddServer add(web, pump, dialogs, view);
    return add.Run(entry.substr(0, colon), port) == AddOutcome::Added ? 0 : 1;
}

int runDelete(const std::vector<std::string> &args)
{
    constexpr const char *kUsage = "pelorix-cli delete ADDRESS [--password-stdin]";
    std::string address;
    bool fromStdin = false;
    for (const auto &arg : args) {
        if (arg == "--password-stdin")
            fromStdin = true;
        else if (address.empty() && !arg.empty() && arg[0] != '-')
            address = utf8ToCp1252(arg);
        else
            return usage(kUsage);
    }
    if (address.empty())
        return usage(kUsage);

    SettingsStore settings(SettingsStore::defaultPath());
    SleepingEventPump pump;
    DeleteDialogs dialogs(fromStdin);
    WebClient web(settings, pump, dialogs);
    DeleteServer deletion(web, dialogs);
    return deletion.Run(address) == DeleteOutcome::Deleted ? 0 : 1;
}

const bool addRegistered =
    registerCommand("add", runAdd,
                    "add ADDRESS:QUERYPORT\n"
                    "                  add a server to the master list as the Add server window does:\n"
                    "                  the address check, the listing check, a test status query and\n"
                    "                  the request; the log on standard output, the messages on\n"
                    "                  standard error. Status 0 added, 1 refused or failed");

const bool deleteRegistered =
    registerCommand("delete", runDelete,
                    "delete ADDRESS [--password-stdin]\n"
                    "                  delete a server (host:port) from the master list with the\n"
                    "                  administrator password, asked on the terminal without echo or\n"
                    "                  read as one line from standard input. Status 0 deleted, 1\n"
                    "                  refused or the service not reached");

} // namespace

} // namespace pelorix::cli
