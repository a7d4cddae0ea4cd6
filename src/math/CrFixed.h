#pragma once

// The fixed-point arithmetic shared by the correctly rounded functions' files:
// the exact values with 352 fraction bits, their conversions from and to
// doubles, sin, cos and atan in fixed point, the exact reduction by pi/2 and
// the slow paths (CrFixed.cpp). Internal to src/math.

#include <cstdint>
#include <cstring>

namespace zm::cr::detail {

using u32 = std::uint32_t;
using u64 = std::uint64_t;

// ---------------------------------------------------------------------------
// Fixed point: 12 words of 32 bits, least significant first; the last word is
// the integer part, the others 352 fraction bits. Values are never negative.

constexpr int words = 12;
constexpr int fracBits = 32 * (words - 1);

struct Fixed {
    u32 w[words];
};

#include "math/CrTables.inc"

inline u64 bitsOf(double x) {
    u64 b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

inline double fromBits(u64 b) {
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

Fixed fixedInt(u32 v);
bool isZero(const Fixed& a);
int compare(const Fixed& a, const Fixed& b);
Fixed add(const Fixed& a, const Fixed& b);
// a - b for a >= b.
Fixed sub(const Fixed& a, const Fixed& b);
// The product truncated to 352 fraction bits.
Fixed mul(const Fixed& a, const Fixed& b);

// A finite double 0 <= x < 2^32 in fixed point; bits below 2^-352 are dropped.
Fixed fromDouble(double x);
// a > 0 rounded to the nearest double, ties to even.
double toDouble(const Fixed& a);
// A double-double hi + lo for 0 <= v < 2^32, hi nearest v, lo nearest the rest.
void toPair(const Fixed& v, double& hi, double& lo);

// sin r and cos r for 0 <= r <= 1, atan w for 0 <= w <= 1, within 2^-342.
Fixed sinFixed(const Fixed& r);
Fixed cosFixed(const Fixed& r);
Fixed atanFixed(const Fixed& w);

// |x| = n pi/2 + (neg ? -r : r) with 0 <= r <= pi/4 (n taken mod 4).
struct Reduced {
    int n;
    bool neg;
    Fixed r;
};

// The exact reduction of a finite |x| >= 1/2 by pi/2.
Reduced reduceExact(double ax);

// The slow paths: sin x or cos x, and atan x, rounded from fixed point.
double sinCosSlow(double x, bool wantCos);
double atanSlow(double x);

} // namespace zm::cr::detail
