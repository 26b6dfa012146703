// The renderer's sampling functions, handed to the plug-in in its
// HostFunctionTable: the preview scene's noise (the plug-in calls slot 1
// with the scaled x three times), and trivial ones for the bench.
#pragma once

#include "host/HostInterface.h"
#include "scene/NoiseSamplers.h"

// Trivial samplers for measuring the interface's own cost: a constant whose
// product lies above the default rim, so no blend happens.
void VESK_CDECL SampleConstant(float x, float y, float z, float* value);

// The table with the real noise, and the one with the trivial samplers.
const HostFunctionTable& NoiseFunctions();
const HostFunctionTable& TrivialFunctions();
