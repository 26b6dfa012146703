#include "params/DecimalText.h"

#include <bit>
#include <cstdint>

namespace {

// --- Wide unsigned integers -------------------------------------------------

// Exact arithmetic on integers of up to 32 * WideLimbs bits, least significant
// limb first. The widest value is a numerator of 120 significant digits
// shifted by 150 bits, or 10^165 shifted by 24 bits: under 580 bits.
constexpr int WideLimbs = 20;

struct WideNumber {
    uint32_t limb[WideLimbs];
    int used;  // limbs in use; the top one is not zero (none when the value is 0)
};

void SetSmall(WideNumber& n, uint32_t value) {
    n.limb[0] = value;
    n.used = value != 0 ? 1 : 0;
}

void MultiplyAdd(WideNumber& n, uint32_t factor, uint32_t addend) {
    uint64_t carry = addend;
    for (int i = 0; i < n.used; ++i) {
        uint64_t product = static_cast<uint64_t>(n.limb[i]) * factor + carry;
        n.limb[i] = static_cast<uint32_t>(product);
        carry = product >> 32;
    }
    if (carry != 0) n.limb[n.used++] = static_cast<uint32_t>(carry);
}

void MultiplyByPowerOfTen(WideNumber& n, int power) {
    for (; power >= 9; power -= 9) MultiplyAdd(n, 1000000000u, 0);
    uint32_t rest = 1;
    for (; power > 0; --power) rest *= 10;
    MultiplyAdd(n, rest, 0);
}

void ShiftLeft(WideNumber& n, int bits) {
    if (n.used == 0 || bits == 0) return;
    int limbs = bits / 32, within = bits % 32;
    int top = n.used + limbs;
    n.limb[top] = 0;
    for (int i = n.used - 1; i >= 0; --i) {
        uint32_t value = n.limb[i];
        if (within != 0) n.limb[i + limbs + 1] |= value >> (32 - within);
        n.limb[i + limbs] = value << within;
    }
    for (int i = 0; i < limbs; ++i) n.limb[i] = 0;
    n.used = n.limb[top] != 0 ? top + 1 : top;
}

void ShiftRightOne(WideNumber& n) {
    for (int i = 0; i < n.used; ++i)
        n.limb[i] = (n.limb[i] >> 1) | (i + 1 < n.used ? n.limb[i + 1] << 31 : 0);
    if (n.used > 0 && n.limb[n.used - 1] == 0) --n.used;
}

int BitLength(const WideNumber& n) {
    if (n.used == 0) return 0;
    return 32 * (n.used - 1) + 32 - __builtin_clz(n.limb[n.used - 1]);
}

int Compare(const WideNumber& a, const WideNumber& b) {
    if (a.used != b.used) return a.used < b.used ? -1 : 1;
    for (int i = a.used - 1; i >= 0; --i)
        if (a.limb[i] != b.limb[i]) return a.limb[i] < b.limb[i] ? -1 : 1;
    return 0;
}

// a -= b, for a >= b.
void Subtract(WideNumber& a, const WideNumber& b) {
    uint32_t borrow = 0;
    for (int i = 0; i < a.used; ++i) {
        uint32_t take = (i < b.used ? b.limb[i] : 0);
        uint32_t next = a.limb[i] - take - borrow;
        borrow = (a.limb[i] < take || (a.limb[i] == take && borrow)) ? 1 : 0;
        a.limb[i] = next;
    }
    while (a.used > 0 && a.limb[a.used - 1] == 0) --a.used;
}

// n /= 10^4; returns the remainder. Sixteen bits at a time, so every step
// fits 32 bits and no 64-bit division (a runtime library call) is needed.
uint32_t DivideByTenThousand(WideNumber& n) {
    uint32_t remainder = 0;
    for (int i = n.used - 1; i >= 0; --i) {
        uint32_t high = remainder << 16 | n.limb[i] >> 16;
        remainder = high % 10000;
        uint32_t low = remainder << 16 | (n.limb[i] & 0xFFFF);
        remainder = low % 10000;
        n.limb[i] = (high / 10000) << 16 | low / 10000;
    }
    while (n.used > 0 && n.limb[n.used - 1] == 0) --n.used;
    return remainder;
}

// --- Writing ------------------------------------------------------------------

char* WriteText(char* out, const char* text) {
    while (*text) *out++ = *text++;
    return out;
}

// The decimal digits of n (at least one), most significant first.
char* WriteWholeNumber(char* out, WideNumber& n) {
    // Four digits at a time from the low end, then reversed into place.
    char reversed[48];
    int count = 0;
    do {
        uint32_t chunk = DivideByTenThousand(n);
        for (int i = 0; i < 4 && (n.used != 0 || chunk != 0 || i == 0); ++i) {
            reversed[count++] = static_cast<char>('0' + chunk % 10);
            chunk /= 10;
        }
    } while (n.used != 0);
    while (count > 0) *out++ = reversed[--count];
    return out;
}

}  // namespace

