// The renderer's sampling functions, handed to the plug-in in its
// HostFunctionTable. Slot 0 is a smooth 3-D gradient noise, slot 1 a slow
// second noise along one axis (the plug-in calls it with the scaled x three
// times). Their product stains about a third of a surface with the default
// parameters. Both are Ken Perlin's improved noise as stb_perlin.h (Debian's
// libstb-dev) implements it: pure functions, so any thread may call them.
#pragma once

#include "host/HostInterface.h"

// Slot 0: fractal gradient noise around 0.72, clamped at zero.
void VESK_CDECL SampleSurfaceNoise(float x, float y, float z, float* value);

// Slot 1: a slow swell around 1.0 that varies the stain density along x.
void VESK_CDECL SampleDensityNoise(float x, float y, float z, float* value);

// Trivial samplers for measuring the interface's own cost: a constant whose
// product lies above the default rim, so no blend happens.
void VESK_CDECL SampleConstant(float x, float y, float z, float* value);

// The table with the real noise, and the one with the trivial samplers.
const HostFunctionTable& NoiseFunctions();
const HostFunctionTable& TrivialFunctions();
