// The standard library's reading and writing of decimals, as the plug-in's
// own decimal text must give them: std::to_chars for "%.2f", std::from_chars
// for reading, with glibc's strtod telling overflow from underflow where
// from_chars reports only that the value is out of range.
#pragma once

#include <charconv>
#include <cstdlib>
#include <string>

inline std::string ReferenceTwoDecimals(float value) {
    char text[64];
    auto [end, error] = std::to_chars(text, text + sizeof text, static_cast<double>(value),
                                      std::chars_format::fixed, 2);
    return error == std::errc() ? std::string(text, end) : std::string("to_chars failed");
}

struct ReferenceReading {
    bool fits;    // false: beyond the largest float
    float value;  // the correctly rounded float when it fits
};

inline ReferenceReading ReferenceDecimalToFloat(const std::string& text) {
    float value = 0.0f;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (error == std::errc() && end == text.data() + text.size()) return {true, value};
    if (error != std::errc::result_out_of_range) return {false, -1.0f};  // not a decimal at all: a broken case
    // Out of range both ways: a value that rounds to infinity, or to zero.
    return std::strtod(text.c_str(), nullptr) > 1.0 ? ReferenceReading{false, 0.0f} : ReferenceReading{true, 0.0f};
}