char* WriteTwoDecimals(char* out, float value) {
    uint32_t bits = std::bit_cast<uint32_t>(value);
    if (bits >> 31) *out++ = '-';
    uint32_t biased = bits >> 23 & 0xFF, fraction = bits & 0x7FFFFF;
    if (biased == 0xFF) return WriteText(out, fraction != 0 ? "nan" : "inf");

    // The value is mantissa * 2^exponent, exactly.
    uint32_t mantissa = biased == 0 ? fraction : fraction | 0x800000;
    int exponent = biased == 0 ? -149 : static_cast<int>(biased) - 150;

    WideNumber whole;
    uint32_t hundredths = 0;  // the two decimals
    if (exponent >= 0) {
        // A whole number, perhaps of 39 digits.
        SetSmall(whole, mantissa);
        ShiftLeft(whole, exponent);
    } else {
        // Hundredths = mantissa * 100 / 2^-exponent, rounded half to even.
        // mantissa * 100 < 2^31; from 2^-32 on, the value is below 0.005.
        uint32_t scaled = mantissa * 100;
        int shift = -exponent;
        uint32_t rounded = 0;
        if (shift < 32) {
            uint32_t kept = scaled >> shift, rest = scaled & ((1u << shift) - 1), half = 1u << (shift - 1);
            rounded = kept + ((rest > half || (rest == half && (kept & 1))) ? 1 : 0);
        }
        SetSmall(whole, rounded / 100);
        hundredths = rounded % 100;
    }
    out = WriteWholeNumber(out, whole);
    *out++ = '.';
    *out++ = static_cast<char>('0' + hundredths / 10);
    *out++ = static_cast<char>('0' + hundredths % 10);
    return out;
}

namespace {

// Significant digits kept exactly. The decimal halfway points between floats
// have at most 113 significant digits, so beyond 120 only whether a non-zero
// digit follows matters.
constexpr int KeptDigits = 120;

// Powers of ten outside these never round to a finite non-zero float:
// FLT_MAX is 3.4e38, and half the smallest subnormal is 7.0e-46.
constexpr int LargestOrder = 38;
constexpr int SmallestOrder = -46;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool DecimalToFloat(const char* first, const char* last, float& value) {
    // Collect the significant digits, and the power of ten of the first.
    char digits[KeptDigits];
    int count = 0;
    bool inexact = false;  // a non-zero digit beyond those kept
    bool significant = false;
    int order = -1;
    auto keep = [&](char digit) {
        if (count < KeptDigits) digits[count++] = digit;
        else if (digit != '0') inexact = true;
    };
    const char* p = first;
    for (; p < last && IsDigit(*p); ++p) {
        if (*p != '0') significant = true;
        if (significant) {
            keep(*p);
            if (order < 100000000) ++order;  // saturated: any longer number overflows anyway
        }
    }
    if (p < last && *p == '.') {
        for (++p; p < last && IsDigit(*p); ++p) {
            if (!significant && *p == '0') {
                if (order > -100000000) --order;
                continue;
            }
            significant = true;
            keep(*p);
        }
    }
    int exponent = 0;
    if (p < last && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negative = p < last && *p == '-';
        if (p < last && (*p == '+' || *p == '-')) ++p;
        for (; p < last && IsDigit(*p); ++p)
            if (exponent < 100000000) exponent = exponent * 10 + (*p - '0');  // saturated likewise
        if (negative) exponent = -exponent;
    }

    if (count == 0) {
        value = 0.0f;
        return true;
    }
    order += exponent;
    if (order > LargestOrder) return false;
    if (order < SmallestOrder) {
        value = 0.0f;
        return true;
    }
    while (count > 1 && digits[count - 1] == '0') --count;  // a smaller numerator, the same value

    // x = numerator / denominator exactly, from the digits and 10^power.
    int power = order - (count - 1);
    WideNumber numerator, denominator;
    SetSmall(numerator, 0);
    for (int i = 0; i < count; ++i) MultiplyAdd(numerator, 10, static_cast<uint32_t>(digits[i] - '0'));
    SetSmall(denominator, 1);
    if (power >= 0) MultiplyByPowerOfTen(numerator, power);
    else MultiplyByPowerOfTen(denominator, -power);

    // floor(log2 x): the difference of the bit lengths, or one less.
    int log2 = BitLength(numerator) - BitLength(denominator);
    {
        WideNumber a = numerator, b = denominator;
        if (log2 >= 0) ShiftLeft(b, log2);
        else ShiftLeft(a, -log2);
        if (Compare(a, b) < 0) --log2;
    }

    // The float's last place is 2^exponent: 24 bits below the top, but never
    // below the subnormals' 2^-149. Take x / 2^(exponent - 1): 25 bits, the
    // last of them the rounding bit.
    int place = log2 - 23 < -149 ? -149 : log2 - 23;
    int scale = 1 - place;
    if (scale >= 0) ShiftLeft(numerator, scale);
    else ShiftLeft(denominator, -scale);
    uint32_t quotient = 0;
    ShiftLeft(denominator, 24);
    for (int bit = 24; bit >= 0; --bit) {
        if (Compare(numerator, denominator) >= 0) {
            Subtract(numerator, denominator);
            quotient |= 1u << bit;
        }
        if (bit > 0) ShiftRightOne(denominator);
    }
    bool sticky = numerator.used != 0 || inexact;

    // Round half to even; a carry into bit 24 still composes right below.
    uint32_t mantissa = quotient >> 1;
    if ((quotient & 1) && (sticky || (mantissa & 1))) ++mantissa;
    uint32_t bits = (static_cast<uint32_t>(place + 149) << 23) + mantissa;
    if (bits >= 0x7F800000u) return false;  // rounds to infinity
    value = std::bit_cast<float>(bits);
    return true;
}
