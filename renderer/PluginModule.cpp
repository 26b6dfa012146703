#include "renderer/PluginModule.h"

#include <cstdlib>
#include <map>
#include <mutex>

namespace {

template <typename Function>
bool Resolve(HMODULE handle, const char* name, Function& function, const std::string& path, std::string& error) {
    FARPROC address = GetProcAddress(handle, name);
    if (address == nullptr) {
        error = "'" + path + "' has no export " + name;
        return false;
    }
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(address));
    return true;
}

std::mutex accountLock;
AllocatorAccount account;
std::map<void*, size_t> liveBlocks;
int failuresPending = 0;

void* VESK_CDECL CountedAllocate(size_t bytes) {
    std::lock_guard<std::mutex> hold(accountLock);
    if (failuresPending > 0) {
        --failuresPending;
        ++account.failedRequests;
        return nullptr;
    }
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) {
        ++account.failedRequests;
        return nullptr;
    }
    liveBlocks[block] = bytes;
    ++account.blocksAllocated;
    account.bytesAllocated += bytes;
    return block;
}

void VESK_CDECL CountedRelease(void* block) {
    if (block == nullptr) return;
    std::lock_guard<std::mutex> hold(accountLock);
    auto found = liveBlocks.find(block);
    if (found == liveBlocks.end()) {  // not ours: freeing it would corrupt the heap
        ++account.unknownReleases;
        return;
    }
    ++account.blocksReleased;
    account.bytesReleased += found->second;
    liveBlocks.erase(found);
    std::free(block);
}

}  // namespace

bool LoadPluginModule(const std::string& path, PluginModule& module, std::string& error) {
    // No "DLL not found" box from the system: the caller reports it.
    UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    module.handle = LoadLibraryA(path.c_str());
    SetErrorMode(previous);
    if (module.handle == nullptr) {
        error = "cannot load the plug-in DLL '" + path + "' (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    return Resolve(module.handle, "_ExternalTextureStartup", module.Startup, path, error) &&
           Resolve(module.handle, "_ExternalTextureMorph", module.Morph, path, error) &&
           Resolve(module.handle, "_ExternalTextureProcedure", module.Procedure, path, error) &&
           Resolve(module.handle, "_ExternalTextureClose", module.Close, path, error) &&
           Resolve(module.handle, "_SetExternalParameters", module.SetParameters, path, error);
}

std::string DefaultPluginPath() {
    char buffer[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string program(buffer, length);
    size_t slash = program.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : program.substr(0, slash + 1)) + "vesk.dll";
}

const HostMemoryFunctions& CountingAllocator() {
    static const HostMemoryFunctions table{CountedAllocate, CountedRelease};
    return table;
}

AllocatorAccount AllocatorSnapshot() {
    std::lock_guard<std::mutex> hold(accountLock);
    return account;
}

void FailNextAllocations(int n) {
    std::lock_guard<std::mutex> hold(accountLock);
    failuresPending = n;
}
