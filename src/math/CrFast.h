#pragma once

// The fast paths of the correctly rounded functions: double-double arithmetic,
// the tables of sin, cos and atan at multiples of 1/256 (made at first use, in
// CrFast.cpp), and the evaluations of sin, cos and atan as hi + lo within a
// bound. Inline here so that the entry points (CorrectlyRounded.cpp) and the
// checks of the bounds compile them into themselves. Internal to src/math.

#include "math/CorrectlyRounded.h"
#include "math/CrFixed.h"

#include <atomic>

namespace zm::cr::detail {

// ---------------------------------------------------------------------------
// Double-double arithmetic. With round to nearest, twoSum and fastTwoSum give
// the exact sum as s + e, and twoProdSplit (Dekker's product, each factor split
// in two halves of 26 bits) gives the exact product as p + e, as long as
// nothing overflows or underflows, which the ranges below exclude.

struct DD {
    double hi;
    double lo;
};

inline DD twoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    const double e = (a - (s - bb)) + (b - bb);
    return {s, e};
}

// Requires |a| >= |b| or a = 0.
inline DD fastTwoSum(double a, double b) {
    const double s = a + b;
    const double e = b - (s - a);
    return {s, e};
}

inline void split(double a, double& h, double& l) {
    const double c = 134217729.0 * a; // 2^27 + 1
    h = c - (c - a);
    l = a - h;
}

// a b = p + e exactly, with a already cut into ah + al and b into bh + bl.
inline DD twoProdSplit(double a, double ah, double al, double bh, double bl) {
    const double p = a * (bh + bl);
    const double e = ((ah * bh - p) + ah * bl + al * bh) + al * bl;
    return {p, e};
}

inline constexpr double unitSign[2] = {1.0, -1.0};

inline double fabsOf(double x) {
    return x < 0 ? -x : x;
}

// The relative error bound of the fast evaluations below: sine and cosine are
// shown to be within 2^-69 of their result, the arctangent within 2^-68.1.
constexpr double relBound = 0x1p-67;

