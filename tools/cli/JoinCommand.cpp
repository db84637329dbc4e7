// pelorix-cli join and wait: ask one server for its status as "Update single" does, then join it as the window's
// Join does (the same checks, questions and messages, the same start of the game); questions and prompts go to the
// terminal. wait asks again every 5555 ms and joins once the server showed a free slot.
#include "Commands.h"
#include "Output.h"

#include "core/Dialogs.h"
#include "core/EventPump.h"
#include "core/SettingsStore.h"
#include "core/Text.h"
#include "launch/GameLaunch.h"
#include "launch/Installations.h"
#include "launch/WaitForSlot.h"
#include "platform/ProcessList.h"
#include "view/SingleUpdate.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace pelorix::cli
{

namespace
{

constexpr int kUsageError = 64;
constexpr int kJoinEnded = 1;
// A line typed at the terminal longer than this is not taken.
constexpr std::size_t kLineLimit = 4096;
// A players text longer than this is cut on the terminal.
constexpr std::size_t kShownCountLimit = 40;

int usageError(const std::string &command, const std::string &message)
{
    std::fprintf(stderr, "pelorix-cli %s: %s\nusage: pelorix-cli %s ADDRESS [--password TEXT] [--dry-run]\n",
                 command.c_str(), message.c_str(), command.c_str());
    return kUsageError;
}

// One line from the terminal, without its line break; none at the end of the input or for an over-long line.
std::optional<std::string> readTerminalLine()
{
    std::string line;
    int c;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') {
        if (line.size() >= kLineLimit)
            return std::nullopt;
        line += static_cast<char>(c);
    }
    if (c == EOF && line.empty())
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// The program's text on the terminal: line breaks as the terminal's. A server's texts reach these messages, so no
// other control character gets through to steer the terminal.
std::string terminalText(const std::string &text)
{
    return TerminalText(text, true);
}

// The join's dialogs on the terminal: messages on standard error; a question, a prompt or the executable's file
// dialog is asked on standard error and answered on standard input when that is a terminal, otherwise a question
// is answered No and the others are cancelled. The password prompt takes --password when it was given.
class JoinDialogs final : public Dialogs
{
  public:
    explicit JoinDialogs(std::optional<std::string> password)
        : m_password(std::move(password))
        , m_interactive(::isatty(STDIN_FILENO) == 1)
    {
    }

    DialogAnswer message(DialogKind kind, const std::string &text, DialogButtons buttons) override
    {
        const char *word = kind == DialogKind::Error         ? "error"
                           : kind == DialogKind::Warning     ? "warning"
                           : kind == DialogKind::Information ? "information"
                                                             : "confirmation";
        std::fprintf(stderr, "pelorix-cli: %s: %s\n", word, terminalText(text).c_str());
        if (buttons != DialogButtons::YesNo)
            return DialogAnswer::Ok;
        if (!m_interactive) {
            std::fprintf(stderr, "pelorix-cli: answered No\n");
            return DialogAnswer::No;
        }
        std::fprintf(stderr, "Yes or No? [y/N] ");
        const auto answer = readTerminalLine();
        return answer && (asciiLower(*answer) == "y" || asciiLower(*answer) == "yes") ? DialogAnswer::Yes
                                                                                      : DialogAnswer::No;
    }

    std::optional<std::string> saveFileName(const FileDialogRequest &) override { return std::nullopt; }

    std::optional<std::string> openFileName(const FileDialogRequest &request) override
    {
        if (!m_interactive)
            return std::nullopt;
        std::fprintf(stderr, "%s (%s, %s), empty to cancel: ", terminalText(request.title).c_str(),
                     terminalText(request.filterName).c_str(), terminalText(request.filterPattern).c_str());
        // A typed path is the terminal's bytes, which are the file system's.
        auto path = readTerminalLine();
        if (!path || path->empty())
            return std::nullopt;
        return path;
    }

    std::optional<std::string> prompt(const std::string &caption, const std::string &label, const std::string &,
                                      bool) override
    {
        if (m_password)
            return m_password;
        if (!m_interactive)
            return std::nullopt;
        std::fprintf(stderr, "%s: %s ", terminalText(caption).c_str(), terminalText(label).c_str());
        const auto typed = readTerminalLine();
        return typed ? std::optional<std::string>(utf8ToCp1252(*typed)) : std::nullopt;
    }

  private:
    std::optional<std::string> m_password;
    bool m_interactive;
};

// The server's row as "Update single" writes it; none (after saying why) for an address whose port is not a number.
std::optional<SingleUpdateCells> askServer(const std::string &address)
{
    SleepingEventPump pump;
    std::string portError;
    auto cells = QuerySingleServer(address, pump, &portError);
    if (!cells)
        std::fprintf(stderr, "pelorix-cli: error: %s\n", cp1252ToUtf8(portError).c_str());
    return cells;
}

JoinRow joinRowOf(const SingleUpdateCells &cells, const std::string &address)
{
    const auto row = RowCellsAfterUpdate(cells);
    return JoinRow{row[0], row[1], row[2], address, row[6], row[7]};
}

void printPlan(const GameStart &plan)
{
    for (std::size_t i = 0; i < plan.argv.size(); ++i)
        std::printf("%s%s\n", i == 0 ? "program: " : "argument: ", plan.argv[i].c_str());
    std::printf("folder: %s\n", plan.folder.c_str());
    std::printf("WINEPREFIX: %s\n", plan.winePrefix ? plan.winePrefix->c_str() : "(as it is)");
}

int runJoin(const std::string &command, const std::vector<std::string> &args)
{
    const bool wait = command == "wait";
    std::optional<std::string> address;
    std::optional<std::string> password;
    bool dryRun = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--dry-run") {
            dryRun = true;
        } else if (args[i] == "--password") {
            if (i + 1 >= args.size())
                return usageError(command, "--password takes the password");
            password = utf8ToCp1252(args[++i]);
        } else if (args[i].starts_with("--")) {
            return usageError(command, "unknown option '" + args[i] + "'");
        } else if (address) {
            return usageError(command, "one ADDRESS only");
        } else {
            address = args[i];
        }
    }
    if (!address)
        return usageError(command, "the server's ADDRESS (host:port, the query port) is missing");

    SettingsStore settings(SettingsStore::defaultPath());
    JoinDialogs dialogs(password);
    GameInstallations installations(settings, dialogs);
    installations.loadExecutablePaths();
    JoinFrontEnd frontEnd;
    frontEnd.showOptionsMenu = [] {
        std::fprintf(stderr, "pelorix-cli: choose it in the window's Options menu, or store its path with "
                             "pelorix-cli settings set 10 PATH (1.0), 11 (1.1) or x (the expansion)\n");
    };
    frontEnd.clearJoinBoxes = [] {};
    frontEnd.minimize = [] {};
    frontEnd.isProcessRunning = IsProcessRunning;
    frontEnd.start = [dryRun](const std::string &executable, const std::string &line, const std::string &folder) {
        GameStart plan = planGameStart(executable, line, folder);
        if (plan.error != GameStartError::None)
            return plan;
        if (dryRun) {
            printPlan(plan);
            return plan;
        }
        return startGame(std::move(plan));
    };
    GameLaunch launch(installations, settings, dialogs, frontEnd);

    const std::string cp1252Address = utf8ToCp1252(*address);
    std::optional<SingleUpdateCells> cells = askServer(cp1252Address);
    if (!cells)
        return kJoinEnded;
    if (wait) {
        // The first answer stands for the row a refresh left; every tick then decides on the count asked before
        // and asks again, so the join judges the newest answer.
        using Clock = std::chrono::steady_clock;
        auto next = Clock::now();
        for (;;) {
            next += std::chrono::milliseconds(kWaitForSlotIntervalMs);
            // The count is the server's text: shown plain, short and on one line.
            const std::string shown = TerminalText(cells->players.substr(0, kShownCountLimit));
            std::fprintf(stderr, "pelorix-cli: %s shows %s\n", address->c_str(), shown.c_str());
            std::this_thread::sleep_until(next);
            const std::string before = cells->players;
            cells = askServer(cp1252Address);
            if (!cells)
                return kJoinEnded;
            if (SlotStateOf(before) == SlotState::Free)
                break;
        }
        std::fputs("\a", stderr);
        std::fflush(stderr);
    }
    if (!cells->answered) {
        std::fprintf(stderr, "pelorix-cli: %s did not answer the status query\n", address->c_str());
        return kJoinEnded;
    }
    const JoinResult result =
        launch.joinRow(joinRowOf(*cells, cp1252Address), std::nullopt, settings.ReadString("nick", "Player123"));
    switch (result.end) {
    case JoinEnd::Started:
        return 0;
    case JoinEnd::NoRow:
        std::fprintf(stderr, "pelorix-cli: the server is named N/A and cannot be joined\n");
        break;
    case JoinEnd::NoPassword:
        std::fprintf(stderr, "pelorix-cli: no password given (--password TEXT)\n");
        break;
    default:
        break;
    }
    return kJoinEnded;
}

const bool registered = registerCommand(
    "join", [](const std::vector<std::string> &args) { return runJoin("join", args); },
    "join ADDRESS [--password TEXT] [--dry-run]\n"
    "                  asks the server ADDRESS (host:port, the query port) for its status as\n"
    "                  update does, then joins it as the window's Join does: the game executable,\n"
    "                  install root and nick of the settings, the full-server question and the\n"
    "                  password prompt on the terminal, the game started through Wine\n"
    "                  (PELORIX_WINE) or directly\n"
    "  --password TEXT the answer to the password prompt of a locked or full server\n"
    "  --dry-run       print the program, its arguments, its working folder and WINEPREFIX\n"
    "                  instead of starting the game");

const bool registeredWait = registerCommand(
    "wait", [](const std::vector<std::string> &args) { return runJoin("wait", args); },
    "wait ADDRESS [--password TEXT] [--dry-run]\n"
    "                  waits for a free slot on the server ADDRESS, as a checked \"Join\" box of\n"
    "                  the window does: asks it every 5555 ms (each count on standard error)\n"
    "                  and, once a count was below the maximum, rings the terminal's bell and\n"
    "                  joins it as join does, with the same options and exit statuses");

} // namespace

} // namespace pelorix::cli
