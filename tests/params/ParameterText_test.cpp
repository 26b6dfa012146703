#include "params/ParameterText.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr ShaderParameters Other{7, 7, 7, 7, 7, {7, 7, 7}};

std::vector<float> Fields(const ShaderParameters& r) {
    std::vector<float> out;
    for (int i = 0; i < ParameterCount; ++i) out.push_back(ParameterField(r, i));
    return out;
}

TEST(WriteParameterText, DefaultsAreTheDocumentedText) {
    std::string text = WriteParameterText(DefaultParameters).text;
    EXPECT_EQ(text, "# 1.00 1.00 1.00 0.50 0.20 120.00 128.00 128.00");
    EXPECT_EQ(text.size(), 47u);
}

TEST(WriteParameterText, MatchesPrintfTwoDecimalsAcrossMagnitudes) {
    // Rounds exactly as "%.2f" does in the C locale, signs only for negatives.
    const float values[] = {0.0f, -0.0f, 0.005f, 0.015f, 0.125f, 0.333f, -2.675f, 1e-30f,
                            123456.789f, 1e16f, -1e15f, 3.4e38f, -FLT_MAX, FLT_TRUE_MIN};
    for (float v : values) {
        ShaderParameters r{v, v, v, v, v, {v, v, v}};
        char expected[2048];
        std::snprintf(expected, sizeof expected, "%c %.2f %.2f %.2f %.2f %.2f %.2f %.2f %.2f", '#',
                      double(v), double(v), double(v), double(v), double(v), double(v), double(v), double(v));
        EXPECT_STREQ(WriteParameterText(r).text, expected) << "value " << v;
    }
}

TEST(WriteParameterText, LargestFloatsFitTheBuffer) {
    // Eight fields of -FLT_MAX are the longest text there is; it must be whole.
    ShaderParameters r{-FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX, {-FLT_MAX, -FLT_MAX, -FLT_MAX}};
    ParameterText t = WriteParameterText(r);
    size_t length = std::strlen(t.text);
    EXPECT_LT(length, sizeof t.text);
    EXPECT_EQ(length, 2 + 8 * 43 + 7u);
    ShaderParameters back = DefaultParameters;
    EXPECT_EQ(ReadParameterText(t.text, back), 8);
    EXPECT_EQ(Fields(back), Fields(r));
}

TEST(WriteParameterText, IgnoresTheProcessLocale) {
    // A renderer may have set a locale with a decimal comma.
    const char* set = std::setlocale(LC_ALL, "de_DE.UTF-8");
    ShaderParameters r = DefaultParameters;
    r.Threshold = 0.75f;
    EXPECT_STREQ(WriteParameterText(r).text, "# 1.00 1.00 1.00 0.75 0.20 120.00 128.00 128.00");
    ShaderParameters back = Other;
    EXPECT_EQ(ReadParameterText("# 1 2.5", back), 2);
    EXPECT_EQ(back.YScale, 2.5f);
    if (set) std::setlocale(LC_ALL, "C");
}

struct ReadCase {
    const char* label;
    const char* text;
    int stored;
    std::vector<float> expected;  // the record after reading into Other
};

