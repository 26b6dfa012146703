// One loaded record shaded from several threads at once, as a renderer with a
// thread per tile would. The procedure only reads the module-wide record, so
// every thread must get exactly what one thread alone gets; run under
// ThreadSanitizer (preset native-tsan), any write to shared state is a report.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "params/ParameterText.h"
#include "shading/StainProcedure.h"

namespace {

// The renderer's two sampling functions: pure, so any thread may call them.
void VESK_CDECL Noise(float x, float y, float z, float* out) {
    *out = float(0.5 + 0.5 * std::sin(x * 1.7 + y * 3.1 + z * 0.7));
}
void VESK_CDECL Ridge(float x, float, float, float* out) { *out = float(std::fabs(std::cos(x * 2.3))); }
const SampleFunction Samplers[2] = {Noise, Ridge};

struct ShadedPoint {
    float colour[3];
    uint32_t destination;
    bool operator==(const ShadedPoint& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};

// A tile of points; each thread shades the whole tile into its own buffer.
std::vector<ShadedPoint> ShadeTile(int seed) {
    std::vector<ShadedPoint> out;
    const uint32_t source = 0xC0FFEE00u + seed;
    for (int i = 0; i < 4000; ++i) {
        ShadedPoint p{{200.0f, 100.0f + i % 50, 50.0f}, 0};
        float x = (i % 64) * 0.37f, y = (i / 64) * 0.29f, z = (i % 7) * -0.5f;
        ShadeStainPoint(ModuleParameters, x, y, z, Samplers, p.colour, &source, &p.destination);
        out.push_back(p);
    }
    return out;
}

TEST(ConcurrentShading, ThreadsSharingTheLoadedRecordShadeAsOneThreadDoes) {
    ASSERT_EQ(ReadParameterText("# 0.70 1.30 2.00 0.45 0.25 10.00 200.00 90.00", ModuleParameters), ParameterCount);
    const ShaderParameters before = ModuleParameters;

    const std::vector<ShadedPoint> alone = ShadeTile(1);
    int stained = 0;
    for (const ShadedPoint& p : alone) stained += p.destination != 0;
    ASSERT_GT(stained, 100) << "the tile must hit stains, or the comparison shows little";
    ASSERT_LT(stained, 3900) << "and unstained points too";

    constexpr int ThreadCount = 8;
    std::vector<std::vector<ShadedPoint>> results(ThreadCount);
    std::vector<std::thread> threads;
    for (int t = 0; t < ThreadCount; ++t) threads.emplace_back([&results, t] { results[t] = ShadeTile(1); });
    for (std::thread& t : threads) t.join();

    for (int t = 0; t < ThreadCount; ++t) EXPECT_TRUE(results[t] == alone) << "thread " << t;
    EXPECT_EQ(std::memcmp(&ModuleParameters, &before, sizeof before), 0) << "shading wrote the record";
}

}  // namespace
