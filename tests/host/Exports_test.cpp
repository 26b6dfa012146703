// Drives vesk.dll as the renderer does: by export name, cdecl, one 32-bit
// slot per argument.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "../shading/StainCases.h"
#include "ParameterProbe.h"

namespace {

TEST(VeskDll, ResolvesTheFiveExportsByName) {
    HMODULE dll = VeskModule();
    for (const char* name : {"_ExternalTextureStartup", "_ExternalTextureMorph", "_ExternalTextureProcedure",
                             "_ExternalTextureClose", "_SetExternalParameters"})
        EXPECT_NE(GetProcAddress(dll, name), nullptr) << name;
    EXPECT_EQ(GetProcAddress(dll, "ExternalTextureStartup"), nullptr);
}

TEST(VeskDll, ProcedureGivesTheNativeBuildsExactFloats) {
    for (const StainCase& c : StainCases) {
        LoadRecord(c.parameters);
        ShadeResult s = ShadeThroughExport(c.sample0, c.sample1, c.x, c.y, c.z);
        EXPECT_EQ(s.result, 1) << c.label;
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(Bits(s.colour[i]), Bits(c.colour[i])) << c.label << " channel " << i << ": " << s.colour[i];
        EXPECT_EQ(s.destination, c.copied ? SourceValue : Untouched) << c.label;
        EXPECT_EQ(s.sampleCalls, c.sampleCalls) << c.label;
    }
}

TEST(VeskDll, ProcedureCallsSlotOneWithScaledXFirst) {
    ShaderParameters p = DefaultParameters;
    p.XScale = 2.0f;
    LoadRecord(p);
    ShadeResult s = ShadeThroughExport(1, 1, 1.0f, 3.0f, -4.0f);
    ASSERT_EQ(s.sampleCalls, 2);
    EXPECT_EQ(s.order[0], 1);
    EXPECT_EQ(s.order[1], 0);
    for (float arg : s.slot1Args) EXPECT_EQ(arg, 2.5f);
    EXPECT_EQ(s.slot0Args[0], 2.5f);
    EXPECT_EQ(s.slot0Args[1], 15.0f);
    EXPECT_EQ(s.slot0Args[2], -20.0f);
}

TEST(VeskDll, CarriesVersionOneAndItsMakersName) {
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(VeskModule(), path, MAX_PATH), 0u);
    VersionRecord record = ReadVersionRecord(path);
    ASSERT_NE(record.fixed, nullptr);
    EXPECT_EQ(record.fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(record.fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(record.fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(record.fixed->dwProductVersionLS, 0u);
    for (const char* key : {"CompanyName", "LegalCopyright"}) {
        const char* value = record.Text(key);
        ASSERT_NE(value, nullptr) << key;
        EXPECT_GT(std::strlen(value), 0u) << key;
    }
}

TEST(VeskDll, RecordHoldsTheDefaultsBeforeAnyLoad) {
    // This process has loaded nothing yet when the test runs alone.
    if (::testing::UnitTest::GetInstance()->test_to_run_count() != 1) GTEST_SKIP() << "needs a fresh module";
    EXPECT_RECORD_NEAR(ProbeRecord(), Fields(DefaultParameters), "defaults");
}

struct StartupCase {
    const char* label;
    const char* text;
    std::vector<float> expected;  // starting from the defaults
    bool complains;
};

TEST(Startup, LoadsMarkedTextsAndComplainsAboutOthers) {
    const StartupCase cases[] = {
        {"full text", "# 2.00 1.00 1.00 0.50 0.20 120.00 128.00 128.00", {2, 1, 1, 0.5f, 0.2f, 120, 128, 128}, false},
        {"three numbers", "# 3 4 5", {3, 4, 5, 0.5f, 0.2f, 120, 128, 128}, false},
        {"mark alone", "#", Fields(DefaultParameters), false},
        {"no mark", "2.00 1.00 1.00 0.50 0.20 120.00 128.00 128.00", Fields(DefaultParameters), true},
        {"empty", "", Fields(DefaultParameters), true},
        {"null", nullptr, Fields(DefaultParameters), true},
    };
    for (const StartupCase& c : cases) {
        LoadRecord(DefaultParameters);
        MessageBoxWatch watch("External texture: Startup");
        EXPECT_EQ(Exports().startup(11, 22, c.text), 1) << c.label;
        MessageBoxSeen seen = watch.Finish();
        EXPECT_EQ(seen.shown, c.complains) << c.label;
        if (c.complains) {
            EXPECT_EQ(seen.text, "Parameter list missing") << c.label;
            EXPECT_TRUE(seen.exStyle & WS_EX_TOPMOST) << c.label << ": system-modal boxes stay on top";
            EXPECT_FALSE(seen.hasIcon) << c.label;
        }
        EXPECT_RECORD_NEAR(ProbeRecord(), c.expected, c.label);
    }
}

TEST(Morph, BlendsTowardTheTextWithTheRecordsWeight) {
    struct Case { const char* label; const char* text; float w; std::vector<float> expected; };
    const char* full = "# 3.00 5.00 1.00 0.90 0.40 20.00 128.00 0.00";
    const Case cases[] = {
        {"weight 1 keeps the record", full, 1.0f, Fields(DefaultParameters)},
        {"weight 0 takes the text", full, 0.0f, {3, 5, 1, 0.9f, 0.4f, 20, 128, 0}},
        {"weight 0.5 gives the mean", full, 0.5f, {2, 3, 1, 0.7f, 0.3f, 70, 128, 64}},
        {"no mark needed", "X3 5", 0.0f, {3, 5, 1, 0.5f, 0.2f, 120, 128, 128}},
        {"short text blends only what it gives", "# 3", 0.5f, {2, 1, 1, 0.5f, 0.2f, 120, 128, 128}},
        {"null text changes nothing", nullptr, 0.0f, Fields(DefaultParameters)},
        {"unreadable text changes nothing", "#abc", 0.0f, Fields(DefaultParameters)},
        {"NaN weight changes nothing", full, NAN, Fields(DefaultParameters)},
    };
    for (const Case& c : cases) {
        LoadRecord(DefaultParameters);
        EXPECT_EQ(Exports().morph(c.text, c.w), 1) << c.label;
        EXPECT_RECORD_NEAR(ProbeRecord(), c.expected, c.label);
    }
}

TEST(Morph, WeightZeroEqualsStartupExactly) {
    const char* text = "# 0.33 7.25 1e-3 0.123456 0.2 255.5 -3 1e30";
    LoadRecord(DefaultParameters);
    Exports().startup(0, 0, text);
    std::vector<float> loaded = ProbeRecord();
    LoadRecord(DefaultParameters);
    Exports().morph(text, 0.0f);
    EXPECT_EQ(ProbeRecord(), loaded);
}

TEST(Morph, CallsCompound) {
    LoadRecord(DefaultParameters);
    Exports().morph("# 3", 0.5f);  // 1 -> 2
    Exports().morph("# 3", 0.5f);  // 2 -> 2.5
    EXPECT_EQ(ProbeRecord()[0], 2.5f);
}

TEST(Close, DoesNothingAndShadingGoesOn) {
    ShaderParameters p = DefaultParameters;
    p.StainColor[0] = 10.0f;
    LoadRecord(p);
    Exports().close();
    EXPECT_RECORD_NEAR(ProbeRecord(), Fields(p), "after close");
    ShadeResult s = ShadeThroughExport(0.0f, 1.0f, 1, 1, 1);  // product 0: the stain colour itself
    EXPECT_EQ(s.colour[0], 10.0f);
}

TEST(Procedure, FloatingPointTrapsStayQuietOnHostileRecordsAndSamples) {
    // A renderer may run with these exceptions unmasked; no input may trap.
    const ShaderParameters records[] = {DefaultParameters, WithScales(0, 0, 0), WithScales(1e-45f, -1e-45f, 1e-45f),
                                        WithBand(-0.2f, 0.2f), WithBand(-FLT_MAX, FLT_MAX)};
    const float samples[] = {0.0f, -0.0f, -1e30f, 1e30f, -0.1f, 3e38f, 1e-40f, INFINITY, -INFINITY, NAN};
    for (const ShaderParameters& p : records) {
        LoadRecord(p);
        for (float a : samples)
            for (float b : samples) {
                ShadeResult s;
                unsigned raised;
                {
                    UnmaskedTraps traps;
                    s = ShadeThroughExport(a, b, 1.5f, -2.0f, 1e30f);
                    raised = traps.Raised();
                }
                EXPECT_EQ(raised, 0u) << a << " * " << b;
                EXPECT_EQ(s.result, 1);
                const bool finite = std::isfinite(a) && std::isfinite(b);
                for (float c : s.colour) EXPECT_TRUE(std::isfinite(c)) << a << " * " << b;
                if (!finite) {  // a sample that is not finite leaves the point untouched
                    for (float c : s.colour) EXPECT_EQ(c, 200.0f) << a << " * " << b;
                    EXPECT_EQ(s.destination, Untouched) << a << " * " << b;
                }
            }
    }
}

TEST(Procedure, NonFiniteValuesLeaveThePointUntouchedWithoutATrap) {
    for (const UntouchedCase& c : UntouchedCases) {
        LoadRecord(c.parameters);
        ShadeResult s;
        unsigned raised;
        {
            UnmaskedTraps traps;
            s = ShadeThroughExport(c.sample0, c.sample1, c.x, c.y, c.z, c.colour);
            raised = traps.Raised();
        }
        EXPECT_EQ(raised, 0u) << c.label;
        EXPECT_EQ(s.result, 1) << c.label;
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(Bits(s.colour[i]), Bits(c.colour[i])) << c.label << " channel " << i << ": " << s.colour[i];
        EXPECT_EQ(s.destination, Untouched) << c.label;
        EXPECT_EQ(s.sampleCalls, c.sampleCalls) << c.label;
    }
}

TEST(Morph, NonFiniteWeightsChangeNothingWithoutATrap) {
    // Toward the record's own values every difference is 0, and an infinite
    // weight times 0 raises "invalid"; a short text leaves equal fields too.
    const ShaderParameters loaded{2, 3, 4, 0.25f, 0.5f, {10, 20, 30}};
    const std::string own = ExactText(loaded);
    const char* texts[] = {own.c_str(), "# 3.00 5.00 1.00 0.90 0.40 20.00 128.00 0.00", "# 3", "#", nullptr};
    for (float w : {INFINITY, -INFINITY, NAN}) {
        for (const char* text : texts) {
            LoadRecord(loaded);
            const std::vector<float> before = ProbeRecord();
            unsigned raised;
            {
                UnmaskedTraps traps;
                EXPECT_EQ(Exports().morph(text, w), 1);
                raised = traps.Raised();
            }
            const char* shown = text ? text : "(null)";
            EXPECT_EQ(raised, 0u) << "weight " << w << ", text " << shown;
            EXPECT_EQ(ProbeRecord(), before) << "weight " << w << ", text " << shown;
        }
    }
}

}  // namespace
