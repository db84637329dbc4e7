#pragma once

#include <cstdint>

namespace pelorix
{

// Number of processors the system reports; 1 when it cannot be learnt.
int systemProcessorCount();

// Restricts the calling thread to the processors whose bits are set in mask (bit 0 = first processor).
// A mask that names no existing processor is refused: false, and the thread keeps its affinity.
bool setCurrentThreadAffinityMask(std::uint64_t mask);

// The calling thread's processor mask (the first 64 processors); 0 when it cannot be read.
std::uint64_t currentThreadAffinityMask();

} // namespace pelorix
