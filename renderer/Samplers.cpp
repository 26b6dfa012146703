#include "renderer/Samplers.h"

void VESK_CDECL SampleConstant(float, float, float, float* value) { *value = 0.9f; }

const HostFunctionTable& NoiseFunctions() {
    static const HostFunctionTable table{{SampleSurfaceNoise, SampleDensityNoise}};
    return table;
}

const HostFunctionTable& TrivialFunctions() {
    static const HostFunctionTable table{{SampleConstant, SampleConstant}};
    return table;
}
