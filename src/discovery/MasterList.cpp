#include "discovery/MasterList.h"

#include "core/Dialogs.h"
#include "core/ServerTable.h"
#include "core/Text.h"
#include "discovery/RequestSignature.h"
#include "discovery/WebRequests.h"
#include "platform/AtomicFile.h"
#include "platform/UniqueFd.h"

#include <filesystem>
#include <stdexcept>
#include <string>
#include <unordered_set>

namespace pelorix
{

namespace
{

void setStep(const MasterListContext &context, int step)
{
    if (context.refreshStep)
        *context.refreshStep = step;
}

// A service reply counts as a list when it has at least 10 characters and is not a "404 Not Found" page.
bool isUsableList(const std::string &text)
{
    return text.size() >= 10 && text.find("404 Not Found") == std::string::npos;
}

std::string inFolder(const std::string &folder, std::string_view name)
{
    std::string path;
    path.reserve(folder.size() + name.size());
    path.append(folder).append(name);
    return path;
}

std::string withCrLfAfterEach(const std::vector<std::string> &lines)
{
    std::string out;
    size_t size = 0;
    for (const auto &line : lines)
        size += line.size() + 2;
    out.reserve(size);
    for (const auto &line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

bool exists(const std::string &path)
{
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

// The lines of a list file up to its first NUL byte and within the list limits; reading stops at a limit, so
// the size of the file does not matter. False when it is not a regular file that can be read to there.
bool readListFile(const std::string &path, std::vector<std::string> &lines, bool &cut)
{
    const UniqueFd fd = openRegularFile(path);
    if (!fd)
        return false;
    BoundedLineSplitter splitter(kMaxListLines, kMaxListTextBytes);
    const bool read = readPieces(fd.get(), [&splitter](std::string_view piece) {
        const std::string_view text = untilNul(piece);
        return splitter.feed(text) && text.size() == piece.size();
    });
    if (!read)
        return false;
    lines = splitter.finish();
    cut = splitter.cut();
    return true;
}

// The lines of a service reply that is taken for a list.
std::vector<std::string> listLines(std::string_view text, bool &cut)
{
    return splitLines(text, kMaxListLines, kMaxListTextBytes, &cut);
}

} // namespace

std::vector<std::string> whiteListLines(std::string_view fileText)
{
    bool cut = false;
    return listLines(untilNul(fileText), cut);
}

WhiteListFile LoadWhiteList(const std::string &programFolder)
{
    WhiteListFile file;
    const std::string path = inFolder(programFolder, kWhiteListFileName);
    file.exists = exists(path);
    bool cut = false;
    if (file.exists && !readListFile(path, file.entries, cut))
        file.entries.clear();
    return file;
}

bool isWhiteListed(std::string_view entry, const std::vector<std::string> &whiteList)
{
    for (const auto &allowed : whiteList) {
        if (equalsIgnoringAsciiCase(entry, allowed))
            return true;
    }
    return false;
}

MasterListOutcome GetMasterList(const MasterListContext &context)
{
    MasterListOutcome outcome;

    setStep(context, 50);
    std::vector<std::string> lines;
    {
        const WebRequest request = masterListRequest(RequestSignature(true));
        const std::string text = context.webGet ? context.webGet(request.address, request.userAgent) : std::string();
        // Split here, so that a large reply is let go before the rest of the stage.
        if (isUsableList(text)) {
            lines = listLines(text, outcome.cut);
            outcome.obtained = true;
        }
    }

    if (!outcome.obtained) {
        const std::string cachePath = inFolder(context.programFolder, kCacheFileName);
        if (!exists(cachePath)) {
            if (context.labels)
                context.labels->setCacheLabelVisible(false);
            if (context.dialogs)
                context.dialogs->message(DialogKind::Error,
                                         "Cache file is missing, unable to use PELORIX offline.\r\nfile: " + cachePath);
            return outcome;
        }
        setStep(context, 60);
        // A cache.dat that is there but cannot be read (a folder, no permission) is a fault of this step.
        if (!readListFile(cachePath, lines, outcome.cut))
            throw std::runtime_error("cache.dat cannot be read");
        outcome.fromCache = true;
        outcome.obtained = true;
    }
    if (context.labels)
        context.labels->setCacheLabelVisible(outcome.fromCache);

    setStep(context, 70);
    std::vector<std::string> local;
    std::vector<std::string> &masterList = context.masterList ? *context.masterList : local;
    masterList = std::move(lines);

    // The cache always holds the unfiltered list. An unwritable folder leaves the previous copy and the refresh
    // goes on with the list it has.
    outcome.cacheWritten =
        writeFileAtomically(inFolder(context.programFolder, kCacheFileName), withCrLfAfterEach(masterList));

    if (context.whiteList && !context.whiteList->empty()) {
        std::unordered_set<std::string> allowed;
        for (const auto &entry : *context.whiteList)
            allowed.insert(asciiLower(entry));
        // The last line is not an address: it is set aside before the filter, so that the last address the
        // white list keeps is not taken for it and dropped below.
        std::vector<std::string> kept;
        kept.reserve(masterList.size());
        for (size_t i = 0; i + 1 < masterList.size(); ++i) {
            if (allowed.count(asciiLower(masterList[i])))
                kept.push_back(masterList[i]);
        }
        if (!masterList.empty())
            kept.push_back(masterList.back());
        masterList = std::move(kept);
    }

    if (context.labels)
        context.labels->setTotalLabel("Total server count: " +
                                      std::to_string(static_cast<long long>(masterList.size()) - 1));

    if (context.table) {
        // The last line of the list is not an address.
        std::vector<std::string> column(masterList.begin(), masterList.end() - (masterList.empty() ? 0 : 1));
        context.table->setColumnItems(ListBox6_ipaddress, std::move(column));
    }
    return outcome;
}

bool G1Click(const ServerTable &table, Dialogs &dialogs)
{
    const int visible = table.rowCount(ListBox6_ipaddress);
    dialogs.message(DialogKind::Information,
                    "The white list will be generated from the list of servers that are currently visible to you. "
                    "(depending also on your FILTERS settings)\r\nYou can send the white list to any user who has "
                    "issues refreshing the server list.\r\n\r\nCurrently visible servers: " +
                        std::to_string(visible));
    if (visible == 0) {
        dialogs.message(DialogKind::Error, "No servers are visible!\r\nPlease adjust your FILTERS and refresh.");
        return false;
    }
    FileDialogRequest request;
    request.title = "Save white_list.txt";
    request.defaultFileName = std::string(kWhiteListFileName);
    request.filterName = "*.txt";
    request.filterPattern = "*.txt";
    request.promptOverwrite = false;
    const auto path = dialogs.saveFileName(request);
    if (!path)
        return false;
    if (!writeFileAtomically(*path, withCrLfAfterEach(table.columnItems(ListBox6_ipaddress)))) {
        // What the toolkit's default error box says when a file cannot be created.
        dialogs.message(DialogKind::Error, "Cannot create file \"" + *path + "\".");
        return false;
    }
    return true;
}

void Label3Click(const std::string &programFolder, Dialogs &dialogs)
{
    dialogs.message(DialogKind::Information,
                    "The white_list.txt file is in use, you will see only servers that are mentioned in the file !\r\n"
                    "If you wish to deactivate the use of the file, please remove it.\r\n\r\nLocation: " +
                        inFolder(programFolder, kWhiteListFileName));
}

} // namespace pelorix