// Whether hi + lo, within err of the exact value, decides its rounding; then
// out is the rounded value. err is enlarged by 2^-20 of itself to cover the
// rounding of lo -+ err (|lo| is below 2^-52 |hi| and err above 2^-67 |hi|, so
// that rounding is below 2^-38 err). The pair is normalised (hi is hi + lo
// rounded), and hi + lo lies between the two bounds, so when they round alike
// the answer is hi itself: what follows need not wait for the test.
inline bool decided(double hi, double lo, double err, double& out) {
    const double e = err * (1 + 0x1p-20);
    const double a = hi + (lo - e);
    const double b = hi + (lo + e);
    if (a == b) {
        out = hi;
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// The fast paths' tables, computed once at first use from the fixed-point
// functions (integer arithmetic, then exact conversions and Veltkamp's split:
// the same bits on every machine), rather than stored in the program.
//
//   sinCos[j] for a = j/256, j = 0..203: sin a as hi + lo (hi the double
//   nearest, lo the double nearest the rest), cos a the same, then the leading
//   26 bits of sin a's hi and the rest, and the same of cos a's hi.
//   atan[j] for c = j/256, j = 0..256: atan c as t0 + t1, t0 rounded to a
//   multiple of 2^-52 and t1 the double nearest the rest.
//
// sin and cos of j/256 come from one step of the angle sum from those of
// (j-1)/256: each step adds the truncations of four products and the errors of
// sin and cos of 1/256 (below 2^-341 together), and the rotation does not
// amplify earlier errors, so after 203 steps they are within 2^-333, far below
// what the rounding of lo to 53 bits can notice. The tests check the values
// against MPFR's.
struct Tables {
    double sinCos[204][8];
    double atan[257][2];
};

// Made once, by the first call from any thread (CrFast.cpp).
extern Tables tablesStore;
extern std::atomic<bool> tablesMade;
[[gnu::noinline]] void makeTablesOnce();

inline const Tables& tables() {
    if (!tablesMade.load(std::memory_order_acquire)) [[unlikely]] {
        makeTablesOnce();
    }
    return tablesStore;
}

// Taylor coefficients, each the double nearest.
constexpr double s3 = -0x1.5555555555555p-3;  // -1/6
constexpr double s5 = 0x1.1111111111111p-7;   // 1/120
constexpr double s7 = -0x1.a01a01a01a01ap-13; // -1/5040
constexpr double c4 = 0x1.5555555555555p-5;   // 1/24
constexpr double c6 = -0x1.6c16c16c16c17p-10; // -1/720
constexpr double a3 = -0x1.5555555555555p-2;  // -1/3
constexpr double a5 = 0x1.999999999999ap-3;   // 1/5
constexpr double a7 = -0x1.2492492492492p-3;  // -1/7
constexpr double a9 = 0x1.c71c71c71c71cp-4;   // 1/9

// sin r (or cos r) for r = rh + rl, |r| <= pi/4 + 2^-40, |rl| <= 2^-53 |rh|.
//
// r = a + t with a = j/256 and |t| <= 2^-9 + 2^-54, t = th + tl (th = rh - a is
// exact, tl = rl). With u = t^2 = uh + ue (uh + ul exact square of th,
// ue = ul + 2 th tl, the dropped tl^2 below 2^-108):
//   sin t = t + t ps,  ps = -u/6 + u^2/120 - u^3/5040, |ps| <= 2^-20.5;
//       the dropped t^9/9! is below 2^-90 |t|; ps is within 2.5 2^-53 |ps|
//       (coefficient, product and sum roundings), so t ps within 2^-71.5 |t|.
//   cos t = 1 + pc,  pc = -uh/2 (exact) + [-ue/2 + u^2/24 - u^3/720], the
//       bracket below 2^-40 and the dropped t^8/8! below 2^-86: within 2^-90.
//   sin(a + t) = sa + sa pc + ca sin t: sin(a+t) >= sa/2 for j >= 1 (a + t >= a/2),
//       sa pc is rounded within 2^-72 sa, ca sin t within 2^-71.5 |t| <= 2^-71.5 2
//       sin(a+t), the small terms' sums within 2^-71 sa: below 2^-69 relative.
//   cos(a + t) = ca + ca pc - sa sin t, at least 0.70: below 2^-70 relative.
//   For j = 0 the sine is sin t (2^-71 relative) and the cosine 1 + pc.
// The table's pairs are within 2^-106 relative.
// The terms in t of sin(a + t) and cos(a + t), and the table row of a.
struct CoreTerms {
    const double* tab;
    double th, thh, thl, sl, pch, pcl;
};

[[gnu::always_inline]] inline CoreTerms coreTerms(double rh, double rl) {
    // j = 256 rh rounded (rh >= 0): adding 1.5 2^52 rounds to an integer,
    // whose last bits are j.
    const double big = rh * 256 + 0x1.8p52;
    const int j = static_cast<int>(bitsOf(big) & 255);
    CoreTerms k;
    k.th = rh - (big - 0x1.8p52) * 0x1p-8;
    const double tl = rl;
    split(k.th, k.thh, k.thl);
    const double uh = k.th * k.th;
    const double ul = ((k.thh * k.thh - uh) + 2 * (k.thh * k.thl)) + k.thl * k.thl;
    const double ue = ul + (2 * k.th) * tl;
    const double ps = s3 * uh + (s3 * ue + (uh * uh) * (s5 + uh * s7));
    k.sl = tl + (k.th * ps + tl * ps);
    k.pch = -0.5 * uh;
    k.pcl = -0.5 * ue + (uh * uh) * (c4 + uh * c6);
    k.tab = tables().sinCos[j];
    return k;
}

// f(a + t) = P cos t + Q sin t with (P, Q) = (sin a, cos a) for the sine (c = 0)
// and (cos a, -sin a) for the cosine (c = 1); chosen by index, not by a branch
// that the processor could not predict.
[[gnu::always_inline]] inline DD coreValue(const CoreTerms& k, int c) {
    const double* tab = k.tab;
    const double ph = tab[2 * c];
    const double pl = tab[2 * c + 1];
    const double qs = unitSign[c];
    const double qh = qs * tab[2 - 2 * c];
    const double ql = qs * tab[3 - 2 * c];
    const DD p = twoProdSplit(qh, qs * tab[6 - 2 * c], qs * tab[7 - 2 * c], k.thh, k.thl);
    const double small = (ph * k.pch + (ph * k.pcl + pl * k.pch)) + (qh * k.sl + ql * k.th);
    const DD s = twoSum(ph, p.hi);
    return fastTwoSum(s.hi, s.lo + ((pl + p.lo) + small));
}

[[gnu::always_inline]] inline DD sinCosCore(double rh, double rl, int c) {
    return coreValue(coreTerms(rh, rl), c);
}

// sin r and cos r together, sharing the table row and the terms in t.
void sinCosCoreBoth(double rh, double rl, DD& sr, DD& cr);

// |x| = n pi/2 + r with r = rh + rl within er.
struct FastReduced {
    double rh;
    double rl;
    double er;
    int n;
};

// The reduction of 2^-27 <= |x| < inf for the fast evaluation.
[[gnu::always_inline]] inline FastReduced reduceFast(double ax) {
    FastReduced fr{};
    if (ax < 0.78) {
        // Below pi/4: no reduction.
        fr.n = 0;
        fr.rh = ax;
        fr.rl = 0;
        fr.er = 0;
    } else if (ax < 0x1p19) {
        // k nearest |x| 2/pi (an error of one only makes |r| a little larger
        // than pi/4), and r = |x| - k (P0 + P1 + P2), the Pi the first three
        // parts of pi/2 from the table: k P0 and k P1 are exact (33-bit parts,
        // k < 2^19), |x| - k P0 is exact by Sterbenz's lemma and the next step
        // is an exact sum. The last step rounds twice, below
        // 2^-53 (|l1| + |k P2|) each, and the parts leave out less than
        // k 2^-103 of pi/2 (P3 is below 2^-103), so r is within
        // 2^-52 (|l1| + |k P2|) + k 2^-102.
        const double kd = (ax * twoOverPi + 0x1.8p52) - 0x1.8p52;
        fr.n = static_cast<int>(kd) & 3;
        const double a0 = ax - kd * pio2Part[0];
        const DD h1 = twoSum(a0, -(kd * pio2Part[1]));
        const double kp2 = kd * pio2Part[2];
        const DD r = twoSum(h1.hi, h1.lo - kp2);
        fr.rh = r.hi;
        fr.rl = r.lo;
        fr.er = 0x1p-52 * (fabsOf(h1.lo) + fabsOf(kp2)) + kd * 0x1p-102;
    } else {
        // The exact reduction, r within 2^-330; rh is r rounded and rl the
        // rest rounded, within 2^-106 rh.
        const Reduced red = reduceExact(ax);
        fr.n = red.n;
        toPair(red.r, fr.rh, fr.rl);
        if (red.neg) {
            fr.rh = -fr.rh;
            fr.rl = -fr.rl;
        }
        fr.er = 0x1p-104 * fabsOf(fr.rh) + 0x1p-320;
    }
    return fr;
}

// cos y = sin(y + pi/2): sin x (wantCos = 0) or cos x (wantCos = 1) is
// sin(m pi/2 + r), that is +-sin r (c = 0) or +-cos r (c = 1); sin is odd and
// cos even in r, which was made non-negative when rneg is 1.
struct Quadrant {
    int c;
    double sign;
};

[[gnu::always_inline]] inline Quadrant quadrant(int n, int rneg, double x, int wantCos) {
    const int m = (n + wantCos) & 3;
    const int c = m & 1;
    const int neg = (rneg & (c ^ 1)) ^ (m >> 1) ^ ((wantCos ^ 1) & static_cast<int>(x < 0));
    return {c, unitSign[neg]};
}

// Both sin and cos have slope at most 1: an error er in r moves the result by
// at most er.
[[gnu::always_inline]] inline detail::Approx placed(const DD& y, double sign, double er) {
    return {sign * y.hi, sign * y.lo, relBound * fabsOf(y.hi) + er};
}

// The fast evaluation of sin x (wantCos = 0) or cos x (wantCos = 1) for
// 2^-27 <= |x| < inf.
[[gnu::always_inline]] inline detail::Approx sinCosFast(double x, int wantCos) {
    const FastReduced fr = reduceFast(fabsOf(x));
    const int rneg = fr.rh < 0;
    const double rs = unitSign[rneg];
    const Quadrant q = quadrant(fr.n, rneg, x, wantCos);
    return placed(sinCosCore(rs * fr.rh, rs * fr.rl, q.c), q.sign, fr.er);
}

// sin x and cos x from one reduction, for 2^-26 <= |x| < inf.
void sinCosFastBoth(double x, detail::Approx& s, detail::Approx& c);

// For 1 < |x| < 512, 1/|x| = 2^-e / m with 1 <= m < 2: the nearest integer
// to 2^16 / m' for m' the middle of m's interval of width 1/128, indexed by m's
// seven leading fraction bits. |1/m - 1/m'| <= 2^-8 and the rounding adds
// 2^-17 at most, so 2^-e recipTable[i] 2^-16 is within 2^-e (2^-8 + 2^-17) of
// 1/|x|. The largest entry is 65281, so j below stays at most 255.
inline constexpr auto recipTable = [] {
    struct {
        std::uint16_t v[128];
    } t{};
    for (u32 i = 0; i < 128; ++i) {
        const u32 b = 257 + 2 * i; // m' = b / 256
        t.v[i] = static_cast<std::uint16_t>(((u32{1} << 25) + b) / (2 * b));
    }
    return t;
}();

// The fast evaluation of atan x for 2^-27 <= |x| < 2^53.
//
// With c = j/256 (j <= 256: at most 9 bits) and (A, B) = (|x|, 1) for |x| <= 1
// or (1, |x|) for |x| > 1, atan(A/B) = atan c + atan d with d = N/D,
// N = A - c B, D = B + c A. For |x| > 1 that is
// atan(1/|x|) = atan c + atan((1 - c|x|)/(|x| + c)), and atan|x| = pi/2 - it.
// There is one division on the way (and 1/Dh beside it).
//   c: for |x| <= 1, j is 256 |x| rounded, so |d| <= ||x| - c| <= 2^-9. For
//   |x| > 1, j comes from recipTable (j = 0 from 512 on, where 1/|x| <= 2^-9):
//   |1/|x| - c| <= 2^-9 + 2^-8 + 2^-17, and |d| <= |1/|x| - c| < 2^-7.4.
//   N and D: c|x| = p + pe exactly (Dekker's product with c as its own leading
//   half). For |x| <= 1, N = |x| - c exactly (both are multiples of ulp|x| and
//   the difference is at most 2^-9) and D = 1 + p + pe = Dh + Dl, 1 + p summed
//   exactly. For |x| > 1, N = (1 - p) - pe with 1 - p exact (p is 0 or a
//   multiple of 2^-53 between 1/2 and 2.01) and D = |x| + c exactly. Dh >= 1.
//   d = q1s + q2: q1 = (Nh + Nl)/Dh rounded, within 2^-51.4 |d|; q1s its
//   leading 26 bits, within 2^-26 |d|; q1s times the halves of Dh is exact,
//   and the residual N - q1s D (at most 2^-25.9 |N|) is formed with three
//   roundings of at most 2^-53 (2^-25 |N| + 2^-52) each; q2 = residual / Dh
//   within 2^-50.9 of the residual / D. So d is within 2^-75 |d| + 2^-102.
//   atan d = d + d q, q = d^2 (-1/3 + d^2/5 - d^4/7 + d^6/9): the dropped
//   d^11/11 is below 2^-77 |d|. q is formed from q1: q1^2 within 2^-49.6 of
//   d^2, coefficients and steps within 2^-52.4, so q within 2^-49.2 |q| and d q
//   (formed as q1 q) within 2^-49 |q d|.
//   For |x| <= 1: |q| <= 2^-19.5 and |d| <= 1.28 atan|x| (j >= 1: |d| <= 2^-9
//   <= |x| <= (4/pi) atan|x|; j = 0: d = |x|), so the above stays within
//   2^-68.2 of the result. For |x| > 1: |q d| <= 2^-23.8 and the result is at
//   least pi/4: within 2^-72.
//   atan c = T0 + T1 from the table within 2^-106, T0 a multiple of 2^-52 so
//   that pi/2 - T0 is exact; the last sums round below 2^-104 of the result.
// All of it stays below 2^-68.1 relatively, within relBound = 2^-67.
[[gnu::always_inline]] inline detail::Approx atanFast(double x) {
    const Tables& tb = tables();
    const double ax = fabsOf(x);
    // sg = +-1 with the sign of x. atan is odd: the denominator D takes the
    // sign, so d and everything after it come out with the sign of the result.
    const double sg = fromBits(bitsOf(1.0) | (bitsOf(x) & (u64{1} << 63)));
    double xh, xl;
    split(ax, xh, xl);
    int j;
    double nh, nl, dh, dl, h, l, ws;
    if (ax <= 1) {
        // j = 256 |x| rounded: adding 1.5 2^52 rounds to an integer, whose last
        // bits are j.
        const double big = ax * 256 + 0x1.8p52;
        j = static_cast<int>(bitsOf(big) & 511);
        const double c = (big - 0x1.8p52) * 0x1p-8;
        const double p = c * ax;
        const double pe = (c * xh - p) + c * xl;
        nh = ax - c;
        nl = 0;
        const DD dd = fastTwoSum(1.0, p);
        dh = sg * dd.hi;
        dl = sg * (dd.lo + pe);
        h = sg * tb.atan[j][0];
        l = sg * tb.atan[j][1];
        ws = 1;
    } else {
        const u64 bits = bitsOf(ax);
        const int e = static_cast<int>(bits >> 52) - 1023;
        const u32 r = recipTable.v[(bits >> 45) & 127];
        const int sh = 8 + (e & 15);
        j = e < 9 ? static_cast<int>((r + (u32{1} << (sh - 1))) >> sh) : 0;
        const double c = j * 0x1p-8;
        const double p = c * ax;
        const double pe = (c * xh - p) + c * xl;
        nh = 1 - p;
        nl = -pe;
        const DD dd = fastTwoSum(ax, c);
        dh = sg * dd.hi;
        dl = sg * dd.lo;
        h = sg * (pio2Hi - tb.atan[j][0]);
        l = sg * (pio2Lo - tb.atan[j][1]);
        ws = -1;
    }
    const double rcp = 1 / dh;
    const double q1 = (nh + nl) / dh;
    // d = q1s + q2: q1s the leading 26 bits of q1, so that its products with
    // the halves of dh are exact, and q2 the rest from the residual.
    double dhh, dhl, q1s, q1r;
    split(dh, dhh, dhl);
    split(q1, q1s, q1r);
    const double res = ((nh - q1s * dhh) - q1s * dhl) + (nl - q1s * dl);
    const double q2 = res * rcp;
    const double d2 = q1 * q1;
    const double d4 = d2 * d2;
    const double q = d2 * ((a3 + d2 * a5) + d4 * (a7 + d2 * a9));
    const double tail = q2 + q1 * q;
    const DD s = twoSum(h, ws * q1s);
    const DD y = fastTwoSum(s.hi, s.lo + (l + ws * tail));
    return {y.hi, y.lo, relBound * fabsOf(y.hi)};
}

} // namespace zm::cr::detail
