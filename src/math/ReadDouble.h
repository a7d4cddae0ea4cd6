#pragma once

#include <string_view>

// Decimal text to the nearest double, the reverse of shortestDouble. Integer
// arithmetic only (with one exact floating-point step for short decimals), so
// every platform reads the same bits.

namespace zm::cr {

// Reads the whole of text, a decimal "[+|-]digits[.digits][e|E[+|-]digits]"
// with at least one digit before the exponent (".5" and "5." are numbers), as
// the double nearest to it, ties to the even one. A decimal beyond the largest
// double reads as an infinity, one below half the smallest as zero, each with
// its sign. False, with out untouched, when the text is anything else
// (blanks, hex, "nan", "inf", an empty exponent).
bool readDouble(std::string_view text, double& out);

} // namespace zm::cr
