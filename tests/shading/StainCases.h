// Procedure cases shared by the native test of the stain rule and the Wine
// test of the DLL's export: both builds must give these exact floats.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>

#include "params/ShaderParameters.h"

struct StainCase {
    const char* label;
    ShaderParameters parameters;
    float sample0, sample1;  // what the renderer's slots 0 and 1 write
    float x, y, z;
    float colour[3];  // after shading the renderer's (200, 200, 200)
    bool copied;      // the source value reached the destination
    int sampleCalls;
};

constexpr float HostColour = 200.0f;
constexpr uint32_t SourceValue = 0xC0FFEE42u;

inline constexpr ShaderParameters WithScales(float x, float y, float z) {
    ShaderParameters p = DefaultParameters;
    p.XScale = x; p.YScale = y; p.ZScale = z;
    return p;
}
inline constexpr ShaderParameters WithBand(float threshold, float sharpness) {
    ShaderParameters p = DefaultParameters;
    p.Threshold = threshold; p.Sharpness = sharpness;
    return p;
}

inline constexpr ShaderParameters HugeStainInRim() {
    ShaderParameters p = WithBand(-1.0f, 2.0f);  // m = -0.5 lies in the rim with k = -0.5
    p.StainColor[0] = 3e38f;
    return p;
}

// Expected colours are exact: the double-carried rule rounded once per channel.
inline const StainCase StainCases[] = {
    {"full stain: 0.8 * stain + 0.2 * colour", DefaultParameters, 0.4f, 0.5f, 1, 2, 3,
     {136.0f, 0x1.1cccccp+7f, 0x1.1cccccp+7f}, true, 2},
    {"rim: k = 0.6 / 0.7", DefaultParameters, 0.8f, 0.75f, 1, 2, 3,
     {0x1.792492p+7f, 0x1.7b6db6p+7f, 0x1.7b6db6p+7f}, false, 2},
    {"above the rim: untouched", DefaultParameters, 1.0f, 0.75f, 1, 2, 3,
     {200, 200, 200}, false, 2},
    {"product equal to the threshold takes the rim", DefaultParameters, 1.0f, 0.5f, 1, 2, 3,
     {0x1.624924p+7f, 0x1.66db6ep+7f, 0x1.66db6ep+7f}, false, 2},
    {"no sharpness: no rim", WithBand(0.5f, 0.0f), 1.0f, 0.5f, 1, 2, 3,
     {200, 200, 200}, false, 2},
    {"negative product pushes past the stain colour", DefaultParameters, 0.4f, -0.5f, 1, 2, 3,
     {104.0f, 0x1.c66666p+6f, 0x1.c66666p+6f}, true, 2},
    {"zero product: the stain colour itself", DefaultParameters, 0.0f, 0.7f, 1, 2, 3,
     {120, 128, 128}, true, 2},
    {"zero X scale: untouched, nothing sampled", WithScales(0, 1, 1), 0.0f, 0.0f, 1, 2, 3,
     {200, 200, 200}, false, 0},
    {"zero Z scale: untouched, nothing sampled", WithScales(1, 1, -0.0f), 0.0f, 0.0f, 1, 2, 3,
     {200, 200, 200}, false, 0},
    {"scale so small the point leaves the float range", WithScales(1e-45f, 1, 1), 0.0f, 0.0f, 1, 2, 3,
     {200, 200, 200}, false, 0},
    {"zero X scale at the origin: still untouched", WithScales(0, 1, 1), 0.0f, 0.0f, 0, 0, 0,
     {200, 200, 200}, false, 0},
    {"T + S = 0 with a product in [T, 0): untouched", WithBand(-0.2f, 0.2f), 0.5f, -0.2f, 1, 2, 3,
     {200, 200, 200}, false, 2},
    {"product beyond the float range: untouched", DefaultParameters, -1e30f, 1e30f, 1, 2, 3,
     {200, 200, 200}, false, 2},
    {"NaN sample: untouched", DefaultParameters, NAN, 0.5f, 1, 2, 3,
     {200, 200, 200}, false, 2},
    {"blend beyond the float range: untouched, no copy", DefaultParameters, -1e19f, 1e19f, 1, 2, 3,
     {200, 200, 200}, false, 2},
    {"rim blend beyond the float range: untouched", HugeStainInRim(), -0.5f, 1.0f, 1, 2, 3,
     {200, 200, 200}, false, 2},
};

