// libFuzzer target for the parameter text: any byte string read into a
// record, the record written, the text read back. Checks the reader's and the
// writer's promises, not only that nothing crashes; ASan and UBSan catch
// reads past the terminator and writes outside the record.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "params/ParameterText.h"

namespace {

// Every field distinct and not a default, so a stray store shows.
constexpr ShaderParameters Prior{7.25f, -3.5f, 11.0f, 0.125f, 0.875f, {1.0f, 254.5f, -17.0f}};

[[noreturn]] void Fail(const char* what, const std::string& text) {
    std::fprintf(stderr, "invariant broken: %s\ntext (%zu bytes): \"%.200s\"\n", what, text.size(), text.c_str());
    std::abort();
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool IsScanSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// An independent reading of the same grammar: white space, optional sign,
// digits with an optional fraction, an exponent only when digits follow the
// 'e'. The value comes from the C library's correctly rounded strtof.
enum class Token { Number, NoNumber, Overflow };

Token ReferenceNumber(const char*& cursor, float& value) {
    const char* p = cursor;
    while (IsScanSpace(*p)) ++p;
    const char* start = p;
    if (*p == '+' || *p == '-') ++p;
    int digits = 0;
    while (IsDigit(*p)) { ++p; ++digits; }
    if (*p == '.') {
        ++p;
        while (IsDigit(*p)) { ++p; ++digits; }
    }
    if (digits == 0) return Token::NoNumber;
    if ((*p == 'e' || *p == 'E') && (IsDigit(p[1]) || ((p[1] == '+' || p[1] == '-') && IsDigit(p[2])))) {
        p += IsDigit(p[1]) ? 1 : 2;
        while (IsDigit(*p)) ++p;
    }
    std::string token(start, p);
    value = std::strtof(token.c_str(), nullptr);
    if (std::isinf(value)) return Token::Overflow;
    cursor = p;
    return Token::Number;
}

// The fields a correct reader stores, and how many.
int ReferenceRead(const char* text, float* fields) {
    const char* cursor = *text ? text + 1 : text;
    for (int i = 0; i < ParameterCount; ++i) {
        switch (ReferenceNumber(cursor, fields[i])) {
            case Token::Number: break;
            default: return i;
        }
    }
    return ParameterCount;
}

std::string PrintfText(const ShaderParameters& r) {
    char text[4096];
    std::snprintf(text, sizeof text, "%c", '#');
    for (int i = 0; i < ParameterCount; ++i)
        std::snprintf(text + std::strlen(text), sizeof text - std::strlen(text), " %.2f",
                      static_cast<double>(ParameterField(r, i)));
    return text;
}

// Writes the record and checks the text: terminated inside its buffer, the
// "%.2f" form for finite fields, and stable under a read and a second write.
void CheckWrite(const ShaderParameters& record, const std::string& origin) {
    auto written = std::make_unique<ParameterText>(WriteParameterText(record));
    const void* end = std::memchr(written->text, '\0', sizeof written->text);
    if (end == nullptr) Fail("written text not terminated inside its buffer", origin);
    std::string text = written->text;
    bool finite = true;
    for (int i = 0; i < ParameterCount; ++i) finite = finite && std::isfinite(ParameterField(record, i));
    if (finite && text != PrintfText(record)) Fail("written text differs from \"%.2f\"", origin + " -> " + text);

    auto back = std::make_unique<ShaderParameters>(record);
    int stored = ReadParameterText(written->text, *back);
    if (finite && stored != ParameterCount) Fail("written text does not read back whole", text);
    if (std::string(WriteParameterText(*back).text) != text) Fail("write(read(write(r))) != write(r)", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The text in a block of exactly its length plus terminator: any read
    // past the terminator lands in ASan's red zone.
    auto text = std::make_unique<char[]>(size + 1);
    std::memcpy(text.get(), data, size);
    text[size] = '\0';
    std::string shown(text.get());

    // The record alone in its block: a store outside it is caught the same way.
    auto record = std::make_unique<ShaderParameters>(Prior);
    int stored = ReadParameterText(text.get(), *record);
    if (stored < 0 || stored > ParameterCount) Fail("count out of range", shown);
    for (int i = stored; i < ParameterCount; ++i)
        if (!SameBits(ParameterField(*record, i), ParameterField(Prior, i))) Fail("field after the stop changed", shown);
    for (int i = 0; i < stored; ++i)
        if (!std::isfinite(ParameterField(*record, i))) Fail("non-finite value stored", shown);

    float expected[ParameterCount];
    int expectedCount = ReferenceRead(text.get(), expected);
    if (stored != expectedCount) Fail("stored count differs from the reference reading", shown);
    for (int i = 0; i < stored; ++i)
        if (!SameBits(ParameterField(*record, i), expected[i])) Fail("value differs from strtof", shown);
    CheckWrite(*record, shown);

    // Any bit pattern as a record, NaN and infinities included.
    if (size >= sizeof(ShaderParameters)) {
        ShaderParameters raw;
        std::memcpy(&raw, data, sizeof raw);
        CheckWrite(raw, "raw record from the first 32 bytes");
    }
    return 0;
}
