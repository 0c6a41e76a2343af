#include "number_scan.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <system_error>

namespace quorax {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// True when [p, last) starts with the lower-case word w, ignoring case.
bool startsWithWord(const char* p, const char* last, const char* w) {
    for (; *w; ++w, ++p)
        if (p == last || lower(*p) != *w) return false;
    return true;
}

// Converts a token that is known to be a complete number for strtod/strtof
// (sign included). Plain decimal tokens go through std::from_chars, which is
// correctly rounded exactly like glibc's strtod/strtof; everything else
// (hexadecimal, inf, nan, out of range) through the C library on a copy.
template <class T> T convertToken(const char* first, const char* last) {
    const char* digits = first;
    bool negative = false;
    if (digits != last && (*digits == '+' || *digits == '-')) {
        negative = *digits == '-';
        ++digits;
    }
    bool plainDecimal = digits != last && (isDigit(*digits) || *digits == '.');
    if (plainDecimal && last - digits >= 2 && digits[0] == '0' && lower(digits[1]) == 'x')
        plainDecimal = false;
    if (plainDecimal) {
        T v{};
        if (parseShortDecimal(digits, last, v) == last) return negative ? -v : v;
        auto r = std::from_chars(digits, last, v, std::chars_format::general);
        if (r.ec == std::errc() && r.ptr == last) return negative ? -v : v;
    }
    const std::string copy(first, last);
    if constexpr (sizeof(T) == sizeof(float))
        return std::strtof(copy.c_str(), nullptr);
    else
        return std::strtod(copy.c_str(), nullptr);
}

// Length of the prefix of [p, last) that strtod accepts, p just after the
// white space; 0 when there is no number.
std::ptrdiff_t strtodPrefix(const char* p, const char* last) {
    const char* s = p;
    if (s != last && (*s == '+' || *s == '-')) ++s;
    if (s == last) return 0;
    if (lower(*s) == 'i') {
        if (!startsWithWord(s, last, "inf")) return 0;
        s += 3;
        if (startsWithWord(s, last, "inity")) s += 5;
        return s - p;
    }
    if (lower(*s) == 'n') {
        if (!startsWithWord(s, last, "nan")) return 0;
        s += 3;
        if (s != last && *s == '(') {
            const char* q = s + 1;
            while (q != last && (isDigit(*q) || (lower(*q) >= 'a' && lower(*q) <= 'z') || *q == '_'))
                ++q;
            if (q != last && *q == ')') s = q + 1;
        }
        return s - p;
    }
    if (*s == '0' && last - s >= 2 && lower(s[1]) == 'x') {
        const char* q = s + 2;
        bool hexDigits = false;
        while (q != last && isHexDigit(*q)) ++q, hexDigits = true;
        if (q != last && *q == '.') {
            ++q;
            while (q != last && isHexDigit(*q)) ++q, hexDigits = true;
        }
        if (!hexDigits) return (s + 1) - p; // just the "0"
        if (q != last && lower(*q) == 'p') {
            const char* e = q + 1;
            if (e != last && (*e == '+' || *e == '-')) ++e;
            if (e != last && isDigit(*e)) {
                while (e != last && isDigit(*e)) ++e;
                q = e;
            }
        }
        return q - p;
    }
    bool anyDigit = false;
    while (s != last && isDigit(*s)) ++s, anyDigit = true;
    if (s != last && *s == '.') {
        ++s;
        while (s != last && isDigit(*s)) ++s, anyDigit = true;
    }
    if (!anyDigit) return 0;
    if (s != last && lower(*s) == 'e') {
        const char* e = s + 1;
        if (e != last && (*e == '+' || *e == '-')) ++e;
        if (e != last && isDigit(*e)) {
            while (e != last && isDigit(*e)) ++e;
            s = e;
        }
    }
    return s - p;
}

} // namespace

