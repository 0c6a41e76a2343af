// Number conversions that give exactly the results of the C library calls the
// file formats were defined with (atof, atoi, fscanf "%f" and "%d" of glibc),
// but work on a byte range in memory: no NUL terminator, no stdio call per
// character, no fixed-size token buffer.
#pragma once

#include <cstdint>

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

// isspace() of the C locale: blank, \t, \n, \v, \f, \r.
inline bool isCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

} // namespace quorax
