// The preview scene's two sampling functions, in the shape of the renderer's
// (a point in, one float out, cdecl: the default for free functions on
// 32-bit x86). Their product stains about a third of a surface with the
// default parameters. Both are Ken Perlin's improved noise as stb_perlin.h
// (Debian's libstb-dev) implements it: pure functions, so any thread may
// call them, and no library calls, so vesk.dll can link them.
#pragma once

// Slot 0: fractal gradient noise around 0.72, clamped at zero.
void SampleSurfaceNoise(float x, float y, float z, float* value);

// Slot 1: a slow swell around 1.0 that varies the stain density along x.
void SampleDensityNoise(float x, float y, float z, float* value);
