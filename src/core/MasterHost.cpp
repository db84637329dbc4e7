#include "core/MasterHost.h"

#include <cstdlib>

namespace pelorix
{

std::string MasterHost()
{
    if (const char *env = std::getenv("PELORIX_MASTER_HOST"); env && *env)
        return env;
    return DefaultMasterHost();
}

std::string DefaultMasterHost()
{
    return PELORIX_DEFAULT_MASTER_HOST;
}

} // namespace pelorix
