#pragma once

namespace pelorix
{

// Hands the memory pages the process does not use at the moment back to the system. Failures are ignored.
void TrimWorkingSet();

} // namespace pelorix
