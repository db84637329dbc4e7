// pelorix-cli refresh: one whole refresh exactly as the window runs it (master list with the stored proxy
// settings, cache.dat and white_list.txt of the program folder, the queries, the row pass with the stored filters,
// the final pass), then the table on standard output.
#include "CliEventPump.h"
#include "Commands.h"
#include "Output.h"
#include "Json.h"

#include "core/Dialogs.h"
#include "core/ServerTable.h"
#include "core/SettingsStore.h"
#include "core/Text.h"
#include "discovery/MasterList.h"
#include "discovery/RefreshEngine.h"
#include "discovery/WebClient.h"
#include "platform/ProgramFolder.h"
#include "view/ColumnSort.h"

#include <cstdio>
#include <optional>
#include <unistd.h>

namespace pelorix::cli
{

namespace
{

constexpr int kUsageError = 64;
constexpr int kNoList = 2;
constexpr int kRefreshError = 3;

const char *const kUsage = "refresh [--json] [--keep-unanswered] [--find NAME] [--sort COLUMN[:desc]]";

// Prints every dialog on standard error and keeps its text; questions get their default answer.
class CollectingDialogs final : public Dialogs
{
  public:
    DialogAnswer message(DialogKind kind, const std::string &text, DialogButtons buttons) override
    {
        messages.push_back(text);
        const char *label = kind == DialogKind::Error         ? "error"
                            : kind == DialogKind::Warning     ? "warning"
                            : kind == DialogKind::Information ? "information"
                                                              : "question";
        // Line breaks become the terminal's LF; a message may quote a server's text, whose control characters
        // become blanks.
        const std::string shown = TerminalText(text, true);
        std::fprintf(stderr, "%s%s: %s\n", m_progressShown ? "\n" : "", label, shown.c_str());
        m_progressShown = false;
        return buttons == DialogButtons::YesNo ? DialogAnswer::No : DialogAnswer::Ok;
    }
    std::optional<std::string> saveFileName(const FileDialogRequest &) override { return std::nullopt; }
    std::optional<std::string> openFileName(const FileDialogRequest &) override { return std::nullopt; }
    std::optional<std::string> prompt(const std::string &, const std::string &, const std::string &, bool) override
    {
        return std::nullopt;
    }
    void progressShown() { m_progressShown = true; }

    std::vector<std::string> messages;

  private:
    bool m_progressShown = false;
};

// The window's side of the refresh: labels kept for the output, a progress bar on a terminal.
class CliRefreshView final : public RefreshView
{
  public:
    CliRefreshView(CollectingDialogs &dialogs, bool drawProgress)
        : m_dialogs(dialogs)
        , m_draw(drawProgress)
    {
    }
    ~CliRefreshView() override { endProgressLine(); }
    CliRefreshView(const CliRefreshView &) = delete;
    CliRefreshView &operator=(const CliRefreshView &) = delete;

    void setCacheLabelVisible(bool visible) override
    {
        if (visible && !cacheLabel && m_draw) {
            endProgressLine();
            std::fprintf(stderr, "server list is not available, using offline cache\n");
        }
        cacheLabel = visible;
    }
    void setTotalLabel(const std::string &text) override { totalLabel = text; }
    void setPlayersLabel(const std::string &text) override { playersLabel = text; }
    void setServersLabel(const std::string &text) override { serversLabel = text; }
    void setProgressPanelVisible(bool visible) override
    {
        m_panel = visible;
        if (!visible)
            endProgressLine();
    }
    bool isProgressPanelVisible() const override { return m_panel; }
    void setProgressMaximum(int maximum) override { m_max = maximum; }
    void setProgressPosition(int position) override
    {
        m_position = position;
        draw();
    }
    void setCancelCaption(const std::string &) override {}
    void clearMapPicture() override {}
    void setMenuItemEnabled(RefreshMenuItem, bool) override {}
    void ListBox1_servernameClick() override {}

    bool cacheLabel = false;
    std::string totalLabel = "Total server count: N/A";
    std::string playersLabel = "Players online:\tN/A";
    std::string serversLabel = "Servers online:\tN/A";

