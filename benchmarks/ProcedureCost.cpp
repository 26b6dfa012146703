// Native cost per shaded point of the stain rule against the interface's
// floor: a function of the same shape, called the same way, that makes the
// same two sampler calls and writes the colour back unchanged. The same
// source is what vesk.dll runs; this measures it on the host's own CPU,
// without an emulator in between. Build and run: scripts/bench-native.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "params/ParameterText.h"
#include "shading/StainProcedure.h"

namespace {

// Trivial samplers whose product sweeps through stain, rim and clear.
void SampleZero(float x, float, float, float* out) { *out = x - static_cast<float>(static_cast<int>(x)); }
void SampleOne(float, float, float, float* out) { *out = 0.9f; }
const SampleFunction Samplers[2] = {SampleZero, SampleOne};

using PointFunction = int (*)(int, int, int, float, float, float, int, int, int, const uint32_t*, int, float*, int,
                              uint32_t*, const SampleFunction*);

__attribute__((noinline)) int PlugIn(int, int, int, float x, float y, float z, int, int, int, const uint32_t* source,
                                     int, float* colour, int, uint32_t* destination, const SampleFunction* samples) {
    ShadeStainPoint(ModuleParameters, x, y, z, samples, colour, source, destination);
    return 1;
}

__attribute__((noinline)) int Floor(int, int, int, float u, float v, float w, int, int, int, const uint32_t*, int,
                                    float* colour, int, uint32_t*, const SampleFunction* samples) {
    float a, b;
    samples[1](u, u, u, &a);
    samples[0](u, v, w, &b);
    colour[0] = colour[0], colour[1] = colour[1], colour[2] = colour[2];
    return 1;
}

// Called through a volatile pointer, as the renderer calls through its own:
// no inlining into the loop.
PointFunction volatile Current;

double NanosecondsPerPoint(PointFunction function, bool prescale) {
    Current = function;
    constexpr int Points = 2000000;
    double best = 1e30;
    for (int round = 0; round < 5; ++round) {
        float colour[3] = {200, 200, 200};
        uint32_t source = 1, destination = 0;
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < Points; ++i) {
            float x = static_cast<float>(i) * 0.001f;
            if (prescale) x = static_cast<float>(x / 0.2);  // the floor samples where the rule would
            Current(0, 0, 0, x, 1.0f, 2.0f, 0, 0, 0, &source, 0, colour, 0, &destination, Samplers);
        }
        std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / Points);
    }
    return best;
}

}  // namespace

int main() {
    double plugIn = NanosecondsPerPoint(PlugIn, false);
    double floor = NanosecondsPerPoint(Floor, true);
    std::printf("native, trivial samplers: plug-in %.2f ns, floor %.2f ns, ratio %.2fx, plug-in share %.1f %%\n",
                plugIn, floor, plugIn / floor, 100.0 * (plugIn - floor) / plugIn);
    return 0;
}
