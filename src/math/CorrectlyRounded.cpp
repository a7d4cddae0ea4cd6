#include "math/CorrectlyRounded.h"

#include "math/CrFast.h"

#include <limits>

// How the functions work
//
// Each function first evaluates its result as a pair of doubles hi + lo with a
// bound err on the distance to the exact value; the bounds are derived where
// the arithmetic is (CrFast.h). If hi + (lo - err) and hi + (lo + err) round to
// the same double, the exact value rounds to it as well (rounding is
// monotonic), and that is the answer. Otherwise, about once in a few thousand
// arguments, the result is computed again in fixed point with 352 fraction bits
// (CrFixed.cpp), where every step is exact but for truncations near 2^-340. The
// exact value of sin, cos or atan at a nonzero double is transcendental, so it
// is never a midpoint between two doubles, and the arguments whose result comes
// nearest a midpoint need about 2^-(53+70) relative accuracy to be decided: the
// fixed-point result is better than 2^-260 relative, so rounding it is rounding
// the exact value.

namespace zm::cr {

using namespace detail;

namespace {

// The result for a NaN argument: the argument, made quiet, with its payload:
// the same bits on every platform (arithmetic on a NaN may change its sign or
// payload differently on each).
double quieted(double x) {
    return fromBits(bitsOf(x) | (u64{1} << 51));
}

// sin and cos of an infinity: one NaN, the same bits everywhere.
constexpr double invalid = std::numeric_limits<double>::quiet_NaN();

bool isNaN(double x) {
    return x != x;
}

constexpr double inf = std::numeric_limits<double>::infinity();

// sin x = x - x^3/6 + ..., and for |x| < 2^-26 the term x^3/6 is below
// 2^-54.5 |x|, less than half the distance to the next double towards zero:
// the result is x itself (subnormals included).
// cos x = 1 - x^2/2 + ..., below 1 by less than 2^-55 for |x| < 2^-27, nearer
// 1 than the midpoint 1 - 2^-54 to the double below.
[[gnu::always_inline]] inline double sinOrCos(double x, bool wantCos) {
    const double ax = fabsOf(x);
    if (isNaN(x)) {
        return quieted(x);
    }
    if (ax == inf) {
        return invalid;
    }
    if (ax < (wantCos ? 0x1p-27 : 0x1p-26)) {
        return wantCos ? 1.0 : x;
    }
    const detail::Approx a = sinCosFast(x, wantCos ? 1 : 0);
    double out;
    if (decided(a.hi, a.lo, a.err, out)) {
        return out;
    }
    return sinCosSlow(x, wantCos);
}

} // namespace

double sin(double x) {
#ifdef ZM_CR_RECORD
    detail::record(0, x);
#endif
    return sinOrCos(x, false);
}

double cos(double x) {
#ifdef ZM_CR_RECORD
    detail::record(1, x);
#endif
    return sinOrCos(x, true);
}

SinCos sincos(double x) {
#ifdef ZM_CR_RECORD
    detail::record(0, x);
    detail::record(1, x);
#endif
    const double ax = fabsOf(x);
    if (isNaN(x)) {
        return {quieted(x), quieted(x)};
    }
    if (ax == inf) {
        return {invalid, invalid};
    }
    if (ax < 0x1p-26) {
        // The sine is x (see sin); the cosine is 1 below 2^-27.
        if (ax < 0x1p-27) {
            return {x, 1.0};
        }
        const detail::Approx a = sinCosFast(x, 1);
        double out;
        return {x, decided(a.hi, a.lo, a.err, out) ? out : sinCosSlow(x, true)};
    }
    detail::Approx as, ac;
    sinCosFastBoth(x, as, ac);
    SinCos r;
    if (!decided(as.hi, as.lo, as.err, r.sin)) {
        r.sin = sinCosSlow(x, false);
    }
    if (!decided(ac.hi, ac.lo, ac.err, r.cos)) {
        r.cos = sinCosSlow(x, true);
    }
    return r;
}

// atan x = x - x^3/3 + ...: for |x| < 2^-27 the result is x. For |x| >= 2^53,
// pi/2 - atan x lies within 2^-53 of pi/2, whose nearest double pio2Hi is
// 2^-53.9 below it: the result is +-pio2Hi, as it is for the infinities.
double atan(double x) {
#ifdef ZM_CR_RECORD
    detail::record(2, x);
#endif
    const double ax = fabsOf(x);
    if (isNaN(x)) {
        return quieted(x);
    }
    if (ax < 0x1p-27) {
        return x;
    }
    if (ax >= 0x1p53) {
        return x < 0 ? -pio2Hi : pio2Hi;
    }
    const detail::Approx a = atanFast(x);
    double out;
    if (decided(a.hi, a.lo, a.err, out)) {
        return out;
    }
    return atanSlow(x);
}

namespace detail {

Approx sinApprox(double x) {
    const double ax = fabsOf(x);
    if (isNaN(x) || ax == inf || ax < 0x1p-26) {
        return {0, 0, -1};
    }
    return sinCosFast(x, 0);
}

Approx cosApprox(double x) {
    const double ax = fabsOf(x);
    if (isNaN(x) || ax == inf || ax < 0x1p-27) {
        return {0, 0, -1};
    }
    return sinCosFast(x, 1);
}

Approx atanApprox(double x) {
    const double ax = fabsOf(x);
    if (isNaN(x) || ax < 0x1p-27 || ax >= 0x1p53) {
        return {0, 0, -1};
    }
    return atanFast(x);
}

const double* sinCosRow(int j) {
    return tables().sinCos[j];
}

const double* atanRow(int j) {
    return tables().atan[j];
}

double sinExact(double x) {
    const double ax = fabsOf(x);
    if (isNaN(x) || ax == inf || ax < 0x1p-26) {
        return zm::cr::sin(x);
    }
    return sinCosSlow(x, false);
}

double cosExact(double x) {
    const double ax = fabsOf(x);
    if (isNaN(x) || ax == inf || ax < 0x1p-27) {
        return zm::cr::cos(x);
    }
    return sinCosSlow(x, true);
}

double atanExact(double x) {
    const double ax = fabsOf(x);
    if (isNaN(x) || ax < 0x1p-27 || ax >= 0x1p53) {
        return zm::cr::atan(x);
    }
    return atanSlow(x);
}

} // namespace detail

} // namespace zm::cr
