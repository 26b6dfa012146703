// Whether a job's memory fits this 32-bit process before the job starts:
// big pictures fail on address space, not on the machine's memory.
#pragma once

#include <cstdint>
#include <vector>

// Whether every block can be had at once, found by reserving them all in the
// address space (nothing is committed) and releasing them again.
bool AddressSpaceHolds(std::vector<uint64_t> blocks);
