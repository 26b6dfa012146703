// What crosses the boundary with the renderer: its two function tables and
// the five exported entry points (cdecl, one 32-bit slot per argument).
#pragma once

#include <cstddef>
#include <cstdint>

#include "shading/StainProcedure.h"

// Slots 0 and 1: the renderer's sampling functions.
struct HostFunctionTable {
    SampleFunction Sample[2];
};

// Slot 0 allocates, slot 1 releases, both with the renderer's own allocator.
struct HostMemoryFunctions {
    void*(VESK_CDECL* Allocate)(size_t bytes);
    void(VESK_CDECL* Release)(void* block);
};

extern "C" {
int VESK_CDECL _ExternalTextureStartup(int, int, const char* text);
int VESK_CDECL _ExternalTextureMorph(const char* text, float weight);
int VESK_CDECL _ExternalTextureProcedure(int, int, int, float x, float y, float z, int, int, int,
                                         const uint32_t* source, int, float* colour, int,
                                         uint32_t* destination, const HostFunctionTable* functions);
void VESK_CDECL _ExternalTextureClose();
char* VESK_CDECL _SetExternalParameters(char* text, void* owner, const HostMemoryFunctions* memory);
}
