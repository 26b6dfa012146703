#include "params/ParameterText.h"

#include <cfloat>
#include <cmath>

#include "params/DecimalText.h"

ShaderParameters ModuleParameters = DefaultParameters;

namespace {

bool IsScanSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool ReadNumber(const char*& cursor, float& value) {
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

    float parsed;
    if (!DecimalToFloat(digits, p, parsed)) return false;  // beyond the float range
    value = negative ? -parsed : parsed;
    cursor = p;
    return true;
}

int ReadParameterText(const char* text, ShaderParameters& record) {
    if (text == nullptr) return 0;
    const char* cursor = *text ? text + 1 : text;  // the mark, whatever it is
    int stored = 0;
    for (; stored < ParameterCount; ++stored) {
        float value;
        if (!ReadNumber(cursor, value)) break;
        ParameterField(record, stored) = value;
    }
    return stored;
}

// The mark, and eight fields of at most TwoDecimalsLength with their spaces.
static_assert(ParameterTextCapacity >= 1 + ParameterCount * (1 + TwoDecimalsLength) + 1, "every record fits");

ParameterText WriteParameterText(const ShaderParameters& record) {
    ParameterText out{};
    char* p = out.text;
    *p++ = '#';
    for (int i = 0; i < ParameterCount; ++i) {
        *p++ = ' ';
        p = WriteTwoDecimals(p, ParameterField(record, i));
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
