#include "platform/TrimWorkingSet.h"

#include <malloc.h>

namespace pelorix
{

void TrimWorkingSet()
{
    // glibc returns free heap pages of every arena to the kernel.
    ::malloc_trim(0);
}

} // namespace pelorix
