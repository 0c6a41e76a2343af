// Number conversions that give exactly the results of the C library calls the
// file formats were defined with (atof, atoi, fscanf "%f" and "%d" of glibc),
// but work on a byte range in memory: no NUL terminator, no stdio call per
// character, no fixed-size token buffer.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

namespace quorax {

// C atof on [first, last): leading white space skipped, then the longest
// prefix that strtod accepts (decimal, hexadecimal, inf, infinity, nan,
// nan(...)); 0.0 when there is none. *consumed, when given, receives the
// number of bytes that strtod would have consumed (0 when nothing parsed).
double parseAtof(const char* first, const char* last, std::ptrdiff_t* consumed = nullptr);

// Result of an integer conversion in the manner of strtol with base 10.
struct IntParse {
    bool digits = false;  // at least one digit was found
    bool overflow = false; // the value does not fit in 32 bits
    int32_t value = 0;     // 0 when !digits or overflow
};

// C atoi on [first, last): white space, an optional sign, decimal digits.
IntParse parseAtoi(const char* first, const char* last);

enum class ScanStatus {
    Ok,       // a value was converted
    NoMatch,  // the input does not start with a number (matching failure)
    End,      // only white space before the end of the input (EOF)
};

// fscanf(f, "%f", &v) as glibc does it: skips white space, consumes the
// longest run of characters glibc's scanner takes (which may be more than
// strtof uses, e.g. "1e+"), converts it with strtof's rounding. On return p
// points after everything the call consumed, also on a matching failure.
ScanStatus scanFloat(const char*& p, const char* last, float& value);

// fscanf(f, "%d", &v): white space, optional sign, decimal digits. Values
// outside 32 bits set overflow (glibc would silently wrap them).
ScanStatus scanInt(const char*& p, const char* last, int32_t& value, bool& overflow);

namespace detail {

inline constexpr double kExactPowersOfTen[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Bytes of an 8-byte word (the first byte in the lowest bits) that are not
// decimal digits: the high bit of each such byte is set. No carry or borrow
// crosses a byte.
inline uint64_t nonDigitBytes(uint64_t x) {
    constexpr uint64_t high = 0x8080808080808080u;
    const uint64_t atLeast0 = ((x | high) - 0x3030303030303030u) & high;
    const uint64_t above9 = ((x & ~high) + 0x4646464646464646u) & high;
    return ~(atLeast0 & ~above9 & ~x) & high;
}

// The number that eight digit bytes spell, the first byte the most significant.
inline uint64_t eightDigitsValue(uint64_t x) {
    uint64_t v = x - 0x3030303030303030u;
    v = v * 10 + (v >> 8);
    return (((v & 0x000000FF000000FFu) * (100 + (uint64_t{1000000} << 32))) +
            (((v >> 16) & 0x000000FF000000FFu) * (1 + (uint64_t{10000} << 32)))) >>
           32;
}

// The fixed layouts of "%e" and "%f" with six decimals and one or two digits
// before the point ("3.233174e-03", "0.247496", "24.893759"), when at least 16 bytes can be
// read at p: the point and the digits are tested and read as one 8-byte word. Sets the digits (as an integer) and the decimal exponent and
// returns the end of the number; nullptr for any other text, which the
// general scan then reads.
inline const char* fixedDecimal(const char* p, uint64_t& digits, std::ptrdiff_t& exponent) {
    if constexpr (std::endian::native != std::endian::little) return nullptr;
    uint64_t w, e;
    std::memcpy(&w, p, 8);
    std::memcpy(&e, p + 8, 8);
    if (((w >> 8) & 0xFF) != '.') {
        // "24.893759": two digits, the point, six decimals, no exponent.
        if (((w >> 16) & 0xFF) != '.') return nullptr;
        uint64_t decimals;
        std::memcpy(&decimals, p + 3, 8);
        const uint64_t x = (w & 0xFFFF) | (decimals << 16);
        const uint64_t after = static_cast<unsigned char>(p[9]);
        if (nonDigitBytes(x) || after - '0' < 10 || (after | 0x20) == 'e') return nullptr;
        digits = eightDigitsValue(x);
        exponent = -6;
        return p + 9;
    }
    const uint64_t x = (w & ~uint64_t{0xFF00}) | 0x3000; // the point read as a zero
    if (nonDigitBytes(x)) return nullptr;
    const uint64_t after = e & 0xFF;
    if (after - '0' < 10) return nullptr; // more decimals
    // The lead digit stands 10^7 high with the zero in the point's place.
    digits = eightDigitsValue(x) - ((w & 0xFF) - '0') * 9000000;
    if ((after | 0x20) != 'e') {
        exponent = -6;
        return p + 8;
    }
    const uint64_t sign = (e >> 8) & 0xFF, d1 = ((e >> 16) & 0xFF) - '0', d2 = ((e >> 24) & 0xFF) - '0',
                   next = ((e >> 32) & 0xFF) - '0';
    if ((sign != '+' && sign != '-') || d1 > 9 || d2 > 9 || next < 10) return nullptr;
    const auto magnitude = static_cast<std::ptrdiff_t>(d1 * 10 + d2);
    exponent = (sign == '-' ? -magnitude : magnitude) - 6;
    return p + 12;
}

// A short decimal number: an optional minus, digits with at most one point
// (at least one digit in all, at most 19 so that they fit in 64 bits), and
// an optional exponent with at least one digit. `value` receives its
// correctly rounded double when one IEEE operation gives it exactly: the
// digits fit in 53 bits and the decimal exponent lies within ±22, so that
// both operands are exact doubles and the operation rounds once. Returns
// the end of the number, or nullptr for any other text or value.
inline const char* exactShortDecimal(const char* p, const char* last, double& value) {
    const bool negative = p != last && *p == '-';
    if (negative) ++p;
    uint64_t digits = 0;
    if (last - p >= 16) {
        std::ptrdiff_t exponent;
        if (const char* end = fixedDecimal(p, digits, exponent)) {
            if (exponent < -22 || exponent > 22) return nullptr;
            double v = static_cast<double>(digits);
            v = exponent < 0 ? v / kExactPowersOfTen[-exponent] : v * kExactPowersOfTen[exponent];
            value = negative ? -v : v;
            return end;
        }
        digits = 0;
    }
    const char* start = p;
    while (p != last && static_cast<unsigned char>(*p - '0') < 10)
        digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
    std::ptrdiff_t count = p - start, fraction = 0;
    if (p != last && *p == '.') {
        const char* point = ++p;
        while (p != last && static_cast<unsigned char>(*p - '0') < 10)
            digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
        fraction = p - point;
        count += fraction;
    }
    if (count == 0 || count > 19) return nullptr;
    std::ptrdiff_t exponent = 0;
    if (p != last && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        const bool down = q != last && *q == '-';
        if (q != last && (*q == '-' || *q == '+')) ++q;
        // "1e" or "1e+": the number ends before the "e"; left to the full conversion.
        if (q == last || static_cast<unsigned char>(*q - '0') >= 10) return nullptr;
        while (q != last && static_cast<unsigned char>(*q - '0') < 10) {
            if (exponent < 10000) exponent = exponent * 10 + (*q - '0');
            ++q;
        }
        if (down) exponent = -exponent;
        p = q;
    }
    exponent -= fraction;
    if (digits > (uint64_t{1} << 53) || exponent < -22 || exponent > 22) return nullptr;
    double v = static_cast<double>(digits);
    v = exponent < 0 ? v / kExactPowersOfTen[-exponent] : v * kExactPowersOfTen[exponent];
    value = negative ? -v : v;
    return p;
}

} // namespace detail

// The short decimal numbers that the common writers produce ("0.247496",
// "-1.234567e+00"), converted without the general algorithm: at p (no white
// space before it) an optional minus, digits with at most one point, an
// optional exponent (no hexadecimal form: "0x1" is the number "0", as for
// std::from_chars). When the number is one whose correctly rounded value
// the fast way gives exactly, sets `value` (what strtod, and
// std::from_chars, give for it) and returns the end of the number;
// otherwise returns nullptr and the caller converts it the general way.
inline const char* parseShortDecimal(const char* p, const char* last, double& value) {
    return detail::exactShortDecimal(p, last, value);
}

// The same for a float, with the value strtof gives: the double of the
// number rounded to float. Rounding twice differs from rounding once only
// when the double falls exactly halfway between two floats (no float
// midpoint can lie strictly between the number and its nearest double), so
// such values, and those outside the normal float range, are declined.
inline const char* parseShortDecimal(const char* p, const char* last, float& value) {
    double d;
    const char* end = detail::exactShortDecimal(p, last, d);
    if (!end) return nullptr;
    const double magnitude = d < 0 ? -d : d;
    if (magnitude == 0) {
        value = static_cast<float>(d);
        return end;
    }
    if (!(magnitude >= static_cast<double>(std::numeric_limits<float>::min()) &&
          magnitude <= static_cast<double>(std::numeric_limits<float>::max())))
        return nullptr;
    // The 29 bits that a double carries beyond a float's 24: exactly one
    // half of a float's last place is a midpoint.
    if ((std::bit_cast<uint64_t>(d) & ((uint64_t{1} << 29) - 1)) == (uint64_t{1} << 28)) return nullptr;
    value = static_cast<float>(d);
    return end;
}

// isspace() of the C locale: blank, \t, \n, \v, \f, \r.
inline bool isCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// "%e" with six decimals as printf writes it ("3.233174e-03",
// "-1.234567e+00"), the way grid writers put out their values, followed by
// a white-space byte, when at least 18 bytes can be read at p: sets `value`
// to the float strtof gives for the number and returns its end (the white
// space). nullptr for any other text, and for the values that
// parseShortDecimal declines, which the caller converts the general way.
// The same conversion as parseShortDecimal's, in one straight run: the
// layout is checked as two 8-byte words, and every such number with an
// exponent the fast way takes lies well inside the normal float range.
inline const char* scientificSixDecimals(const char* p, const char* last, float& value) {
    if constexpr (std::endian::native != std::endian::little) return nullptr;
    if (last - p < 18) return nullptr;
    const bool negative = *p == '-';
    const char* s = p + negative;
    uint64_t w, e;
    std::memcpy(&w, s, 8);
    std::memcpy(&e, s + 8, 8);
    const uint64_t x = (w & ~uint64_t{0xFF00}) | 0x3000; // the point read as a zero
    const uint64_t sign = (e >> 8) & 0xFF, d1 = ((e >> 16) & 0xFF) - '0', d2 = ((e >> 24) & 0xFF) - '0';
    const char after = static_cast<char>(e >> 32);
    const bool layout = ((w >> 8) & 0xFF) == '.' && !detail::nonDigitBytes(x) && (e & 0xDF) == 'E' &&
                        (sign == '+' || sign == '-') && (d1 | d2) < 10 && isCSpace(after);
    if (!layout) return nullptr;
    const auto magnitude = static_cast<std::ptrdiff_t>(d1 * 10 + d2);
    const std::ptrdiff_t exponent = (sign == '-' ? -magnitude : magnitude) - 6;
    if (exponent < -22 || exponent > 22) return nullptr;
    // At most eight digits and 10^±22: between 1e-22 and 1e30 or zero.
    double d = static_cast<double>(detail::eightDigitsValue(x) - ((w & 0xFF) - '0') * 9000000);
    d = exponent < 0 ? d / detail::kExactPowersOfTen[-exponent] : d * detail::kExactPowersOfTen[exponent];
    if ((std::bit_cast<uint64_t>(d) & ((uint64_t{1} << 29) - 1)) == (uint64_t{1} << 28)) return nullptr;
    value = static_cast<float>(negative ? -d : d);
    return s + 12;
}

} // namespace quorax
