#include "renderer/PluginModule.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

#include "renderer/SystemMessage.h"

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
        DWORD code = GetLastError();
        bool missing = code == ERROR_MOD_NOT_FOUND || code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
        if (missing && GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            error = "cannot load the plug-in: '" + path + "' not found: pass --dll PATH";
        else if (missing)  // the file is there: a DLL it imports is not
            error = "cannot load the plug-in '" + path + "': a DLL it needs is missing: " + SystemMessage(code, path);
        else
            error = "cannot load the plug-in '" + path + "': " + SystemMessage(code, path);
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

bool ReadModuleVersion(const std::string& path, std::string& version, std::string& error) {
    DWORD unused = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &unused);
    std::vector<char> record(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, record.data()) ||
        !VerQueryValueA(record.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || length < sizeof *fixed) {
        DWORD code = GetLastError();
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            error = "'" + path + "' not found: pass --dll PATH";
        else
            error = "'" + path + "' has no version record: " + SystemMessage(code, path);
        return false;
    }
    const DWORD parts[4] = {HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                            HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS)};
    version = std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]) + "." +
              std::to_string(parts[3]);
    return true;
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
