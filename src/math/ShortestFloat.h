#pragma once

#include <string>

// The shortest decimal that reads back to the same float, as traces and the
// comma-separated values write coordinates. Integer arithmetic only, so every
// platform writes the same text for the same float.

namespace zm::cr {

// Of the shortest decimals that read back to v, the nearest to v; in plain
// notation unless scientific is shorter ("165.6002", "-75", "1e-05",
// "123456792"); "inf", "nan" with their sign.
std::string shortestFloat(float v);

// The same text written at out, which has room for shortestFloatMaxChars
// characters; returns the end of what was written.
inline constexpr int shortestFloatMaxChars = 15;
char* writeShortestFloat(char* out, float v);

// The shortest decimal that reads back to the same double, in the same forms
// ("0.957453956", "-75", "1e-05", "inf", "nan"), the same on every platform.
std::string shortestDouble(double v);

} // namespace zm::cr
