#pragma once

#include "discovery/WebClient.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorix
{

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

// Every list read here (the service's master list, cache.dat, white_list.txt) keeps at most its first
// kMaxListLines lines and kMaxListTextBytes bytes of line text; the rest is ignored without being split, so a
// reply or file of millions of lines never becomes millions of strings, rows or query threads.
// A master list cut there has lost its real last line. Its last kept line is then treated as every list's last
// line is: not queried, left out of the address column and the total, but written to cache.dat. A cut list thus
// behaves exactly as a list that ended there (the cache.dat written from it gives the same rows when read back),
// and no more than kMaxListLines - 1 addresses are ever queried.
inline constexpr std::size_t kMaxListLines = 100000;
// The most a WebGet body holds, so that every cache.dat written from a reply reads back whole.
inline constexpr std::size_t kMaxListTextBytes = WebLimits{}.maxBodyBytes;

// What one fetch of the master list ended with.
struct MasterListOutcome {
    bool obtained = false;  // false: neither the service nor cache.dat gave a list; the refresh stops
    bool fromCache = false; // the list came from cache.dat
    bool cacheWritten = false;
    bool cut = false; // the list was longer than the list limits: only its first lines were kept
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

// The lines of a white_list.txt text: any break form, the text ends at its first NUL, every line an entry,
// within the list limits.
std::vector<std::string> whiteListLines(std::string_view fileText);

// What start-up found of white_list.txt. The notice and the filter are told apart: a file that exists but cannot
// be read still shows the notice, with no entries and so no filter in force.
struct WhiteListFile {
    bool exists = false;              // the "White list is in use [?]" notice is shown exactly when true
    std::vector<std::string> entries; // WhiteList; empty when the file is missing, empty or unreadable
};
// Loads white_list.txt from the program folder.
WhiteListFile LoadWhiteList(const std::string &programFolder);
// An entry survives the white list when it equals one of its entries, ASCII letters without regard to case.
bool isWhiteListed(std::string_view entry, const std::vector<std::string> &whiteList);

// "Generate white list": the information text, the "No servers are visible!" error or the save dialog, then
// the address column written with CR LF after every row. True when a file was written.
bool G1Click(const ServerTable &table, Dialogs &dialogs);
// The "White list is in use [?]" notice.
void Label3Click(const std::string &programFolder, Dialogs &dialogs);

} // namespace pelorix
