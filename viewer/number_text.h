// Numbers typed into the viewer's edits and numbers written to its log.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace quorax {

// The conversion error a handler stops at, with the message the user sees:
// "'<text>' is not a valid floating point value" (or "… integer value").
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A decimal number as typed: optional blanks, optional sign, digits with at
// most one decimal separator, which may be a comma or a point whatever the
// locale ("0,01" and "0.01" alike), an optional exponent. Digit grouping is
// refused: "1,000" is 1 and "1,000.5" is not a number; so are "", "1e",
// "inf" and "0x10". Returns false when the text is not such a number.
bool parseDecimalText(std::string_view text, double& value);
// Optional blanks, optional sign, decimal digits, within 32 bits.
bool parseIntegerText(std::string_view text, int& value);

// parseDecimalText / parseIntegerText that throw ConversionError.
double decimalOrThrow(const std::string& text);
int integerOrThrow(const std::string& text);

// General number format of the log: up to 15 significant digits, no
// trailing zeros, fixed notation from 1E-5 up to 15 integer digits and
// "1.5E20" / "1E-6" style beyond, with `decimalPoint` as separator.
std::string formatGeneral(double value, char decimalPoint = '.');

} // namespace quorax
