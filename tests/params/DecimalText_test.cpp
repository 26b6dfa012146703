// The plug-in's own decimal text against the standard library's: writing
// against std::to_chars (the "%.2f" of the float widened to double), reading
// against std::from_chars and glibc's strtof, both correctly rounded.
// scripts/check-decimal-text runs the same comparisons over every float.
#include "params/DecimalText.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "params/DecimalTextReference.h"

namespace {

std::string Written(float value) {
    char text[TwoDecimalsLength + 1];
    char* end = WriteTwoDecimals(text, value);
    return std::string(text, end);
}

// A sampled sweep of all 2^32 patterns: every 4099th (a prime step, so every
// exponent and low-bit pattern is visited), and the first and last 65536
// patterns of each sign, where the subnormals and NaN payloads are.
TEST(WriteTwoDecimals, MatchesToCharsOverSampledBitPatterns) {
    long checked = 0;
    auto check = [&](uint32_t bits) {
        float value = std::bit_cast<float>(bits);
        ASSERT_EQ(Written(value), ReferenceTwoDecimals(value)) << "bits 0x" << std::hex << bits;
        ++checked;
    };
    for (uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 4099) check(static_cast<uint32_t>(bits));
    for (uint32_t low = 0; low < 65536; ++low) {
        for (uint32_t base : {0x00000000u, 0x80000000u, 0x7F7F0000u, 0xFF7F0000u, 0x7F800000u, 0xFF800000u})
            check(base + low);
    }
    EXPECT_GT(checked, 1000000);
}

TEST(WriteTwoDecimals, RoundsHalfToEvenAndKeepsTheSign) {
    struct Case {
        const char* label;
        float value;
        const char* text;
    };
    // Exact ties are dyadic: 0.125 and 0.375 are ties, 0.005 and 2.675 are not.
    const Case cases[] = {
        {"tie down to even", 0.125f, "0.12"},
        {"tie up to even", 0.375f, "0.38"},
        {"not a tie: 0.045f lies above", 0.045f, "0.05"},
        {"not a tie: 0.005f lies below", 0.005f, "0.00"},
        {"not a tie: 2.675f lies below", 2.675f, "2.67"},
        {"negative rounds to zero", -0.001f, "-0.00"},
        {"negative zero", -0.0f, "-0.00"},
        {"smallest subnormal", FLT_TRUE_MIN, "0.00"},
        {"largest float", FLT_MAX, "340282346638528859811704183484516925440.00"},
        {"lowest float", -FLT_MAX, "-340282346638528859811704183484516925440.00"},
        {"largest float with a fraction", 8388607.5f, "8388607.50"},
        {"smallest whole-number exponent", 8388609.0f, "8388609.00"},
        {"infinity", INFINITY, "inf"},
        {"negative infinity", -INFINITY, "-inf"},
        {"NaN", std::bit_cast<float>(0x7FC00001u), "nan"},
        {"negative NaN", std::bit_cast<float>(0xFFC00000u), "-nan"},
    };
    for (const Case& c : cases) EXPECT_EQ(Written(c.value), c.text) << c.label;
    EXPECT_EQ(Written(-FLT_MAX).size(), static_cast<size_t>(TwoDecimalsLength));
}

// The reading of one decimal, judged as the reader must: a float, or beyond the range.
struct Reading {
    bool fits;
    uint32_t bits;
};

Reading Read(const std::string& text) {
    float value = -12345.0f;  // must stay when the number does not fit
    bool fits = DecimalToFloat(text.data(), text.data() + text.size(), value);
    if (!fits) {
        EXPECT_EQ(value, -12345.0f) << "value changed on overflow: " << text;
    }
    return {fits, std::bit_cast<uint32_t>(value)};
}

void ExpectReadsAsReference(const std::string& text, const std::string& label) {
    Reading got = Read(text);
    ReferenceReading want = ReferenceDecimalToFloat(text);
    ASSERT_EQ(got.fits, want.fits) << label << ": " << text;
    if (want.fits) {
        ASSERT_EQ(got.bits, std::bit_cast<uint32_t>(want.value)) << label << ": " << text;
    }
}

// The exact decimal of a double (every float and every midpoint of two floats
// is one), with the given number of significant digits; glibc prints exactly.
std::string ExactDecimal(double value, int significant = 120) {
    char text[256];
    std::snprintf(text, sizeof text, "%.*e", significant - 1, value);
    return text;
}

TEST(DecimalToFloat, TiesBetweenNeighbouringFloatsAndTheirNearNeighbours) {
    // Midpoints are exact decimals of up to 113 significant digits; a tie goes
    // to the even neighbour, a hair above or below it goes to the nearer one.
    const uint32_t starts[] = {0x00000000u, 0x00000001u, 0x00000002u, 0x007FFFFEu, 0x007FFFFFu, 0x00800000u,
                               0x00800001u, 0x3DCCCCCCu, 0x3F7FFFFFu, 0x3F800000u, 0x4B7FFFFFu, 0x4B800000u,
                               0x5F000000u, 0x7F7FFFFEu, 0x7F7FFFFFu};
    for (uint32_t start : starts) {
        for (uint32_t bits = start; bits < start + 3 && bits <= 0x7F7FFFFFu; ++bits) {
            double low = std::bit_cast<float>(bits);
            double high = bits == 0x7F7FFFFFu ? 0x1p128 : std::bit_cast<float>(bits + 1);
            double mid = (low + high) / 2;  // exact: two adjacent floats fit a double's 53 bits
            std::string exact = ExactDecimal(mid);
            std::string label = "midpoint above 0x" + std::to_string(bits);
            ExpectReadsAsReference(exact, label);
            // The same tie written out long, and nudged by one unit in the 200th place.
            std::string mantissa = exact.substr(0, exact.find('e')), exponent = exact.substr(exact.find('e'));
            ExpectReadsAsReference(mantissa + std::string(80, '0') + exponent, label + ", trailing zeros");
            ExpectReadsAsReference(mantissa + std::string(80, '0') + "1" + exponent, label + ", a hair above");
            ExpectReadsAsReference(ExactDecimal(std::nextafter(mid, 0.0), 130), label + ", a double below");
            ExpectReadsAsReference(ExactDecimal(std::nextafter(mid, 1e300), 130), label + ", a double above");
        }
    }
}

TEST(DecimalToFloat, RangeEdges) {
    struct Case {
        const char* label;
        std::string text;
    };
    const Case cases[] = {
        {"largest float", "340282346638528859811704183484516925440"},
        {"just below the overflow tie", "340282356779733661637539395458142568447.999"},
        {"the overflow tie", "340282356779733661637539395458142568448"},
        {"overflow", "3.5e38"},
        {"order 39", "1e39"},
        {"order 39 with zeros first", "0000.000001e45"},
        {"smallest normal", "1.17549435082228750797e-38"},
        {"smallest subnormal", "1.40129846432481707092e-45"},
        {"half the smallest subnormal: tie to zero", ExactDecimal(0x1p-150)},
        {"a hair above half the smallest subnormal", "7.0064923216240862e-46"},
        {"a hair below half", "7.0064923216240853e-46"},
        {"order -47", "9.99999e-47"},
        {"far below", "1e-99999"},
        {"far above", "1e99999"},
        {"saturated exponent", "1e999999999999999999999999"},
        {"saturated negative exponent", "1e-999999999999999999999999"},
        {"zero with a huge exponent", "0e999999999999"},
        {"zero", "0"},
        {"point zero", ".0"},
        {"zero point", "0."},
        {"exponent sign", "25E+1"},
    };
    for (const Case& c : cases) ExpectReadsAsReference(c.text, c.label);
}

TEST(DecimalToFloat, LongDigitStrings) {
    // Hundreds of digits on either side of the point, where only the first
    // 113 can decide, and exponents that move the point far back.
    const std::string ones(400, '1'), nines(400, '9'), zeros(400, '0');
    const std::string cases[] = {
        "1" + zeros,
        "1" + zeros + "e-400",
        "1" + zeros + "e-390",
        "0." + zeros + "1e+400",
        "0." + zeros + "1e+360",
        nines + "e-370",
        nines + "." + nines + "e-400",
        "0.0000" + ones + "e-30",
        "3.40282356779733661637539395458142568448" + zeros + "1e38",
        "3.40282356779733661637539395458142568447" + nines + "e38",
        "1." + zeros + "1",
        "16777217." + zeros + "1",  // just above a tie between 2^24 and 2^24 + 2
        "16777217" + zeros + "e-400",  // exactly the tie, written long
    };
    for (const std::string& text : cases) ExpectReadsAsReference(text, "long digits");
}

TEST(DecimalToFloat, RandomDecimalsOfEveryLength) {
    std::mt19937_64 random(20261211);
    std::uniform_int_distribution<int> length(1, 140), digit(0, 9), exponent(-75, 60), shape(0, 3);
    for (int i = 0; i < 200000; ++i) {
        std::string text;
        int n = length(random);
        int point = shape(random) == 0 ? -1 : std::uniform_int_distribution<int>(0, n)(random);
        for (int d = 0; d < n; ++d) {
            if (d == point) text += '.';
            text += static_cast<char>('0' + digit(random));
        }
        if (point == n) text += '.';
        if (shape(random) != 0) text += "e" + std::to_string(exponent(random));
        ExpectReadsAsReference(text, "random");
    }
}

TEST(DecimalToFloat, ReadsBackEveryWrittenShortestFloat) {
    // The shortest text that reads back as the float, for a sweep of floats.
    for (uint64_t bits = 0; bits < 0x7F800000u; bits += 1021) {
        float value = std::bit_cast<float>(static_cast<uint32_t>(bits));
        char text[64];
        auto [end, error] = std::to_chars(text, text + sizeof text, value);
        ASSERT_EQ(error, std::errc());
        Reading got = Read(std::string(text, end));
        ASSERT_TRUE(got.fits) << text;
        ASSERT_EQ(got.bits, bits) << text;
    }
}

}  // namespace
