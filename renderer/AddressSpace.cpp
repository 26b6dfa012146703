#include "renderer/AddressSpace.h"

#include <windows.h>

#include <algorithm>
#include <functional>

bool AddressSpaceHolds(std::vector<uint64_t> blocks) {
    // Largest first: they are the ones that need a long free stretch.
    std::sort(blocks.begin(), blocks.end(), std::greater<>());
    std::vector<void*> reserved;
    bool holds = true;
    for (uint64_t size : blocks) {
        if (size == 0) continue;
        void* block = size < (uint64_t{1} << 31)
                          ? VirtualAlloc(nullptr, static_cast<SIZE_T>(size), MEM_RESERVE, PAGE_NOACCESS)
                          : nullptr;
        if (block == nullptr) {
            holds = false;
            break;
        }
        reserved.push_back(block);
    }
    for (void* block : reserved) VirtualFree(block, 0, MEM_RELEASE);
    return holds;
}
