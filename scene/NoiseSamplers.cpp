#include "scene/NoiseSamplers.h"

#define STB_PERLIN_IMPLEMENTATION
#include <stb_perlin.h>

void SampleSurfaceNoise(float x, float y, float z, float* value) {
    // Three octaves: round blotches with ragged edges. Never below zero, so a
    // blotch's centre takes the stain colour and not beyond it.
    float noise = 0.72f + 1.4f * stb_perlin_fbm_noise3(x, y, z, 2.0f, 0.5f, 3);
    *value = noise > 0.0f ? noise : 0.0f;
}

void SampleDensityNoise(float x, float, float, float* value) {
    // Offset off the lattice so that x = 0 is not a zero of the noise.
    *value = 1.0f + 0.25f * stb_perlin_noise3(x * 0.15f + 0.37f, 0.71f, 0.13f, 0, 0, 0);
}
