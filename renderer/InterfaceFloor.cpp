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

// Read at run time, as the plug-in reads its record, so the compiler cannot fold it.
ShaderParameters PlainRuleParameters = DefaultParameters;

__attribute__((noinline)) int VESK_CDECL PlainRuleProcedure(int, int, int, float x, float y, float z, int, int, int,
                                                            const uint32_t* source, int, float* colour, int,
                                                            uint32_t* destination, const HostFunctionTable* functions) {
    const ShaderParameters& p = PlainRuleParameters;
    float u = static_cast<float>(x / (0.2 * p.XScale));
    float v = static_cast<float>(y / (0.2 * p.YScale));
    float w = static_cast<float>(z / (0.2 * p.ZScale));
    float a = 0.0f, b = 0.0f;
    functions->Sample[1](u, u, u, &a);
    functions->Sample[0](u, v, w, &b);
    float m = static_cast<float>(static_cast<double>(a) * b);
    auto blend = [&](float k) {
        for (int i = 0; i < 3; ++i)
            colour[i] = static_cast<float>((1.0 - k) * p.StainColor[i] + static_cast<double>(colour[i]) * k);
    };
    if (m < p.Threshold) {
        blend(m);
        *destination = *source;
    } else if (m < static_cast<double>(p.Threshold) + p.Sharpness) {
        blend(static_cast<float>(m / (static_cast<double>(p.Threshold) + p.Sharpness)));
    }
    return 1;
}
