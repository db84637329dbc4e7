#pragma once

#include <string>

namespace pelorix
{

// Host (and port) of the master-list web service: PELORIX_MASTER_HOST when set,
// otherwise the default the build was configured with.
std::string MasterHost();

// The default the build was configured with.
std::string DefaultMasterHost();

} // namespace pelorix
