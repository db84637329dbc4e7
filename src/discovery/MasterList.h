#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorix {

class Dialogs;
class ServerTable;

// The two labels the master list writes: Label_Cache inside the progress panel and Label_serverall.
class MasterListLabels
{
public:
    virtual ~MasterListLabels() = default;
    // Label_Cache, "server list is not available, using offline cache".
    virtual void setCacheLabelVisible(bool visible) = 0;
    // Label_serverall.
    virtual void setTotalLabel(const std::string &text) = 0;
};

// GET of an address with a user agent: WebClient::WebGet in the program, a recorder in tests.
using WebGetFunction = std::function<std::string(const std::string &address, const std::string &userAgent)>;

inline constexpr std::string_view kCacheFileName = "cache.dat";
inline constexpr std::string_view kWhiteListFileName = "white_list.txt";

// What one fetch of the master list ended with.
struct MasterListOutcome {
    bool obtained = false;  // false: neither the service nor cache.dat gave a list; the refresh stops
    bool fromCache = false; // the list came from cache.dat
    bool cacheWritten = false;
};

// Everything the master list stage reads and writes. MasterList is refilled at every fetch.
struct MasterListContext {
    WebGetFunction webGet;
    Dialogs *dialogs = nullptr;
    ServerTable *table = nullptr;
    MasterListLabels *labels = nullptr;
    std::string programFolder;                           // ends with '/'
    const std::vector<std::string> *whiteList = nullptr; // empty or null: no white list in force
    int *refreshStep = nullptr;                          // RefreshStep: 50, 60, 70 on the way
    std::vector<std::string> *masterList = nullptr;      // MasterList
};

// Gets the master list (service, else cache.dat), rewrites cache.dat, applies the white list, sets the total
// label and loads the address column without its last row.
MasterListOutcome GetMasterList(const MasterListContext &context);

// The lines of a white_list.txt text: any break form, the text ends at its first NUL, every line an entry.
std::vector<std::string> whiteListLines(std::string_view fileText);
// Loads white_list.txt from the folder; false (and an empty list) when the file does not exist.
bool LoadWhiteList(const std::string &programFolder, std::vector<std::string> &whiteList);
// An entry survives the white list when it equals one of its entries, ASCII letters without regard to case.
bool isWhiteListed(std::string_view entry, const std::vector<std::string> &whiteList);

// "Generate white list": the information text, the "No servers are visible!" error or the save dialog, then
// the address column written with CR LF after every row. True when a file was written.
bool G1Click(const ServerTable &table, Dialogs &dialogs);
// The "White list is in use [?]" notice.
void Label3Click(const std::string &programFolder, Dialogs &dialogs);

} // namespace pelorix
