// One status reply as a game server sends it, through everything the refresh does with it: colour codes out,
// the split into items, the blanks back, the key scan, and the map picture's file name from the map value.

#include "FuzzSupport.h"

#include "core/Text.h"
#include "discovery/ReplyItems.h"
#include "discovery/RowPass.h"
#include "discovery/StatusExchange.h"
#include "view/MapPicture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace pelorix;

namespace
{

bool hasByte(const std::string &text, char c)
{
    return text.find(c) != std::string::npos;
}

void checkStripped(std::string_view reply, const std::string &stripped)
{
    fuzz::require(stripped.size() <= reply.size(), "colour codes: the text grew");
    // What is left of the last "[" that found no "]" stays, and nothing after it closes.
    const size_t open = stripped.find('[');
    fuzz::require(open == std::string::npos || stripped.find(']', open) == std::string::npos,
                  "colour codes: a bracket pair survived");
}

void checkItems(const std::string &text, const std::vector<std::string> &items)
{
    // Quoted items may hold separators and control bytes; without a quote in the text there are none.
    const bool quoted = hasByte(text, '"');
    size_t total = 0;
    for (const std::string &item : items) {
        total += item.size();
        fuzz::require(!hasByte(item, '\0'), "items: a NUL inside an item");
        fuzz::require(!hasByte(item, ' '), "items: a blank before restoreBlanks");
        if (!quoted) {
            fuzz::require(!hasByte(item, '\\'), "items: a separator inside an unquoted item");
            fuzz::require(
                std::none_of(item.begin(), item.end(), [](char c) { return static_cast<unsigned char>(c) - 1u < 31u; }),
                "items: a control byte inside an unquoted item");
        }
    }
    fuzz::require(total <= text.size(), "items: more item bytes than the text has");
    fuzz::require(items.size() <= text.size() + 1, "items: more items than the text can hold");
}

// A program folder whose maps folder holds a picture, one in other letter case, and a folder.
std::string programFolder()
{
    const std::string folder = fuzz::scratchFolder();
    std::filesystem::create_directories(folder + "maps/sub");
    for (const char *name : {"none.jpg", "Dust.jpg", "sub/inner.jpg"})
        std::ofstream(folder + "maps/" + name) << "picture";
    return folder;
}

void checkMapPath(const std::string &map)
{
    static const std::string folder = programFolder();
    const std::string path = mapPicturePath(folder, map);
    const std::string maps = folder + "maps/";
    fuzz::require(path.compare(0, maps.size(), maps) == 0, "map picture: outside the maps folder");
    const std::string name = path.substr(maps.size());
    fuzz::require(!name.empty() && !hasByte(name, '/') && name.find("..") == std::string::npos,
                  "map picture: a file name that leaves the maps folder");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view reply = fuzz::asText(data, size);

    const std::string stripped = StripColourCodes(reply);
    checkStripped(reply, stripped);

    std::vector<std::string> items = SplitReplyItems(stripped);
    checkItems(std::string(untilNul(stripped)), items);
    restoreBlanks(items);

    ServerValues values;
    int step = 0;
    const std::string fault = scanServerValues(items, values, &step);
    fuzz::require(fault.empty() || fault.rfind("Failed adding variables. Error at line:\r\n", 0) == 0,
                  "key scan: an unexpected fault text");
    fuzz::require(values.lock.empty() || values.lock == " " || values.lock == "\xAE", "key scan: a bad lock cell");
    if (!items.empty())
        fuzz::require(values.players == values.playerCount + "/" + values.slotCount, "key scan: a bad players cell");

    checkMapPath(values.map);
    return 0;
}