TEST(ReadParameterText, FollowsTheScanGrammar) {
    // Numbers with more digits than a double holds: 1e350 and 1e-351.
    static const std::string HugeDigits = "#1" + std::string(400, '0') + "e-50 7";
    static const std::string TinyDigits = "#0." + std::string(400, '0') + "1e+50 7";
    const ReadCase cases[] = {
        {"defaults", "# 1.00 1.00 1.00 0.50 0.20 120.00 128.00 128.00", 8, {1, 1, 1, 0.5f, 0.2f, 120, 128, 128}},
        {"mark alone", "#", 0, {7, 7, 7, 7, 7, 7, 7, 7}},
        {"mark and letters", "#abc 1 2", 0, {7, 7, 7, 7, 7, 7, 7, 7}},
        {"no space after mark", "#2 3", 2, {2, 3, 7, 7, 7, 7, 7, 7}},
        {"comma stops", "#0,5 1", 1, {0, 7, 7, 7, 7, 7, 7, 7}},
        {"digit as mark", "12 3", 2, {2, 3, 7, 7, 7, 7, 7, 7}},
        {"three numbers", "# 4 5 6", 3, {4, 5, 6, 7, 7, 7, 7, 7}},
        {"any white space", "#\t\n 1\r\v\f2   3", 3, {1, 2, 3, 7, 7, 7, 7, 7}},
        {"signs, fraction, exponent", "# +1.5 -2 .5 5. 1e2 2.5E-1 -0 1e+1", 8, {1.5f, -2, 0.5f, 5, 100, 0.25f, -0.0f, 10}},
        {"more than eight", "# 1 2 3 4 5 6 7 8 9", 8, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"bare sign stops", "# 1 - 2", 1, {1, 7, 7, 7, 7, 7, 7, 7}},
        {"bare point stops", "# 1 . 2", 1, {1, 7, 7, 7, 7, 7, 7, 7}},
        {"e without digits ends the number", "# 3e 4", 1, {3, 7, 7, 7, 7, 7, 7, 7}},
        {"glued numbers", "# 1-2+3", 3, {1, -2, 3, 7, 7, 7, 7, 7}},
        {"overflow stops", "# 1 1e39 2", 1, {1, 7, 7, 7, 7, 7, 7, 7}},
        {"huge exponent stops", "# 1 -1e99999 2", 1, {1, 7, 7, 7, 7, 7, 7, 7}},
        {"underflow is zero", "# 1e-50 -1e-99999 2", 3, {0, -0.0f, 2, 7, 7, 7, 7, 7}},
        {"400 digits beyond every range stop", HugeDigits.c_str(), 0,
         {7, 7, 7, 7, 7, 7, 7, 7}},
        {"400 zeros below every range are zero", TinyDigits.c_str(), 2,
         {0, 7, 7, 7, 7, 7, 7, 7}},
        {"subnormal kept", "# 1e-40", 1, {1e-40f, 7, 7, 7, 7, 7, 7, 7}},
        {"inf and nan are not numbers", "# inf nan", 0, {7, 7, 7, 7, 7, 7, 7, 7}},
        {"hex is not decimal", "# 0x10", 1, {0, 7, 7, 7, 7, 7, 7, 7}},
        {"empty text", "", 0, {7, 7, 7, 7, 7, 7, 7, 7}},
    };
    for (const ReadCase& c : cases) {
        ShaderParameters r = Other;
        EXPECT_EQ(ReadParameterText(c.text, r), c.stored) << c.label;
        EXPECT_EQ(Fields(r), c.expected) << c.label;
    }
}

TEST(ReadParameterText, RoundsOnceToTheNearestFloat) {
    // Each decimal is rounded directly to float, not through double.
    const char* numbers[] = {"0.1", "1.00000005960464477539062500000001", "16777217", "3.4028235e38",
                             "0.333", "1.17549435e-38", "123456.789"};
    for (const char* n : numbers) {
        std::string text = std::string("#") + n;
        ShaderParameters r = Other;
        ASSERT_EQ(ReadParameterText(text.c_str(), r), 1) << n;
        EXPECT_EQ(r.XScale, std::strtof(n, nullptr)) << n;
    }
}

TEST(ReadParameterText, NullTextChangesNothing) {
    ShaderParameters r = Other;
    EXPECT_EQ(ReadParameterText(nullptr, r), 0);
    EXPECT_EQ(Fields(r), Fields(Other));
}

TEST(ReadParameterText, StopsAtTheTerminator) {
    // The bytes after the terminator hold numbers; none may be read.
    char buffer[] = "# 1 2\0 3 4 5";
    ShaderParameters r = Other;
    EXPECT_EQ(ReadParameterText(buffer, r), 2);
    EXPECT_EQ(r.ZScale, 7.0f);
}

