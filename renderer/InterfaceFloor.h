// The interface's floor: the least a 15-slot procedure can cost. It takes
// the same slots, makes the same two sampler calls (with coordinates the
// caller has already scaled) and writes the colour back unchanged.
#pragma once

#include "renderer/PluginModule.h"

int VESK_CDECL InterfaceFloorProcedure(int, int, int, float u, float v, float w, int, int, int,
                                       const uint32_t* source, int, float* colour, int, uint32_t* destination,
                                       const HostFunctionTable* functions);

// The stain rule read plainly with the default parameters: the same steps as
// the plug-in, none of its guards. It shows what the guards cost, apart from
// the rule's own arithmetic (its divisions above all).
int VESK_CDECL PlainRuleProcedure(int, int, int, float x, float y, float z, int, int, int, const uint32_t* source, int,
                                  float* colour, int, uint32_t* destination, const HostFunctionTable* functions);
