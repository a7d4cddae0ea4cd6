#include "math/ShortestFloat.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zm::cr {

std::string shortestDouble(double v) {
    char buf[40];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(buf, sizeof buf, "%.*g", digits, v);
        const bool exponent = std::strchr(buf, 'e') != nullptr && std::fabs(v) < 1e15 && std::fabs(v) >= 1e-4;
        if (!exponent && std::strtod(buf, nullptr) == v) {
            break;
        }
    }
    return buf;
}

} // namespace zm::cr
