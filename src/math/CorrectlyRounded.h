#pragma once

// Sine, cosine and arctangent rounded correctly: for every double the result is
// the exact value rounded to nearest, ties to even, so it is the same on every
// IEEE-754 machine. Special values as in C: sin(+-0) = +-0, cos(+-0) = 1,
// atan(+-0) = +-0, sin and cos of +-inf are NaN, atan(+-inf) = +-pi/2 rounded,
// NaN gives NaN. Even the NaNs have the same bits everywhere: a NaN argument
// comes back made quiet, and sin and cos of an infinity give the positive
// quiet NaN.
//
// Only +, -, *, / on doubles and integer arithmetic are used (no long double,
// no fused multiply-add, no library call). The only state is a set of tables
// (sin, cos and atan at multiples of 1/256) that the first call makes, in
// about a millisecond, with integer arithmetic; the functions may be called
// from any thread, the first calls included.

namespace zm::cr {

double sin(double x);
double cos(double x);
double atan(double x);

// sin x and cos x from one argument reduction: each bit for bit what sin and
// cos give alone.
struct SinCos {
    double sin;
    double cos;
};
SinCos sincos(double x);

namespace detail {

// The fast evaluation alone, for checking its error bound: the value is
// hi + lo, within err of the exact result (err = -1: the argument is handled
// apart, without the fast evaluation).
struct Approx {
    double hi;
    double lo;
    double err;
};
Approx sinApprox(double x);
Approx cosApprox(double x);
Approx atanApprox(double x);

// The fast paths' tables, computed at first use: row j (0..203) of sin and cos
// at j/256, and row j (0..256) of atan at j/256 (see CrFast.h).
const double* sinCosRow(int j);
const double* atanRow(int j);

// The exact path alone, whatever the fast one would have decided.
double sinExact(double x);
double cosExact(double x);
double atanExact(double x);

} // namespace detail

} // namespace zm::cr

#ifdef ZM_CR_RECORD
// A checking build only: every argument is handed to this function, defined by
// the test that compiles the program with ZM_CR_RECORD.
namespace zm::cr::detail {
void record(int function, double x); // 0 sine, 1 cosine, 2 arctangent
}
#endif
