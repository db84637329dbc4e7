#pragma once

#include <string>

namespace pelorix
{

// Finds the file or folder at `path` (the file system's bytes, '/' between the parts) the way Wine finds a
// Windows path: a part that does not exist in its letter case is looked for among its folder's entries without
// regard to ASCII letter case, so ".../content/SYSTEM/Vekta4.exe" finds ".../Content/System/vekta4.exe".
// Returns the path as it exists, or the empty text when nothing matches (or the path is longer than a path may
// be). Where several entries match a part, the exact one wins, then the first the folder lists.
std::string findPathIgnoringCase(const std::string &path);

} // namespace pelorix
