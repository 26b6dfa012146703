// Decimal text of floats, locale-free and exact, with no help from the C or
// C++ runtime: writing with two decimals ("%.2f" of the float widened to
// double) and reading a decimal correctly rounded to the nearest float.
// Small enough for vesk.dll, which links neither libstdc++ nor libm.
// Portable: no Windows header.
#pragma once

// Longest two-decimal text of a float: "-", the 39 digits of FLT_MAX, ".00".
constexpr int TwoDecimalsLength = 43;

// Writes value as "%.2f" in the C locale writes it: correctly rounded, ties
// to even, "-" only when the sign bit is set ("-0.00"), and "inf", "-inf",
// "nan", "-nan" for the non-finite. No terminator; returns the end.
// out must have room for TwoDecimalsLength characters.
char* WriteTwoDecimals(char* out, float value);

// Reads the unsigned decimal in [first, last): digits with an optional "."
// and fraction (at least one digit in all), then an optional exponent ("e"
// or "E", optional sign, at least one digit). The caller has found its
// extent. Rounds to the nearest float, ties to even, however many digits;
// a value below the smallest subnormal rounds to 0. Returns false, leaving
// value alone, when it rounds beyond the largest float.
bool DecimalToFloat(const char* first, const char* last, float& value);
