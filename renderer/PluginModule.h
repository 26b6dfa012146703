// Loads vesk.dll and resolves its five exports by their exact names, and
// the counting allocator the renderer hands to the plug-in.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "host/HostInterface.h"

// The procedure's full slot list: 15 cdecl slots, each 32 bits.
using ProcedureFunction = int(VESK_CDECL*)(int, int, int, float, float, float, int, int, int, const uint32_t*, int,
                                           float*, int, uint32_t*, const HostFunctionTable*);

struct PluginModule {
    HMODULE handle = nullptr;
    int(VESK_CDECL* Startup)(int, int, const char*) = nullptr;
    int(VESK_CDECL* Morph)(const char*, float) = nullptr;
    ProcedureFunction Procedure = nullptr;
    void(VESK_CDECL* Close)() = nullptr;
    char*(VESK_CDECL* SetParameters)(char*, void*, const HostMemoryFunctions*) = nullptr;
};

// Loads the DLL at path; on failure returns false and says, in words, why.
bool LoadPluginModule(const std::string& path, PluginModule& module, std::string& error);

// The DLL beside the running program.
std::string DefaultPluginPath();

// The fixed file version of a module's version record, "1.0.0.0".
bool ReadModuleVersion(const std::string& path, std::string& version, std::string& error);

// Blocks and bytes through the renderer's allocator since the last reset.
struct AllocatorAccount {
    long blocksAllocated = 0;
    long blocksReleased = 0;
    long long bytesAllocated = 0;
    long long bytesReleased = 0;
    long failedRequests = 0;
    long unknownReleases = 0;  // pointers this allocator never handed out
};

const HostMemoryFunctions& CountingAllocator();
AllocatorAccount AllocatorSnapshot();
// Makes the next n Allocate requests fail (for exercising the plug-in's out-of-memory path).
void FailNextAllocations(int n);
