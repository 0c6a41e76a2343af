// The number conversions must give exactly what the C library gives (atof,
// atoi, fscanf "%f" and "%d"), so they are checked against the C library
// itself on tricky tokens and on many random strings.
#include "number_scan.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace quorax;

namespace {

template <class T> bool sameBits(T a, T b) {
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

int statusToC(ScanStatus s) {
    return s == ScanStatus::Ok ? 1 : s == ScanStatus::NoMatch ? 0 : EOF;
}

// Compares every conversion on `s` with the C library; returns "" or a
// description of the first differences.
std::string compareWithC(const std::string& s) {
    std::string diff;
    auto note = [&](const std::string& what) { diff += " " + what; };
    const char* first = s.data();
    const char* last = first + s.size();
    const char* c = s.c_str();

    // atof, and strtod for how far it reads.
    char* end = nullptr;
    const double ref = std::atof(c);
    std::strtod(c, &end);
    const long refUsed = end - c;
    std::ptrdiff_t used = -2;
    const double got = parseAtof(first, last, &used);
    if (!sameBits(got, ref)) note("atof value");
    if (used != refUsed)
        note("atof consumed " + std::to_string(used) + " vs " + std::to_string(refUsed));

    // atoi where the value fits (glibc's atoi is undefined beyond).
    const long wide = std::strtol(c, &end, 10);
    const IntParse ip = parseAtoi(first, last);
    if (wide >= INT_MIN && wide <= INT_MAX) {
        if (ip.overflow || ip.value != std::atoi(c) || ip.digits != (end != c)) note("atoi");
    } else if (!ip.overflow) {
        note("atoi overflow not flagged");
    }

    // fscanf "%f" and "%d": up to four conversions in a row on one stream,
    // so that what one call consumes decides where the next one starts.
    for (int isInt = 0; isInt < 2; ++isInt) {
        std::string buf = s.empty() ? std::string(1, '\0') : s;
        FILE* f = fmemopen(buf.data(), s.empty() ? 1 : s.size(), "r");
        if (s.empty()) std::fgetc(f); // an empty stream
        const char* p = first;
        for (int call = 0; call < 4; ++call) {
            float fv = 0, gotF = 0;
            int iv = 0;
            int32_t gotI = 0;
            bool overflow = false;
            const int ret = isInt ? std::fscanf(f, "%d", &iv) : std::fscanf(f, "%f", &fv);
            const ScanStatus st =
                isInt ? scanInt(p, last, gotI, overflow) : scanFloat(p, last, gotF);
            const std::string what =
                std::string(isInt ? "%d" : "%f") + " call " + std::to_string(call);
            if (statusToC(st) != ret) {
                note(what + " returned " + std::to_string(statusToC(st)) + " vs " +
                     std::to_string(ret));
                break;
            }
            if (ret == 1 && !isInt && !sameBits(gotF, fv)) note(what + " value");
            if (ret == 1 && isInt && !overflow && gotI != iv) note(what + " value");
            if (ret == 1 || !isInt) { // where "%d" stops after a failure is not promised
                const long pos = s.empty() ? 0 : std::ftell(f);
                if (p - first != pos)
                    note(what + " consumed " + std::to_string(p - first) + " vs " +
                         std::to_string(pos));
            }
            if (ret != 1) break;
        }
        std::fclose(f);
    }
    return diff;
}

std::string visible(const std::string& s) {
    std::string out;
    for (char ch : s)
        out += ch == '\n' ? "\\n" : ch == '\t' ? "\\t" : std::string(1, ch);
    return s.size() > 60 ? out.substr(0, 60) + "…(" + std::to_string(s.size()) + ")" : out;
}

void expectAllMatchC(const std::vector<std::string>& tokens) {
    int failures = 0;
    for (const std::string& t : tokens) {
        const std::string d = compareWithC(t);
        if (!d.empty() && ++failures <= 25) ADD_FAILURE() << "\"" << visible(t) << "\":" << d;
    }
    EXPECT_EQ(failures, 0) << "of " << tokens.size() << " tokens";
}

} // namespace

TEST(NumberScan, TrickyTokensMatchTheCLibrary) {
    const std::string zeros800(800, '0');
    // clang-format off
    std::vector<std::string> base = {
        "", " ", "\t\n ", "0", "-0", "+0", "-0.0", "00012", "-00012", "+1", "-1", "+-1", "-+1",
        "+", "-", ".", "-.", "+.", "..1", "1.", ".5", "-.5", "1.2.3", "1e", "1e+", "1e-", "1e+x",
        "1ex", "1E5", "1E5e5", "1e5.5", "1e-5", ".e5", "e5", "0e", "0e0", "0x1p3", "0X1P-3",
        "-0x1.8p1", "0x", "0x.", "0xg", "0x1p", "0x1p+", "0x1p-x", "-0x", "+0x", "-0xg", "0x.8",
        "0xep", "0xe+1", "0x1e+", "0x1P3e", "0x0", "00x1", "inf", "-inf", "+INF", "Inf",
        "infinity", "-Infinity", "infin", "infinit", "infinityy", "infx", "in", "i", "-i", "nan",
        "-nan", "NaN", "nan(abc)", "nan()", "nan(", "nan(a b)", "nan(_1)", "na", "nanx", "n", "-n",
        "1e39", "-1e39", "1e400", "-1e400", "1e-50", "-1e-50", "1e-40", "-1e-40", "1e-39",
        "1.4e-45", "7e-46", "7.1e-46", "3.4028235e38", "3.4028236e38", "3.40282357e38",
        "3.4028234664e38", "16777217", "16777216.5", "16777218", "16777219", "0.1", "0.3", "2.5",
        "1e308", "1.8e308", "4.9e-324", "2.4e-324", "1e-400", "123456789012", "2147483647",
        "2147483648", "-2147483648", "-2147483649", "99999999999999999999", "1 2", "1\n2 3", "1,5",
        "1_000", "1e1 2e2 x", "- 1", "+ 1", "\v\f\r7",
        // long digit strings
        std::string(800, '9'), "0." + zeros800 + "1", "1" + zeros800 + "e-800",
        "1e" + zeros800 + "1", "." + std::string(800, '3'), std::string(800, '1') + "e-790",
        // float midpoint 1 + 2^-24 (ties to even), then just above and below it
        "1.000000059604644775390625", "1.000000059604644775390625" + zeros800 + "1",
        "1.0000000596046447753906249999", "1.0000000596046447753906251",
        // double midpoint 1 + 2^-53
        "1.00000000000000011102230246251565404236316680908203125",
        "1.00000000000000011102230246251565404236316680908203125" + zeros800 + "1",
        "9007199254740993", "9007199254740993." + zeros800 + "1",
        // half the smallest float denormal, exactly (ties to 0) and just above
        "7.00649232162408535461864791644958065640130970938257885878534141944895541342930300743"
        "319094181060791015625e-46",
        "7.00649232162408535461864791644958065640130970938257885878534141944895541342930300743"
        "319094181060791015625" + zeros800 + "1e-46",
    };
    // clang-format on
    std::vector<std::string> tokens;
    for (const std::string& t : base) {
        tokens.push_back(t);
        tokens.push_back(" \t\n" + t);
        tokens.push_back(t + " 9");
        tokens.push_back(t + "x");
    }
    expectAllMatchC(tokens);
}

TEST(NumberScan, RandomStringsMatchTheCLibrary) {
    const std::string alphabet = "0123456789+-.eExXpPinfaty() \t\n";
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> len(0, 10), pick(0, static_cast<int>(alphabet.size()) - 1);
    std::vector<std::string> tokens;
    for (int n = 0; n < 200000; ++n) {
        std::string s(static_cast<std::size_t>(len(rng)), ' ');
        for (char& ch : s)
            ch = alphabet[static_cast<std::size_t>(pick(rng))];
        tokens.push_back(std::move(s));
    }
    expectAllMatchC(tokens);
}

TEST(NumberScan, StopsAtTheEndOfTheRange) {
    // The range ends inside "12345": only "12" may be read, whatever follows.
    const char* text = "12345";
    std::ptrdiff_t used = 0;
    EXPECT_EQ(parseAtof(text, text + 2, &used), 12.0);
    EXPECT_EQ(used, 2);
    EXPECT_EQ(parseAtoi(text, text + 2).value, 12);
    float f = 0;
    const char* p = text;
    EXPECT_EQ(scanFloat(p, text + 2, f), ScanStatus::Ok);
    EXPECT_EQ(p, text + 2);
    // Beyond 32 bits, where glibc's "%d" would wrap silently, overflow is flagged.
    int32_t i = 0;
    bool overflow = false;
    p = "99999999999";
    EXPECT_EQ(scanInt(p, p + 11, i, overflow), ScanStatus::Ok);
    EXPECT_TRUE(overflow);
}
