#include "platform/Affinity.h"

#include <pthread.h>
#include <sched.h>
#include <thread>
#include <unistd.h>

namespace pelorix
{

int systemProcessorCount()
{
    const unsigned hardware = std::thread::hardware_concurrency();
    if (hardware > 0)
        return static_cast<int>(hardware);
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}

bool setCurrentThreadAffinityMask(std::uint64_t mask)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int cpu = 0; cpu < 64; ++cpu) {
        if (mask & (std::uint64_t{1} << cpu))
            CPU_SET(cpu, &set);
    }
    // The kernel refuses (EINVAL) a set without any online processor and leaves the affinity alone.
    return ::pthread_setaffinity_np(::pthread_self(), sizeof set, &set) == 0;
}

std::uint64_t currentThreadAffinityMask()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::pthread_getaffinity_np(::pthread_self(), sizeof set, &set) != 0)
        return 0;
    std::uint64_t mask = 0;
    for (int cpu = 0; cpu < 64; ++cpu) {
        if (CPU_ISSET(cpu, &set))
            mask |= std::uint64_t{1} << cpu;
    }
    return mask;
}

} // namespace pelorix
