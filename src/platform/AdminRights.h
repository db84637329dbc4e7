#pragma once

#include <string>

namespace pelorix
{

// The program's rights check: the run counts as having the rights it needs when it may write in
// its program folder (pass ProgramFolder()), tested by creating and removing a scratch file there.
// A missing folder, a path that is not a folder, or a folder the user may not write give false.
// Note: root ignores permission bits, so as root a read-only mode on the folder does not fail.
bool hasAdminRights(const std::string &programFolder);

} // namespace pelorix
