// The number conversions must give exactly what the C library gives (atof, atoi, fscanf "%f" and "%d"), values and
// consumed bytes, so they are checked against the C library itself on tricky tokens and on random strings.
#include "number_scan.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

using namespace quorax;

namespace {

template <class T> bool sameBits(T a, T b) { // NaNs of the same sign match
    return std::isnan(a) ? std::isnan(b) && std::signbit(a) == std::signbit(b) : std::memcmp(&a, &b, sizeof a) == 0;
}

// Every conversion on `s` against the C library: "" or the differences found.
std::string compareWithC(const std::string& s) {
    std::string diff;
    const char *first = s.data(), *last = first + s.size(), *c = s.c_str();
    char* end = nullptr;
    std::ptrdiff_t used = -2;
    if (!sameBits(parseAtof(first, last, &used), std::atof(c))) diff += " atof value";
    if (std::strtod(c, &end); used != end - c) diff += " atof consumed " + std::to_string(used);
    const long wide = std::strtol(c, &end, 10); // glibc's atoi is undefined beyond 32 bits
    const IntParse ip = parseAtoi(first, last);
    if (wide >= INT_MIN && wide <= INT_MAX ? ip.overflow || ip.value != std::atoi(c) || ip.digits != (end != c)
                                           : !ip.overflow)
        diff += " atoi";
    // Up to four fscanf calls in a row on one stream, so that what one call consumes decides where the next one starts.
    for (int isInt = 0; isInt < 2; ++isInt) {
        std::string buf = s.empty() ? std::string(1, '\0') : s; // fmemopen needs a byte
        FILE* f = fmemopen(buf.data(), buf.size(), "r");
        if (s.empty()) std::fgetc(f); // an empty stream
        const char* p = first;
        for (int call = 0, ret = 1; call < 4 && ret == 1; ++call) {
            float fv = 0, gotF = 0;
            int iv = 0, gotI = 0;
            bool overflow = false;
            ret = isInt ? std::fscanf(f, "%d", &iv) : std::fscanf(f, "%f", &fv);
            const ScanStatus st = isInt ? scanInt(p, last, gotI, overflow) : scanFloat(p, last, gotF);
            const std::string what = (isInt ? " %d#" : " %f#") + std::to_string(call);
            if ((st == ScanStatus::Ok ? 1 : st == ScanStatus::NoMatch ? 0 : EOF) != ret)
                diff += what + " status";
            else if (ret == 1 && (isInt ? !overflow && gotI != iv : !sameBits(gotF, fv)))
                diff += what + " value";
            // Where "%d" stops after a failure is not promised.
            if ((ret == 1 || !isInt) && p - first != (s.empty() ? 0 : std::ftell(f)))
                diff += what + " consumed " + std::to_string(p - first);
        }
        std::fclose(f);
    }
    return diff;
}

} // namespace

