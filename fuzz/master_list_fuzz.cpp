// The master-list text, once as the web service's reply and once as cache.dat in the program folder.

#include "FuzzSupport.h"

#include "core/ServerTable.h"
#include "discovery/MasterList.h"
#include "platform/AtomicFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

using namespace pelorix;

namespace
{

class Labels : public MasterListLabels
{
  public:
    void setCacheLabelVisible(bool visible) override { cacheShown = visible; }
    void setTotalLabel(const std::string &text) override { total = text; }

    bool cacheShown = false;
    std::string total;
};

struct Fetch {
    MasterListOutcome outcome;
    std::vector<std::string> list;
    std::vector<std::string> column;
    Labels labels;
};

const std::string &programFolder()
{
    static const std::string folder = [] {
        const std::string path = fuzz::scratchFolder() + "program/";
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

Fetch fetch(const std::string &serviceReply)
{
    Fetch result;
    ServerTable table;
    int step = 0;
    MasterListContext context;
    context.webGet = [&](const std::string &, const std::string &) { return serviceReply; };
    context.table = &table;
    context.labels = &result.labels;
    context.programFolder = programFolder();
    context.refreshStep = &step;
    context.masterList = &result.list;
    result.outcome = GetMasterList(context);
    result.column = table.columnItems(ListBox6_ipaddress);
    return result;
}

// What every fetch that obtained a list shows, wherever the list came from.
void checkObtained(const Fetch &f)
{
    fuzz::require(f.outcome.obtained && f.outcome.cacheWritten, "a list was obtained and cache.dat written");
    for (const auto &line : f.list)
        fuzz::require(line.find_first_of("\r\n") == std::string::npos, "a list entry holds a line break");
    fuzz::require(f.labels.total == "Total server count: " + std::to_string(static_cast<long long>(f.list.size()) - 1),
                  "the total label counts the entries but the last");
    const size_t rows = f.list.empty() ? 0 : f.list.size() - 1;
    fuzz::require(f.column.size() == rows && std::equal(f.column.begin(), f.column.end(), f.list.begin()),
                  "the address column is the list without its last line");
}

bool usableReply(const std::string &text)
{
    return text.size() >= 10 && text.find("404 Not Found") == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string input(fuzz::asText(data, size));
    const std::string cache = programFolder() + std::string(kCacheFileName);

    // The input as the service's reply, with no cache.dat to fall back on.
    std::remove(cache.c_str());
    const Fetch fromService = fetch(input);
    if (!usableReply(input)) {
        fuzz::require(!fromService.outcome.obtained, "an unusable reply without cache.dat gave a list");
    } else {
        checkObtained(fromService);
        fuzz::require(!fromService.outcome.fromCache && !fromService.labels.cacheShown, "the service's list");
    }

    // The input as cache.dat, with a service that gives nothing.
    fuzz::require(writeFileAtomically(cache, input), "cache.dat written for the run");
    const Fetch fromCache = fetch(std::string());
    checkObtained(fromCache);
    fuzz::require(fromCache.outcome.fromCache && fromCache.labels.cacheShown, "the cached list");

    // The rewritten cache.dat gives the same list again.
    const Fetch again = fetch(std::string());
    fuzz::require(again.list == fromCache.list, "cache.dat does not read back as the list it was written from");

    // Both readers take a text without NUL bytes the same way.
    if (usableReply(input) && input.find('\0') == std::string::npos)
        fuzz::require(fromService.list == fromCache.list, "the service's list and the same text as cache.dat differ");
    return 0;
}
