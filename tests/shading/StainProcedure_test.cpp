#include "shading/StainProcedure.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cstring>

#include "StainCases.h"

namespace {

struct SampleCall { float x, y, z; };

// Fixed samples, with a record of how the rule called each slot.
float Sample[2];
SampleCall Calls[2][4];
int CallCount[2];
int CallOrder[4];
int TotalCalls;

template <int Slot>
void Sampler(float x, float y, float z, float* out) {
    if (CallCount[Slot] < 4) Calls[Slot][CallCount[Slot]] = {x, y, z};
    ++CallCount[Slot];
    if (TotalCalls < 4) CallOrder[TotalCalls] = Slot;
    ++TotalCalls;
    *out = Sample[Slot];
}
const SampleFunction Samplers[2] = {Sampler<0>, Sampler<1>};

struct Shaded { float colour[3]; uint32_t destination; };

const float HostColours[3] = {HostColour, HostColour, HostColour};

// The exceptions a renderer may run unmasked raised by the last Shade; inexact
// and underflow are expected.
int RaisedTraps;

Shaded Shade(const ShaderParameters& p, float s0, float s1, float x, float y, float z,
             const float* colour = HostColours) {
    Sample[0] = s0; Sample[1] = s1;
    CallCount[0] = CallCount[1] = TotalCalls = 0;
    Shaded out{{colour[0], colour[1], colour[2]}, 0};
    uint32_t source = SourceValue;
    std::feclearexcept(FE_ALL_EXCEPT);
    ShadeStainPoint(p, x, y, z, Samplers, out.colour, &source, &out.destination);
    RaisedTraps = std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
    return out;
}

uint32_t Bits(float f) { uint32_t b; std::memcpy(&b, &f, 4); return b; }

TEST(ShadeStainPoint, SharedCasesGiveExactFloats) {
    for (const StainCase& c : StainCases) {
        Shaded s = Shade(c.parameters, c.sample0, c.sample1, c.x, c.y, c.z);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(Bits(s.colour[i]), Bits(c.colour[i])) << c.label << " channel " << i << ": " << s.colour[i];
        EXPECT_EQ(s.destination, c.copied ? SourceValue : 0u) << c.label;
        EXPECT_EQ(TotalCalls, c.sampleCalls) << c.label;
        EXPECT_EQ(RaisedTraps, 0) << c.label;
    }
}

TEST(ShadeStainPoint, NonFiniteInputsLeaveThePointUntouchedQuietly) {
    for (const UntouchedCase& c : UntouchedCases) {
        Shaded s = Shade(c.parameters, c.sample0, c.sample1, c.x, c.y, c.z, c.colour);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(Bits(s.colour[i]), Bits(c.colour[i])) << c.label << " channel " << i << ": " << s.colour[i];
        EXPECT_EQ(s.destination, 0u) << c.label;
        EXPECT_EQ(TotalCalls, c.sampleCalls) << c.label;
        EXPECT_EQ(RaisedTraps, 0) << c.label << ": " << (RaisedTraps & FE_INVALID ? "invalid " : "")
                                  << (RaisedTraps & FE_DIVBYZERO ? "divide-by-zero " : "")
                                  << (RaisedTraps & FE_OVERFLOW ? "overflow" : "");
    }
}

TEST(ShadeStainPoint, SharedCasesMatchTheDocumentedColours) {
    // The same table against the rule's worked examples, to a float's precision.
    struct Approx { const char* label; float r, g, b; };
    const Approx worked[] = {
        {"full stain: 0.8 * stain + 0.2 * colour", 136.0f, 142.4f, 142.4f},
        {"rim: k = 0.6 / 0.7", 188.5714f, 189.7143f, 189.7143f},
        {"product equal to the threshold takes the rim", 177.1429f, 179.4286f, 179.4286f},
        {"negative product pushes past the stain colour", 104.0f, 113.6f, 113.6f},
    };
    for (const Approx& a : worked) {
        const StainCase* c = nullptr;
        for (const StainCase& s : StainCases) if (std::strcmp(s.label, a.label) == 0) c = &s;
        ASSERT_NE(c, nullptr) << a.label;
        EXPECT_NEAR(c->colour[0], a.r, 1e-3) << a.label;
        EXPECT_NEAR(c->colour[1], a.g, 1e-3) << a.label;
        EXPECT_NEAR(c->colour[2], a.b, 1e-3) << a.label;
    }
}

TEST(ShadeStainPoint, SamplesSlotOneWithScaledXThenSlotZero) {
    ShaderParameters p = DefaultParameters;
    p.XScale = 2.0f;
    p.YScale = 0.5f;
    Shade(p, 1.0f, 1.0f, 1.0f, 3.0f, -4.0f);
    ASSERT_EQ(TotalCalls, 2);
    EXPECT_EQ(CallOrder[0], 1);
    EXPECT_EQ(CallOrder[1], 0);
    const float u = 2.5f, v = 30.0f, w = -20.0f;  // 1 / 0.4, 3 / 0.1, -4 / 0.2
    EXPECT_EQ(Calls[1][0].x, u); EXPECT_EQ(Calls[1][0].y, u); EXPECT_EQ(Calls[1][0].z, u);
    EXPECT_EQ(Calls[0][0].x, u); EXPECT_EQ(Calls[0][0].y, v); EXPECT_EQ(Calls[0][0].z, w);
}

TEST(ShadeStainPoint, ChangingYOrZMovesOnlyTheSecondSample) {
    Shade(DefaultParameters, 1, 1, 0.3f, 0.1f, 0.2f);
    SampleCall first = Calls[1][0];
    Shade(DefaultParameters, 1, 1, 0.3f, 0.9f, -5.0f);
    EXPECT_EQ(Calls[1][0].x, first.x);
    EXPECT_EQ(Calls[1][0].y, first.y);
    EXPECT_EQ(Calls[1][0].z, first.z);
    EXPECT_NE(Calls[0][0].y, 0.5f);
}

TEST(ShadeStainPoint, StainWeightJumpsAtTheThreshold) {
    // Just below T the stain weighs 1 - T; just above it S / (T + S).
    auto weight = [](float product) {
        Shaded s = Shade(DefaultParameters, product, 1.0f, 1, 1, 1);
        return (HostColour - s.colour[0]) / (HostColour - DefaultParameters.StainColor[0]);
    };
    EXPECT_NEAR(weight(std::nextafter(0.5f, 0.0f)), 0.5, 1e-6);
    EXPECT_NEAR(weight(0.5f), 0.2 / 0.7, 1e-6);
    EXPECT_NEAR(weight(std::nextafter(0.7f, 0.0f)), 0.0, 1e-6);
    EXPECT_EQ(weight(0.7f), 0.0f);
}

}  // namespace
