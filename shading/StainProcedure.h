// The stain rule for one shaded point: scale, sample, multiply, blend.
// Arithmetic is carried in double; only stored results are rounded to float,
// so every x86 build with SSE2 math gives the same bits. Portable: no Windows
// header. Inline, because it runs once per shaded pixel.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>

#include "params/ShaderParameters.h"

#if defined(__i386__)
#define VESK_CDECL __attribute__((cdecl))
#else
#define VESK_CDECL
#endif

// A renderer sampling function: takes a point, writes one float.
using SampleFunction = void(VESK_CDECL*)(float, float, float, float*);

// True when the value can be stored as a finite float without overflow.
// Quiet comparisons: a NaN answers false without raising "invalid". Two
// comparisons rather than one of fabs(value): 32-bit GCC takes the fabs of a
// double through the x87 stack, a store and a reload on every check.
inline bool FitsFloat(double value) {
    return std::islessequal(value, static_cast<double>(FLT_MAX)) &&
           std::isgreaterequal(value, -static_cast<double>(FLT_MAX));
}

// True when a sum of squares of float values, taken in double, is finite:
// exactly when every value is. No square of a float, nor a sum of three,
// overflows a double; an infinite value squares to +Inf (no Inf - Inf can
// follow), a NaN fails the quiet comparison, and squaring raises nothing.
inline bool AllFinite(double squares) { return std::isless(squares, HUGE_VAL); }

// Pulls the colour toward the stain colour with the colour's own weight k.
// Leaves it untouched (and returns false) if a channel is not a number or
// would leave the float range. The three checks are joined with & rather
// than &&: one branch, not three.
inline bool BlendTowardStain(float* colour, const float* stain, float k) {
    // An infinite channel times k raises "invalid" only when k is 0 (k is
    // finite); otherwise it gives a non-finite blend that the checks below refuse.
    if (k == 0.0f) {
        double r = colour[0], g = colour[1], b = colour[2];
        if (!AllFinite(r * r + g * g + b * b)) return false;
    }
    double red = (1.0 - k) * stain[0] + static_cast<double>(colour[0]) * k;
    double green = (1.0 - k) * stain[1] + static_cast<double>(colour[1]) * k;
    double blue = (1.0 - k) * stain[2] + static_cast<double>(colour[2]) * k;
    if (!(FitsFloat(red) & FitsFloat(green) & FitsFloat(blue))) return false;
    colour[0] = static_cast<float>(red);
    colour[1] = static_cast<float>(green);
    colour[2] = static_cast<float>(blue);
    return true;
}

// Shades one point: samples[1] is called with (u, u, u), then samples[0] with
// (u, v, w). Below the threshold the colour takes the full stain and the
// source value is copied to the destination; in the rim above it, a weaker
// pull and no copy. A point that cannot be shaded without a division by zero
// or a value beyond the float range (zero scale, T + S = 0 in the rim,
// non-finite coordinates, samples or colour) is left untouched, and no
// floating-point exception but inexact and underflow is raised on the way.
inline void ShadeStainPoint(const ShaderParameters& p, float x, float y, float z,
                            const SampleFunction* samples, float* colour,
                            const uint32_t* source, uint32_t* destination) {
    // Scale the position; each quotient is rounded because it is passed on as a float.
    double sx = 0.2 * p.XScale, sy = 0.2 * p.YScale, sz = 0.2 * p.ZScale;
    // Zero scale: nothing to sample. One test for all three: the record holds
    // only finite floats (the reader, the blend and the dialog store nothing
    // else), so each |0.2 S| lies between 2.8e-46 and 6.8e37 or is 0, and the
    // product of three is 0 exactly when one of them is.
    if (sx * sy * sz == 0.0) return;
    // A coordinate that is not finite divides quietly into a quotient that is
    // not either, and the range checks refuse it.
    double du = x / sx, dv = y / sy, dw = z / sz;
    if (!FitsFloat(du) || !FitsFloat(dv) || !FitsFloat(dw)) return;
    float u = static_cast<float>(du), v = static_cast<float>(dv), w = static_cast<float>(dw);

    // Sample: slot 1 with the scaled x in all three places, then slot 0.
    float a = 0.0f, b = 0.0f;
    samples[1](u, u, u, &a);
    samples[0](u, v, w, &b);

    // Multiply; the product is stored as a float.
    // The samples are judged before they meet: infinity times 0 raises
    // "invalid". |a b| is at most half of a^2 + b^2, so a sum of squares up to
    // 2^128 says at once that both are finite and the product fits; only
    // beyond that are they checked for finiteness and the exact product for
    // the float range. The double product of two floats is exact, so rounding
    // it to float gives the bits a float multiply gives, and the multiply that
    // makes m does not wait for the checks.
    double da = a, db = b, squares = da * da + db * db;
    if (!std::islessequal(squares, 0x1p128) &&
        !(AllFinite(squares) && FitsFloat(da * db)))
        return;
    float m = a * b;

    // Blend: full stain below the threshold, a soft rim up to T + S.
    if (m < p.Threshold) {
        if (BlendTowardStain(colour, p.StainColor, m)) *destination = *source;
        return;
    }
    double rimEnd = static_cast<double>(p.Threshold) + p.Sharpness;
    if (m < rimEnd) {
        if (rimEnd == 0.0) return;  // T + S = 0: the rim weight has no value
        double k = m / rimEnd;
        if (!FitsFloat(k)) return;
        BlendTowardStain(colour, p.StainColor, static_cast<float>(k));
    }
}