TEST(NumberScan, MatchesTheCLibrary) {
    // Tricky tokens: words, hexadecimal forms, range limits, ties, long digit strings; 1 + 2^-24 (a float tie), 1 +
    // 2^-53 (a double tie) and 2^-150 (half the smallest float denormal) exactly and followed by a far-away 1. Each
    // with both signs, leading white space and three tails; short malformed forms are left to the random strings.
    const std::string z800(800, '0'), fTie = "1.000000059604644775390625",
                                      dTie = "1.00000000000000011102230246251565404236316680908203125",
                                      half = "7.006492321624085354618647916449580656401309709382578858785"
                                             "34141944895541342930300743319094181060791015625";
    // clang-format off
    const std::vector<std::string> bodies = {
        "0", "00012", "1.", ".5", "1e-5", "1E5", "1e5.5", "0x1p3", "0X1P-3", "0x1.8p1", "0x.8", "0xep",
        "0x1P3e", "0x1p", "0x1p+", "0xg", "00x1", "inf", "INF", "Infinity", "infin", "infinit",
        "infinityy", "nan", "NaN", "nan(abc)", "nan()", "nan(", "nan(a b)", "nan(_1)", "1e39",
        "1e400", "1e-50", "1e-40", "1e-39", "1.4e-45", "7e-46", "7.1e-46", "3.4028235e38",
        "3.4028236e38", "3.40282357e38", "3.4028234664e38", "16777217", "16777216.5", "16777219",
        "0.1", "1.8e308", "4.9e-324", "2.4e-324", "2147483647", "2147483648", "2147483649",
        "99999999999999999999", "1,5", "1e1 2e2 x", "\v\f\r7", std::string(800, '9'),
        "0." + z800 + "1", "1" + z800 + "e-800", "1e" + z800 + "1", std::string(800, '1') + "e-790",
        fTie, fTie + z800 + "1", "1.0000000596046447753906249999", dTie, dTie + z800 + "1",
        "9007199254740993", "9007199254740993." + z800 + "1", half + "e-46", half + z800 + "1e-46"};
    // clang-format on
    std::vector<std::string> tokens;
    for (const std::string& b : bodies)
        for (const char* sign : {"", "-", "+"})
            for (const std::string& t : {sign + b, std::string(" \t\n") + sign + b})
                for (const char* tail : {"", " 9", "x"}) tokens.push_back(t + tail);
    const std::string alphabet = "0123456789+-.eExXpPinfaty() \t\n";
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<std::size_t> len(0, 10), pick(0, alphabet.size() - 1);
    for (int n = 0; n < 200000; ++n) {
        tokens.emplace_back();
        for (std::size_t k = len(rng); k > 0; --k) tokens.back() += alphabet[pick(rng)];
    }
    int failures = 0;
    for (const std::string& t : tokens) {
        const std::string d = compareWithC(t);
        if (!d.empty() && ++failures <= 25) ADD_FAILURE() << "\"" << t.substr(0, 60) << "\":" << d;
    }
    EXPECT_EQ(failures, 0) << "of " << tokens.size() << " tokens";
}

TEST(NumberScan, StopsAtTheEndOfTheRange) {
    // The range ends inside "12345": only "12" may be read, whatever follows. Beyond
    // 32 bits, where glibc's "%d" would wrap silently, overflow is flagged.
    const char *text = "12345", *big = "99999999999", *p = text;
    std::ptrdiff_t used = 0;
    float f = 0;
    int32_t i = 0;
    bool overflow = false;
    EXPECT_TRUE(parseAtof(text, text + 2, &used) == 12.0 && used == 2);
    EXPECT_EQ(parseAtoi(text, text + 2).value, 12);
    EXPECT_TRUE(scanFloat(p, text + 2, f) == ScanStatus::Ok && p == text + 2);
    EXPECT_TRUE(scanInt(p = big, big + 11, i, overflow) == ScanStatus::Ok && overflow);
}

namespace {

// parseShortDecimal and scientificSixDecimals on s against strtod and strtof:
// "" or the differences. Where they decline, nothing is checked; `taken`
// counts where parseShortDecimal did not, `scientific` where the other did not.
std::string compareShortDecimal(const std::string& s, int& taken, int& scientific) {
    std::string diff;
    const char *first = s.data(), *last = first + s.size();
    char* end = nullptr;
    double d = 0;
    if (const char* e = parseShortDecimal(first, last, d)) {
        ++taken;
        const double c = std::strtod(s.c_str(), &end);
        if (!sameBits(d, c)) diff += " double value";
        if (e - first != end - s.c_str()) diff += " double end";
    }
    float f = 0;
    if (const char* e = parseShortDecimal(first, last, f)) {
        const float c = std::strtof(s.c_str(), &end);
        if (!sameBits(f, c)) diff += " float value";
        if (e - first != end - s.c_str()) diff += " float end";
    }
    if (const char* e = scientificSixDecimals(first, last, f)) {
        ++scientific;
        const float c = std::strtof(s.c_str(), &end);
        if (!sameBits(f, c)) diff += " %e value";
        if (e - first != end - s.c_str()) diff += " %e end";
    }
    return diff;
}

} // namespace

