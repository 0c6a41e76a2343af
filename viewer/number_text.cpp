#include "number_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "number_scan.h"

namespace quorax {

bool parseDecimalText(std::string_view text, double& value) {
    std::size_t i = 0, n = text.size();
    while (i < n && text[i] == ' ') ++i;
    while (n > i && text[n - 1] == ' ') --n;
    std::string normal;
    if (i < n && (text[i] == '+' || text[i] == '-')) normal += text[i++];
    bool digits = false, separator = false;
    for (; i < n && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == ',' || text[i] == '.'); ++i) {
        if (text[i] == ',' || text[i] == '.') {
            if (separator) return false; // a second separator: digit grouping
            separator = true;
            normal += '.';
        } else {
            digits = true;
            normal += text[i];
        }
    }
    if (!digits) return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        normal += 'e';
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) normal += text[i++];
        bool expDigits = false;
        for (; i < n && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
            normal += text[i];
            expDigits = true;
        }
        if (!expDigits) return false;
    }
    if (i != n) return false;
    value = parseAtof(normal.data(), normal.data() + normal.size());
    return std::isfinite(value);
}

bool parseIntegerText(std::string_view text, int& value) {
    std::size_t i = 0, n = text.size();
    while (i < n && text[i] == ' ') ++i;
    while (n > i && text[n - 1] == ' ') --n;
    const std::size_t start = i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    if (i == n) return false;
    for (std::size_t k = i; k < n; ++k)
        if (!std::isdigit(static_cast<unsigned char>(text[k]))) return false;
    const IntParse r = parseAtoi(text.data() + start, text.data() + n);
    if (!r.digits || r.overflow) return false;
    value = r.value;
    return true;
}

double decimalOrThrow(const std::string& text) {
    double v = 0;
    if (!parseDecimalText(text, v)) throw ConversionError("'" + text + "' is not a valid floating point value");
    return v;
}

int integerOrThrow(const std::string& text) {
    int v = 0;
    if (!parseIntegerText(text, v)) throw ConversionError("'" + text + "' is not a valid integer value");
    return v;
}

std::string formatGeneral(double value, char decimalPoint) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0) return "0";
    // 15 significant digits: d.dddddddddddddde±x
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", value);
    std::string s = buf;
    const std::size_t e = s.find('e');
    const int exponent = std::atoi(s.c_str() + e + 1);
    std::string mantissa = s.substr(0, e);
    const bool negative = mantissa[0] == '-';
    if (negative) mantissa.erase(0, 1);
    std::string digits = mantissa.substr(0, 1) + mantissa.substr(2); // without the point
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out = negative ? "-" : "";
    if (exponent >= -5 && exponent < 15) {
        if (exponent < 0) {
            out += '0';
            out += decimalPoint;
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out += digits;
        } else {
            const std::size_t intDigits = static_cast<std::size_t>(exponent) + 1;
            if (digits.size() <= intDigits) {
                out += digits;
                out.append(intDigits - digits.size(), '0');
            } else {
                out += digits.substr(0, intDigits);
                out += decimalPoint;
                out += digits.substr(intDigits);
            }
        }
        return out;
    }
    out += digits[0];
    if (digits.size() > 1) {
        out += decimalPoint;
        out += digits.substr(1);
    }
    out += 'E';
    out += std::to_string(exponent);
    return out;
}

} // namespace quorax
