// white_list.txt as the user's folder holds it, then applied to a master list.

#include "FuzzSupport.h"

#include "core/ServerTable.h"
#include "core/Text.h"
#include "discovery/MasterList.h"

#include <algorithm>
#include <filesystem>

using namespace pelorix;

namespace
{

// Addresses in several letter cases, an empty line and the closing line the service ends its list with.
const std::string kServiceList =
    "1.2.3.4:10481\r\nHOST.example:10481\r\n\r\n10.0.0.1:7\r\nhost.EXAMPLE:10481\r\nend\r\n";

const std::string &programFolder()
{
    static const std::string folder = [] {
        const std::string path = fuzz::scratchFolder() + "program/";
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text = fuzz::asText(data, size);
    const std::vector<std::string> whiteList = whiteListLines(text);
    size_t total = 0;
    for (const auto &entry : whiteList) {
        total += entry.size();
        fuzz::require(entry.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos,
                      "a white-list entry holds a line break or a NUL");
    }
    fuzz::require(total <= untilNul(text).size(), "the white list holds more bytes than the text");

    ServerTable table;
    std::vector<std::string> masterList;
    MasterListContext context;
    context.webGet = [](const std::string &, const std::string &) { return kServiceList; };
    context.table = &table;
    context.programFolder = programFolder();
    context.whiteList = &whiteList;
    context.masterList = &masterList;
    fuzz::require(GetMasterList(context).obtained, "the service's list was taken");

    const std::vector<std::string> all = splitLines(kServiceList);
    const std::vector<std::string> column = table.columnItems(ListBox6_ipaddress);
    if (whiteList.empty()) {
        fuzz::require(column.size() == all.size() - 1, "no white list keeps every address");
        return 0;
    }
    // The kept rows are the listed addresses in list order, each matching an entry; the closing line never is one.
    size_t next = 0;
    for (const auto &row : column) {
        while (next + 1 < all.size() && all[next] != row)
            ++next;
        fuzz::require(next + 1 < all.size(), "a kept row that is not an address of the list, or out of order");
        fuzz::require(isWhiteListed(row, whiteList), "a kept row that no white-list entry names");
        ++next;
    }
    for (size_t i = 0; i + 1 < all.size(); ++i) {
        if (isWhiteListed(all[i], whiteList))
            fuzz::require(std::count(column.begin(), column.end(), all[i]) == 1, "a listed address was dropped");
    }
    return 0;
}