TEST(NumberScan, ShortDecimalsRoundAsTheCLibrary) {
    // The writers' forms ("%f", "%12.6e", "%g") of random values and random digit strings with a point and an exponent,
    // both signs; then the cases where rounding to double first and to float second could go wrong: decimals next to
    // float midpoints (the midpoint's shortest digits, and that number one unit up or down in its last digit).
    std::mt19937_64 rng(20261207);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> scale(-30, 30), digitCount(1, 21), exponent(-40, 40);
    std::vector<std::string> tokens;
    char buf[128];
    for (int n = 0; n < 100000; ++n) {
        const double v = unit(rng) * std::pow(10.0, scale(rng));
        for (const char* format : {"%f", "%.6e", "%12.6e", "%g", "%.9g", "%.17g"}) {
            std::snprintf(buf, sizeof buf, format, v);
            tokens.emplace_back(buf + std::strspn(buf, " "));
        }
        std::string s = n % 2 ? "-" : "";
        const int count = digitCount(rng), point = static_cast<int>(rng() % (count + 1));
        for (int k = 0; k < count; ++k) {
            if (k == point) s += '.';
            s += static_cast<char>('0' + rng() % 10);
        }
        if (n % 3) {
            s += n % 5 ? 'e' : 'E';
            s += std::to_string(exponent(rng));
        }
        tokens.push_back(s);
        // A float midpoint (a double) and its decimal neighbours.
        float f;
        do f = std::bit_cast<float>(static_cast<uint32_t>(rng())); while (!std::isnormal(f) || f == FLT_MAX);
        const double mid = (static_cast<double>(f) + static_cast<double>(std::nextafter(f, INFINITY))) / 2;
        for (int digits = 7; digits <= 17; ++digits) {
            std::snprintf(buf, sizeof buf, "%.*e", digits - 1, mid);
            tokens.emplace_back(buf);
            std::string up = buf, down = buf;
            const std::size_t lastDigit = up.find('e') - 1;
            if (up[lastDigit] < '9') ++up[lastDigit], tokens.push_back(up);
            if (down[lastDigit] > '0') --down[lastDigit], tokens.push_back(down);
        }
    }
    // Declined or cut short: no digits, an exponent without digits, a plus, 20 digits,
    // exponents out of the exact range, a float midpoint that is exact in a double.
    for (const char* s : {".", "-", "-.", "1e", "1e+", "1.5E-x", "+1", "12345678901234567890", "1e23",
                          "1e-23", "16777217", "2.5.5", "1..5", "inf", "1,5", "7 8"})
        tokens.emplace_back(s);
    int failures = 0, taken = 0;
    // Each token also with more bytes after it, both where it ends the number and where the bytes carry it on: the
    // fixed writers' layouts are read a word at a time when enough bytes follow.
    int tokenTaken = 0, scientific = 0;
    for (const std::string& t : tokens)
        for (const char* after : {"", " 1234567890123456", "5 12345678901234",
                                  "e-3x456789012345", ".5 3456789012345", "\n-1.000000e+00 "}) {
            const std::string s = t + after;
            const std::string d = compareShortDecimal(s, *after ? taken : tokenTaken, scientific);
            if (!d.empty() && ++failures <= 25) ADD_FAILURE() << "\"" << s << "\":" << d;
        }
    EXPECT_EQ(failures, 0) << "of " << tokens.size() << " tokens";
    // The fast ways must be the common ways, not unused branches: the "%e"
    // one takes the two "%e" forms of every round with white space after
    // them, when the exponent lies within ±16.
    EXPECT_GT(tokenTaken, static_cast<int>(tokens.size() / 3));
    EXPECT_GT(scientific, 4 * 100000 / 2);
    double d = 0;
    float f = 0;
    for (const char* s : {"1e", "1e+", "+1", ".", "12345678901234567890", "1e23"})
        EXPECT_EQ(parseShortDecimal(s, s + std::strlen(s), d), nullptr) << s;
    const char* tie = "16777217"; // exactly halfway between two floats: the general way decides
    EXPECT_NE(parseShortDecimal(tie, tie + 8, d), nullptr);
    EXPECT_EQ(parseShortDecimal(tie, tie + 8, f), nullptr);
    const char* apbs = "-1.234567e+00 ";
    EXPECT_TRUE(parseShortDecimal(apbs, apbs + 14, f) == apbs + 13 && f == -1.234567f);
    const char* lines = "3.233174e-03 3.383836e-03\n24.893759 0.247496 -9.000000e+29 1.000000 2.000000";
    const char* end = lines + std::strlen(lines);
    EXPECT_TRUE(parseShortDecimal(lines, end, d) == lines + 12 && d == 3.233174e-03);
    EXPECT_TRUE(parseShortDecimal(lines + 26, end, d) == lines + 35 && d == 24.893759);
    EXPECT_TRUE(parseShortDecimal(lines + 36, end, d) == lines + 44 && d == 0.247496);
    EXPECT_EQ(parseShortDecimal(lines + 45, end, d), nullptr); // 10^23 is not an exact double
}