// Non-finite values from the renderer: samples, coordinates, colour channels,
// alone and meeting a zero (the products that raise "invalid"). Every row
// leaves the point untouched, colour bits and destination alike, and raises
// no floating-point exception.
struct UntouchedCase {
    const char* label;
    ShaderParameters parameters;
    float sample0, sample1;
    float x, y, z;
    float colour[3];  // the renderer's colour, which must come back bit for bit
    int sampleCalls;
};

inline constexpr ShaderParameters WideRim() {
    return WithBand(-1.0f, 1e38f);  // a product of 1e-40 lies in the rim with k = 1e-40 / 1e38: 0 as a float
}

inline const UntouchedCase UntouchedCases[] = {
    {"+Inf sample times a zero sample", DefaultParameters, INFINITY, 0.0f, 1, 2, 3, {200, 200, 200}, 2},
    {"zero sample times -Inf", DefaultParameters, 0.0f, -INFINITY, 1, 2, 3, {200, 200, 200}, 2},
    {"-0 sample times +Inf", DefaultParameters, -0.0f, INFINITY, 1, 2, 3, {200, 200, 200}, 2},
    {"NaN sample times a zero sample", DefaultParameters, 0.0f, NAN, 1, 2, 3, {200, 200, 200}, 2},
    {"+Inf times -Inf", DefaultParameters, INFINITY, -INFINITY, 1, 2, 3, {200, 200, 200}, 2},
    {"+Inf sample times 0.5", DefaultParameters, 0.5f, INFINITY, 1, 2, 3, {200, 200, 200}, 2},
    {"NaN times NaN", DefaultParameters, NAN, NAN, 1, 2, 3, {200, 200, 200}, 2},
    {"+Inf x: nothing sampled", DefaultParameters, 0.0f, 0.0f, INFINITY, 2, 3, {200, 200, 200}, 0},
    {"-Inf y: nothing sampled", DefaultParameters, 0.0f, 0.0f, 1, -INFINITY, 3, {200, 200, 200}, 0},
    {"NaN z: nothing sampled", DefaultParameters, 0.0f, 0.0f, 1, 2, NAN, {200, 200, 200}, 0},
    {"-Inf y on a zero Y scale", WithScales(1, 0, 1), 0.0f, 0.0f, 1, -INFINITY, 3, {200, 200, 200}, 0},
    {"+Inf red with a zero product (k = 0)", DefaultParameters, 0.0f, 0.7f, 1, 2, 3, {INFINITY, 200, 200}, 2},
    {"-Inf green with a product of -0 (k = -0)", DefaultParameters, 0.0f, -0.5f, 1, 2, 3, {200, -INFINITY, 200},
     2},
    {"NaN blue with a zero product", DefaultParameters, 0.0f, 0.7f, 1, 2, 3, {200, 200, NAN}, 2},
    {"+Inf red in the rim with k = 0", WithBand(-0.5f, 1.0f), 0.0f, 0.7f, 1, 2, 3, {INFINITY, 200, 200}, 2},
    {"+Inf blue where the rim weight rounds to 0", WideRim(), 1e-20f, 1e-20f, 1, 2, 3,
     {200, 200, INFINITY}, 2},
    {"+Inf red in the full stain (k = 0.2)", DefaultParameters, 0.4f, 0.5f, 1, 2, 3, {INFINITY, 200, 200}, 2},
    {"-Inf red in the rim (k = 0.6 / 0.7)", DefaultParameters, 0.8f, 0.75f, 1, 2, 3, {-INFINITY, 200, 200}, 2},
    {"NaN colour above the rim", DefaultParameters, 1.0f, 0.75f, 1, 2, 3, {NAN, NAN, NAN}, 2},
};