TEST(ParameterText, WriteThenReadKeepsTwoDecimals) {
    ShaderParameters r = DefaultParameters;
    r.Sharpness = 0.333f;
    r.XScale = -12.345f;
    ShaderParameters back = Other;
    ASSERT_EQ(ReadParameterText(WriteParameterText(r).text, back), 8);
    EXPECT_EQ(back.Sharpness, 0.33f);
    EXPECT_EQ(back.XScale, -12.35f);  // -12.345f lies just above -12.345
    EXPECT_STREQ(WriteParameterText(back).text, WriteParameterText(r).text);
}

TEST(BlendParameters, WeightsKeepMixAndExtrapolate) {
    ShaderParameters base = DefaultParameters;
    ShaderParameters other = DefaultParameters;
    other.Threshold = 0.9f;
    other.StainColor[0] = 20.0f;

    ShaderParameters r = base;
    BlendParameters(r, other, 1.0f);
    EXPECT_EQ(Fields(r), Fields(base));

    r = base;
    BlendParameters(r, other, 0.0f);
    EXPECT_EQ(Fields(r), Fields(other));

    r = base;
    BlendParameters(r, other, 0.25f);
    EXPECT_FLOAT_EQ(r.Threshold, 0.8f);  // 0.9f + 0.25 * (0.5f - 0.9f), one ulp below 0.8f
    EXPECT_EQ(r.StainColor[0], 45.0f);
    EXPECT_EQ(r.XScale, 1.0f);

    r = base;
    BlendParameters(r, other, 0.5f);
    EXPECT_EQ(r.StainColor[0], 70.0f);

    r = base;
    BlendParameters(r, other, 2.0f);  // beyond the record, away from the other set
    EXPECT_EQ(r.StainColor[0], 220.0f);
}

TEST(BlendParameters, RoundsOnlyTheResult) {
    // 0.1f + 0.3f * (0.7f - 0.1f) rounded once; float steps would differ here.
    ShaderParameters r = DefaultParameters, other = DefaultParameters;
    r.Threshold = 0.7f;
    other.Threshold = 0.1f;
    BlendParameters(r, other, 0.3f);
    EXPECT_EQ(r.Threshold, float(double(0.1f) + double(0.3f) * (double(0.7f) - double(0.1f))));
}

TEST(BlendParameters, NeverStoresANonFiniteValueNorRaisesAnException) {
    // The other seven fields are equal in both records: a non-finite weight
    // meets a zero difference there (infinity times 0 raises "invalid").
    struct Case { const char* label; float mine, theirs, w, expected; };
    const Case cases[] = {
        {"extrapolation past the float range keeps the value", 3e38f, -3e38f, 1e30f, 3e38f},
        {"NaN weight keeps the value", 1.5f, 2.5f, NAN, 1.5f},
        {"+Inf weight keeps the value", 1.5f, 2.5f, INFINITY, 1.5f},
        {"-Inf weight keeps the value", 1.5f, 2.5f, -INFINITY, 1.5f},
        {"+Inf weight on equal fields keeps the value", 1.5f, 1.5f, INFINITY, 1.5f},
        {"-Inf weight on zero fields keeps the value", 0.0f, -0.0f, -INFINITY, 0.0f},
        {"NaN weight on equal fields keeps the value", 1.5f, 1.5f, NAN, 1.5f},
        {"largest finite weight on equal fields blends", 1.5f, 1.5f, FLT_MAX, 1.5f},
        {"largest finite result is stored", FLT_MAX, 0.0f, 1.0f, FLT_MAX},
    };
    for (const Case& c : cases) {
        ShaderParameters r = DefaultParameters, other = DefaultParameters;
        r.XScale = c.mine;
        other.XScale = c.theirs;
        std::feclearexcept(FE_ALL_EXCEPT);
        BlendParameters(r, other, c.w);
        EXPECT_EQ(std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW), 0) << c.label;
        EXPECT_EQ(r.XScale, c.expected) << c.label;
        for (int i = 1; i < ParameterCount; ++i)
            EXPECT_EQ(ParameterField(r, i), ParameterField(DefaultParameters, i)) << c.label << ", field " << i;
    }
}

TEST(ModuleParameters, HoldsTheDefaultsAtLoad) {
    EXPECT_EQ(Fields(ModuleParameters), Fields(DefaultParameters));
}

}  // namespace
