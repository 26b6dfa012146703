// The shader's eight parameters: the record type, its defaults and the one
// module-wide instance every entry point reads and writes in place.
// Portable: no Windows header.
#pragma once

struct ShaderParameters {
    float XScale;
    float YScale;
    float ZScale;
    float Threshold;
    float Sharpness;
    float StainColor[3];  // red, green, blue on the 0-255 scale
};

constexpr int ParameterCount = 8;

constexpr ShaderParameters DefaultParameters{1.0f, 1.0f, 1.0f, 0.5f, 0.2f, {120.0f, 128.0f, 128.0f}};

// The module-wide record: static data holding the defaults at load.
extern ShaderParameters ModuleParameters;

// Field i (0-7) in text order; the record is eight packed floats.
inline float& ParameterField(ShaderParameters& record, int i) { return (&record.XScale)[i]; }
inline float ParameterField(const ShaderParameters& record, int i) { return (&record.XScale)[i]; }

static_assert(sizeof(ShaderParameters) == ParameterCount * sizeof(float), "eight packed floats");
