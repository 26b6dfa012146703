#include "params/ParameterText.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>

ShaderParameters ModuleParameters = DefaultParameters;

namespace {

bool IsScanSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The power of ten of a decimal's first significant digit, exponent included
// (saturated, so no exponent text can overflow it).
long DecimalOrder(const char* digits, const char* end) {
    const char* p = digits;
    long order = -1;
    bool significant = false;
    for (; p < end && IsDigit(*p); ++p) {
        if (*p != '0') significant = true;
        if (significant) ++order;
    }
    if (p < end && *p == '.') {
        for (++p; p < end && IsDigit(*p) && !significant; ++p) {
            --order;
            if (*p != '0') significant = true;
        }
        while (p < end && IsDigit(*p)) ++p;
    }
    long exponent = 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negative = p < end && *p == '-';
        if (p < end && (*p == '+' || *p == '-')) ++p;
        for (; p < end; ++p) exponent = std::min(exponent * 10 + (*p - '0'), 1000000000L);
        if (negative) exponent = -exponent;
    }
    return order + exponent;
}

// Reads one number at *cursor: white space, optional sign, digits with an
// optional fraction, and an exponent only when digits follow its 'e'.
// Returns false (cursor unchanged) when there is no number or it lies beyond
// the float range; values too small for a float round to zero or a subnormal.
bool ScanNumber(const char*& cursor, float& value) {
    const char* p = cursor;
    while (IsScanSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    const char* digits = p;
    int mantissaDigits = 0;
    while (IsDigit(*p)) { ++p; ++mantissaDigits; }
    if (*p == '.') {
        ++p;
        while (IsDigit(*p)) { ++p; ++mantissaDigits; }
    }
    if (mantissaDigits == 0) return false;
    if (*p == 'e' || *p == 'E') {
        const char* e = p + 1;
        if (*e == '+' || *e == '-') ++e;
        if (IsDigit(*e)) {
            while (IsDigit(*e)) ++e;
            p = e;
        }
    }

    float parsed = 0.0f;
    auto [end, error] = std::from_chars(digits, p, parsed, std::chars_format::general);
    if (error == std::errc::result_out_of_range) {
        // Beyond the float range: overflow stops the scan, underflow rounds
        // toward zero. The decimal's order of magnitude tells them apart,
        // however many digits it has.
        double wide = 0.0;
        std::from_chars(digits, p, wide, std::chars_format::general);
        bool tiny = DecimalOrder(digits, p) < 0;
        if (!tiny) return false;
        parsed = std::fabs(wide) < FLT_TRUE_MIN / 2 ? 0.0f : static_cast<float>(wide);
    } else if (error != std::errc() || end != p) {
        return false;
    }
    value = negative ? -parsed : parsed;
    cursor = p;
    return true;
}

}  // namespace

int ReadParameterText(const char* text, ShaderParameters& record) {
    if (text == nullptr) return 0;
    const char* cursor = *text ? text + 1 : text;  // the mark, whatever it is
    int stored = 0;
    for (; stored < ParameterCount; ++stored) {
        float value;
        if (!ScanNumber(cursor, value)) break;
        ParameterField(record, stored) = value;
    }
    return stored;
}

ParameterText WriteParameterText(const ShaderParameters& record) {
    ParameterText out{};
    char* p = out.text;
    char* const end = out.text + sizeof out.text - 1;  // room for the terminator
    *p++ = '#';
    for (int i = 0; i < ParameterCount; ++i) {
        *p++ = ' ';
        auto result = std::to_chars(p, end, static_cast<double>(ParameterField(record, i)),
                                    std::chars_format::fixed, 2);
        p = result.ptr;  // a finite float always fits; see ParameterTextCapacity
    }
    *p = '\0';
    return out;
}

void BlendParameters(ShaderParameters& record, const ShaderParameters& other, float w) {
    // A weight that is not a finite number blends nothing: infinity times a
    // zero difference would raise "invalid". Quiet comparisons, for NaN.
    if (!(std::islessequal(w, FLT_MAX) && std::isgreaterequal(w, -FLT_MAX))) return;
    for (int i = 0; i < ParameterCount; ++i) {
        double mine = ParameterField(record, i);
        double theirs = ParameterField(other, i);
        double blended = theirs + static_cast<double>(w) * (mine - theirs);
        // Only a finite float may enter the record (and no conversion may trap):
        // a finite weight may still extrapolate past the float range.
        if (std::islessequal(std::fabs(blended), static_cast<double>(FLT_MAX)))
            ParameterField(record, i) = static_cast<float>(blended);
    }
}
