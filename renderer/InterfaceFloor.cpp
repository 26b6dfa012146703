#include "renderer/InterfaceFloor.h"

// Kept out of line, in its own file, so it is called exactly as the plug-in is.
__attribute__((noinline)) int VESK_CDECL InterfaceFloorProcedure(int, int, int, float u, float v, float w, int, int,
                                                                 int, const uint32_t*, int, float* colour, int,
                                                                 uint32_t*, const HostFunctionTable* functions) {
    float a = 0.0f, b = 0.0f;
    functions->Sample[1](u, u, u, &a);
    functions->Sample[0](u, v, w, &b);
    // Stores the colour back as it came (volatile, so the stores are made).
    volatile float* out = colour;
    out[0] = colour[0];
    out[1] = colour[1];
    out[2] = colour[2];
    return 1;
}