  private:
    void draw()
    {
        if (!m_draw || !m_panel || m_max < 0)
            return;
        constexpr int kWidth = 40;
        const int done = m_max > 0 ? m_position * kWidth / m_max : kWidth;
        const int percent = m_max > 0 ? m_position * 100 / m_max : 100;
        if (percent == m_lastPercent)
            return;
        m_lastPercent = percent;
        std::fprintf(stderr, "\rquerying [%s%s] %3d%% (%d/%d)", std::string(static_cast<size_t>(done), '#').c_str(),
                     std::string(static_cast<size_t>(kWidth - done), ' ').c_str(), percent, m_position + 1, m_max + 1);
        std::fflush(stderr);
        m_lineOpen = true;
        m_dialogs.progressShown();
    }
    void endProgressLine()
    {
        if (m_lineOpen) {
            std::fprintf(stderr, "\n");
            m_lineOpen = false;
        }
        m_lastPercent = -1;
    }

    CollectingDialogs &m_dialogs;
    bool m_draw;
    bool m_panel = false;
    bool m_lineOpen = false;
    int m_max = -1;
    int m_position = 0;
    int m_lastPercent = -1;
};

std::string cellOrEmpty(const ServerTable &table, Column column, int row)
{
    return row < table.rowCount(column) ? table.cell(column, row) : std::string();
}

bool checkedOrFalse(const ServerTable &table, int row)
{
    return row < table.rowCount(Listbox10_check) && table.isChecked(row);
}

void printPlain(const ServerTable &table)
{
    const int rows = table.rowCount(ListBox1_servername);
    for (int row = 0; row < rows; ++row) {
        std::string line;
        for (int c = 0; c < ColumnCount; ++c) {
            const auto column = static_cast<Column>(c);
            if (c)
                line += '\t';
            line += column == Listbox10_check ? (checkedOrFalse(table, row) ? "1" : "0")
                                              : TerminalText(cellOrEmpty(table, column, row));
        }
        std::printf("%s\n", line.c_str());
    }
}

void printJson(const ServerTable &table, const CliRefreshView &view, const CollectingDialogs &dialogs,
               const std::optional<std::string> &foundAt)
{
    static const char *const kKeys[ColumnCount] = {"lock", "name",    "players", "ping",    "gametype",
                                                   "map",  "address", "variant", "version", "join"};
    std::string out = "{\"rows\":[";
    const int rows = table.rowCount(ListBox1_servername);
    for (int row = 0; row < rows; ++row) {
        out += row ? ",{" : "{";
        for (int c = 0; c < ColumnCount; ++c) {
            const auto column = static_cast<Column>(c);
            if (c)
                out += ',';
            out += '"';
            out += kKeys[c];
            out += "\":";
            if (column == Listbox10_check)
                out += checkedOrFalse(table, row) ? "true" : "false";
            else
                appendJsonString(out, cellOrEmpty(table, column, row));
        }
        out += '}';
    }
    out += "],\"players_label\":";
    appendJsonString(out, view.playersLabel);
    out += ",\"servers_label\":";
    appendJsonString(out, view.serversLabel);
    out += ",\"total_label\":";
    appendJsonString(out, view.totalLabel);
    out += ",\"offline_cache\":";
    out += view.cacheLabel ? "true" : "false";
    out += ",\"player_found_at\":";
    if (foundAt)
        appendJsonString(out, *foundAt);
    else
        out += "null";
    out += ",\"messages\":[";
    for (size_t i = 0; i < dialogs.messages.size(); ++i) {
        if (i)
            out += ',';
        appendJsonString(out, dialogs.messages[i]);
    }
    out += "]}\n";
    std::fputs(out.c_str(), stdout);
}

// The server named in the row pass's "was found" message, if one was shown.
std::optional<std::string> foundAtServer(const std::vector<std::string> &messages, const std::string &searched)
{
    if (searched.empty())
        return std::nullopt;
    const std::string prefix = "Player \"" + searched + "\" was found at server: ";
    for (const auto &text : messages) {
        if (text.rfind(prefix, 0) == 0)
            return text.substr(prefix.size());
    }
    return std::nullopt;
}

int runRefresh(const std::vector<std::string> &args)
{
    bool json = false;
    bool keepUnanswered = false;
    std::string find;
    int sortArea = -1;
    bool sortDescending = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json = true;
        } else if (args[i] == "--keep-unanswered") {
            keepUnanswered = true;
        } else if (args[i] == "--find" && i + 1 < args.size()) {
            find = utf8ToCp1252(args[++i]);
        } else if (args[i] == "--sort" && i + 1 < args.size()) {
            std::string column = args[++i];
            const std::string desc = ":desc";
            sortDescending = column.size() > desc.size() && column.ends_with(desc);
            if (sortDescending)
                column.resize(column.size() - desc.size());
            sortArea = sortAreaByCliName(column);
            if (sortArea < 0) {
                std::fprintf(stderr, "pelorix-cli refresh: unknown column '%s'\nusage: pelorix-cli %s\n",
                             args[i].c_str(), kUsage);
                return kUsageError;
            }
        } else {
            std::fprintf(stderr, "pelorix-cli refresh: unexpected argument '%s'\nusage: pelorix-cli %s\n",
                         args[i].c_str(), kUsage);
            return kUsageError;
        }
    }

