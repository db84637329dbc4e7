#include "platform/AdminRights.h"

#include "platform/UniqueFd.h"

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace pelorix
{

bool hasAdminRights(const std::string &programFolder)
{
    if (programFolder.empty())
        return false;
    std::string pattern = programFolder;
    if (pattern.back() != '/')
        pattern += '/';
    pattern += ".pelorix-rights-XXXXXX";
    const UniqueFd scratch(::mkostemp(pattern.data(), O_CLOEXEC));
    return scratch && ::unlink(pattern.c_str()) == 0;
}

} // namespace pelorix
