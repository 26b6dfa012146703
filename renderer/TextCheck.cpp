#include "renderer/TextCheck.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int FieldCount = 8;
// Longer stretches of a text are cut short in messages.
constexpr size_t ShownLength = 24;

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Shown(const char* begin, const char* end) {
    if (static_cast<size_t>(end - begin) <= ShownLength) return std::string(begin, end);
    return std::string(begin, ShownLength) + "...";
}

const char* WordEnd(const char* p) {
    while (*p != '\0' && !IsSpace(*p)) ++p;
    return p;
}

const char* DigitsEnd(const char* p) {
    while (IsDigit(*p)) ++p;
    return p;
}

// Just past the number at p (no white space skipped): a sign, digits with an
// optional fraction, and an exponent only when digits follow its 'e'. The
// number's digits start at *digits; p itself when there are none.
const char* NumberEnd(const char* p, const char*& digits) {
    const char* q = p;
    if (*q == '+' || *q == '-') ++q;
    digits = q;
    const char* end = DigitsEnd(q);
    bool any = end != q;
    if (*end == '.') {
        const char* fraction = end + 1;
        end = DigitsEnd(fraction);
        any = any || end != fraction;
    }
    if (!any) return p;
    if (*end == 'e' || *end == 'E') {
        const char* e = end + 1;
        if (*e == '+' || *e == '-') ++e;
        if (IsDigit(*e)) end = DigitsEnd(e);
    }
    return end;
}

enum class Fit { Fits, Beyond, Unreadable };

// What the plug-in makes of a number's digits: a value too small for a float
// rounds toward zero and is kept; one too large is refused.
Fit FitsAFloat(const char* digits, const char* end) {
    float value;
    auto [stop, error] = std::from_chars(digits, end, value, std::chars_format::general);
    if (error == std::errc::result_out_of_range) {
        std::string copy(digits, end);
        return std::fabs(std::strtod(copy.c_str(), nullptr)) < 1.0 ? Fit::Fits : Fit::Beyond;
    }
    return error == std::errc() && stop == end ? Fit::Fits : Fit::Unreadable;
}

std::string Field(int index) {
    return "field " + std::to_string(index + 1) + " (" + ParameterFieldName(index) + ")";
}

// "fields 5-8 (Sharpness to blue) keep their values", or the one field's.
std::string KeptFields(int first) {
    if (first == FieldCount - 1) return Field(first) + " keeps its value";
    return "fields " + std::to_string(first + 1) + "-" + std::to_string(FieldCount) + " (" +
           ParameterFieldName(first) + " to " + ParameterFieldName(FieldCount - 1) + ") keep their values";
}

std::string WithDecimalPoint(std::string text) {
    for (char& c : text)
        if (c == ',') c = '.';
    return text;
}

}  // namespace

const char* ParameterFieldName(int index) {
    static const char* const names[FieldCount] = {"XScale",    "YScale", "ZScale", "Threshold",
                                                  "Sharpness", "red",    "green",  "blue"};
    return index >= 0 && index < FieldCount ? names[index] : "?";
}

TextReading ReadAsThePlugInDoes(const std::string& text) {
    TextReading reading;
    const char* cursor = text.c_str();
    reading.marked = *cursor == '#';
    if (*cursor != '\0') ++cursor;  // the mark, whatever it is
    const char* lastStart = nullptr;
    const char* lastEnd = nullptr;

    // Field by field, as the plug-in scans: white space, then a number.
    for (; reading.fieldsRead < FieldCount; ++reading.fieldsRead) {
        const char* start = cursor;
        while (IsSpace(*start)) ++start;
        if (*start == '\0') {
            reading.stop = TextStop::TextEnds;
            break;
        }
        const char* digits = nullptr;
        const char* end = NumberEnd(start, digits);
        if (end == start) {
            bool comma = *start == ',' && IsDigit(start[1]);
            reading.stop = comma ? TextStop::DecimalComma : TextStop::NotANumber;
            // A decimal comma shows with the number it belongs to.
            reading.commaCutsLastRead = comma && lastEnd == start;
            const char* from = reading.commaCutsLastRead ? lastStart : start;
            reading.stoppedAt = Shown(from, comma ? DigitsEnd(start + 1) : WordEnd(start));
            break;
        }
        Fit fit = FitsAFloat(digits, end);
        if (fit != Fit::Fits) {
            reading.stop = fit == Fit::Beyond ? TextStop::BeyondFloatRange : TextStop::NotANumber;
            reading.stoppedAt = Shown(start, fit == Fit::Beyond ? end : WordEnd(start));
            break;
        }
        lastStart = start;
        lastEnd = end;
        cursor = end;
    }
    // The eighth number may still be cut short by a comma: the rest is never read.
    if (reading.fieldsRead == FieldCount && *cursor == ',' && IsDigit(cursor[1])) {
        reading.stop = TextStop::DecimalComma;
        reading.commaCutsLastRead = true;
        reading.stoppedAt = Shown(lastStart, DigitsEnd(cursor + 1));
    }
    if (lastStart != nullptr) reading.lastRead = Shown(lastStart, lastEnd);
    return reading;
}

std::string DescribeReading(const TextReading& reading) {
    const int first = reading.fieldsRead;
    switch (reading.stop) {
    case TextStop::None:
        return {};
    case TextStop::TextEnds:
        return KeptFields(first) + ": the text ends " +
               (first == 0 ? std::string("before the first number") : "after " + Field(first - 1));
    case TextStop::NotANumber:
        return KeptFields(first) + ": \"" + reading.stoppedAt + "\" is not a number";
    case TextStop::BeyondFloatRange:
        return KeptFields(first) + ": \"" + reading.stoppedAt + "\" is beyond the float range";
    case TextStop::DecimalComma: {
        std::string why = "\"" + reading.stoppedAt + "\" has a decimal comma (write " +
                          WithDecimalPoint(reading.stoppedAt) + ")";
        if (!reading.commaCutsLastRead) return KeptFields(first) + ": " + why;
        std::string readAs = Field(first - 1) + " reads as " + reading.lastRead;
        if (first == FieldCount) return readAs + ": " + why;
        return KeptFields(first) + " and " + readAs + ": " + why;
    }
    }
    return {};
}