    SettingsStore settings(SettingsStore::defaultPath());
    CollectingDialogs dialogs;
    CliEventPump pump;
    CliRefreshView view(dialogs, ::isatty(STDERR_FILENO) == 1);
    WebClient web(settings, pump, dialogs);
    ServerTable table;
    RefreshEngine engine(
        table, settings, dialogs, pump, view,
        [&web](const std::string &address, const std::string &userAgent) { return web.WebGet(address, userAgent); });
    pump.setTick([&engine] { engine.Thread_killerTimer(); });

    const std::string folder = ProgramFolder();
    engine.setProgramFolder(folder);
    engine.setWhiteList(LoadWhiteList(folder).entries);
    engine.setJvgCheckBox2(!keepUnanswered);
    engine.SearchedPlayer = find;

    engine.refresh_imageClick();
    const RefreshEnd end = engine.lastEnd();
    // As one click on the column's title, or two for the descending order.
    if (sortArea >= 0) {
        ColumnSorter sorter;
        sorter.sortByArea(table, sortArea);
        if (sortDescending)
            sorter.sortByArea(table, sortArea);
    }
    const auto foundAt = foundAtServer(dialogs.messages, find);
    view.setProgressPanelVisible(false);

    if (json)
        printJson(table, view, dialogs, foundAt);
    else
        printPlain(table);
    std::fflush(stdout);

    if (end == RefreshEnd::NoList)
        return kNoList;
    if (end == RefreshEnd::Fault)
        return kRefreshError;
    return 0;
}

// The lines of `pelorix-cli --help` (and so of the manual page) that describe this command.
const bool registered = registerCommand(
    "refresh", runRefresh,
    std::string(kUsage) + "\n"
                          "                  One whole refresh as the window runs it: the master list (with\n"
                          "                  the stored proxy settings), cache.dat when the service gives\n"
                          "                  none, white_list.txt, the status queries and the stored filters.\n"
                          "                  Then the table on standard output, one line a row of ten cells\n"
                          "                  parted by tabs: lock, name, players, ping, game type, map,\n"
                          "                  address, variant, version and join (1 or 0); control characters\n"
                          "                  in a cell become blanks. On a terminal a progress bar goes to\n"
                          "                  standard error.\n"
                          "  --json          the table as one JSON object (see JSON below)\n"
                          "  --keep-unanswered\n"
                          "                  keep the rows of servers that did not answer (cells \"?\")\n"
                          "  --find NAME     search every server for the player NAME, as Find player does\n"
                          "  --sort COLUMN[:desc]\n"
                          "                  order the table as a click on that column's title does (two\n"
                          "                  clicks for :desc); COLUMN is one of name, players, ping,\n"
                          "                  gametype, map, address, variant, version, join");

} // namespace

} // namespace pelorix::cli
