// The parameter text: "# " and the eight fields with two decimals, e.g.
// "# 1.00 1.00 1.00 0.50 0.20 120.00 128.00 128.00". Reading, writing and
// blending records. Locale-independent: "." is always the decimal point.
// Portable: no Windows header.
#pragma once

#include "params/ShaderParameters.h"

// Longest text WriteParameterText makes: "# " plus eight fields of at most
// 43 characters ("-" and 39 digits of FLT_MAX, ".00") with their separators.
constexpr int ParameterTextCapacity = 512;

struct ParameterText {
    char text[ParameterTextCapacity];
};

// Skips the first character (whatever it is, unless the text is empty), then
// reads up to eight numbers into the record in field order. Stops at the first
// field that cannot be read (no number, or one outside the float range); the
// fields from there on keep their values. A null text changes nothing.
// Returns the number of fields stored.
int ReadParameterText(const char* text, ShaderParameters& record);

// Reads one number at cursor and moves cursor past it: white space, an
// optional sign, digits with an optional fraction, and an exponent only when
// digits follow its 'e'. Returns false (cursor unchanged) when there is no
// number or it lies beyond the float range; values too small for a float
// round to zero or a subnormal. Each field of the text is read this way.
bool ReadNumber(const char*& cursor, float& value);

// The record's text form, "%c %.2f ..." with '#', correctly rounded.
ParameterText WriteParameterText(const ShaderParameters& record);

// record = other + w * (record - other) for each field, carried in double and
// rounded once to float. A field whose result would not be a finite float
// (a NaN weight, an extrapolation past the float range) keeps its value.
void BlendParameters(ShaderParameters& record, const ShaderParameters& other, float w);