double parseAtof(const char* first, const char* last, std::ptrdiff_t* consumed) {
    const char* p = first;
    while (p != last && isCSpace(*p)) ++p;
    // The common case, a token that is one plain decimal number to its end
    // ("0.247496", "-1e-3"): strtod would take all of it too, and
    // std::from_chars rounds as strtod does (the short decimals of the
    // common writers take a faster exact way).
    if (p != last && (isDigit(*p) || *p == '.' || (*p == '-' && last - p > 1 && (isDigit(p[1]) || p[1] == '.')))) {
        double v;
        if (parseShortDecimal(p, last, v) == last) {
            if (consumed) *consumed = last - first;
            return v;
        }
        const auto r = std::from_chars(p, last, v, std::chars_format::general);
        if (r.ec == std::errc() && r.ptr == last) {
            if (consumed) *consumed = last - first;
            return v;
        }
    }
    const std::ptrdiff_t n = strtodPrefix(p, last);
    if (consumed) *consumed = n == 0 ? 0 : (p - first) + n;
    if (n == 0) return 0.0;
    return convertToken<double>(p, p + n);
}

IntParse parseAtoi(const char* first, const char* last) {
    IntParse r;
    const char* p = first;
    while (p != last && isCSpace(*p)) ++p;
    bool negative = false;
    if (p != last && (*p == '+' || *p == '-')) negative = *p++ == '-';
    int64_t v = 0;
    for (; p != last && isDigit(*p); ++p) {
        r.digits = true;
        if (v <= (int64_t{1} << 32)) v = v * 10 + (*p - '0');
    }
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) {
        r.overflow = true;
        return r;
    }
    r.value = r.digits ? static_cast<int32_t>(v) : 0;
    return r;
}

ScanStatus scanFloat(const char*& p, const char* last, float& value) {
    while (p != last && isCSpace(*p)) ++p;
    if (p == last) return ScanStatus::End;
    const char* start = p;
    bool gotSign = false;
    if (*p == '+' || *p == '-') {
        gotSign = true;
        if (++p == last) return ScanStatus::NoMatch;
    }
    // glibc takes "nan" and "inf"/"infinity" as whole words; a partial word
    // is consumed and fails, together with the first character that does
    // not fit the word (glibc has read it and does not put it back).
    const auto word = [&](const char* w) {
        for (; *w; ++w, ++p) {
            if (p == last) return false;
            if (lower(*p) != *w) {
                ++p;
                return false;
            }
        }
        return true;
    };
    if (lower(*p) == 'n') {
        if (!word("nan")) return ScanStatus::NoMatch;
        value = convertToken<float>(start, p);
        return ScanStatus::Ok;
    }
    if (lower(*p) == 'i') {
        if (!word("inf")) return ScanStatus::NoMatch;
        if (p != last && lower(*p) == 'i' && !word("inity")) return ScanStatus::NoMatch;
        value = convertToken<float>(start, p);
        return ScanStatus::Ok;
    }
    bool hex = false;
    bool gotDigit = false, gotDot = false, gotE = false;
    if (*p == '0' && last - p >= 2 && lower(p[1]) == 'x') {
        hex = true;
        p += 2;
    }
    const char expChar = hex ? 'p' : 'e';
    while (p != last) {
        const char c = *p;
        if (isDigit(c)) {
            gotDigit = true;
        } else if (!gotE && hex && isHexDigit(c)) {
            gotDigit = true;
        } else if (gotE && lower(p[-1]) == expChar && (c == '-' || c == '+')) {
        } else if (gotDigit && !gotE && lower(c) == expChar) {
            gotE = gotDot = true;
        } else if (!gotDot && c == '.') {
            gotDot = true;
        } else {
            break;
        }
        ++p;
    }
    const std::ptrdiff_t size = p - start;
    if (size == (gotSign ? 1 : 0) || (hex && size == 2 + (gotSign ? 1 : 0)))
        return ScanStatus::NoMatch;
    // The scanned run may end in an incomplete exponent ("1e+"); strtof uses
    // its longest valid prefix, and fails only when that prefix is empty.
    const std::ptrdiff_t used = strtodPrefix(start, p);
    if (used == 0) return ScanStatus::NoMatch;
    value = convertToken<float>(start, start + used);
    return ScanStatus::Ok;
}

ScanStatus scanInt(const char*& p, const char* last, int32_t& value, bool& overflow) {
    overflow = false;
    while (p != last && isCSpace(*p)) ++p;
    if (p == last) return ScanStatus::End;
    const char* start = p;
    if (*p == '+' || *p == '-') ++p;
    const char* digits = p;
    while (p != last && isDigit(*p)) ++p;
    if (p == digits) return ScanStatus::NoMatch;
    const IntParse r = parseAtoi(start, p);
    overflow = r.overflow;
    value = r.value;
    return ScanStatus::Ok;
}

} // namespace quorax
