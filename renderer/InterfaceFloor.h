// The interface's floor: the least a 15-slot procedure can cost. It takes
// the same slots, makes the same two sampler calls (with coordinates the
// caller has already scaled) and writes the colour back unchanged.
#pragma once

#include "renderer/PluginModule.h"

int VESK_CDECL InterfaceFloorProcedure(int, int, int, float u, float v, float w, int, int, int,
                                       const uint32_t* source, int, float* colour, int, uint32_t* destination,
                                       const HostFunctionTable* functions);
