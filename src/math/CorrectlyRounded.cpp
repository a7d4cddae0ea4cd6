#include "math/CorrectlyRounded.h"

#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

// How the functions work
//
// Each function first evaluates its result as a pair of doubles hi + lo with a
// bound err on the distance to the exact value; the bounds are derived below
// where the arithmetic is. If hi + (lo - err) and hi + (lo + err) round to the
// same double, the exact value rounds to it as well (rounding is monotonic), and
// that is the answer. Otherwise, about once in a few thousand arguments, the
// result is computed again in fixed point with 352 fraction bits, where every
// step is exact but for truncations near 2^-340. The exact value of sin, cos
// or atan at a nonzero double is transcendental, so it is never a midpoint
// between two doubles, and the arguments whose result comes nearest a midpoint
// need about 2^-(53+70) relative accuracy to be decided: the fixed-point result
// is better than 2^-260 relative, so rounding it is rounding the exact value.

namespace zm::cr {

namespace {

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

Fixed fixedInt(u32 v) {
    Fixed a{};
    a.w[words - 1] = v;
    return a;
}

bool isZero(const Fixed& a) {
    for (u32 v : a.w) {
        if (v != 0) {
            return false;
        }
    }
    return true;
}

int compare(const Fixed& a, const Fixed& b) {
    for (int i = words - 1; i >= 0; --i) {
        if (a.w[i] != b.w[i]) {
            return a.w[i] < b.w[i] ? -1 : 1;
        }
    }
    return 0;
}

Fixed add(const Fixed& a, const Fixed& b) {
    Fixed s{};
    u64 carry = 0;
    for (int i = 0; i < words; ++i) {
        const u64 t = u64{a.w[i]} + b.w[i] + carry;
        s.w[i] = static_cast<u32>(t);
        carry = t >> 32;
    }
    return s;
}

// a - b for a >= b.
Fixed sub(const Fixed& a, const Fixed& b) {
    Fixed d{};
    u64 borrow = 0;
    for (int i = 0; i < words; ++i) {
        const u64 t = u64{a.w[i]} - b.w[i] - borrow;
        d.w[i] = static_cast<u32>(t);
        borrow = (t >> 32) & 1;
    }
    return d;
}

// The product truncated to 352 fraction bits (the error is below 12 units of
// the last place); the integer part of the product must fit in 32 bits.
Fixed mul(const Fixed& a, const Fixed& b) {
    u32 full[2 * words] = {};
    for (int i = 0; i < words; ++i) {
        if (a.w[i] == 0) {
            continue;
        }
        u64 carry = 0;
        for (int j = 0; j < words; ++j) {
            const u64 t = u64{a.w[i]} * b.w[j] + full[i + j] + carry;
            full[i + j] = static_cast<u32>(t);
            carry = t >> 32;
        }
        full[i + words] = static_cast<u32>(carry);
    }
    Fixed p{};
    for (int m = 0; m < words; ++m) {
        p.w[m] = full[m + words - 1];
    }
    return p;
}

// a / d, truncated.
Fixed divSmall(const Fixed& a, u32 d) {
    Fixed q{};
    u64 rem = 0;
    for (int i = words - 1; i >= 0; --i) {
        const u64 cur = (rem << 32) | a.w[i];
        q.w[i] = static_cast<u32>(cur / d);
        rem = cur % d;
    }
    return q;
}

u64 bitsOf(double x) {
    u64 b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

double fromBits(u64 b) {
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

// 2^k for a normal power of two.
double pow2(int k) {
    return fromBits(static_cast<u64>(k + 1023) << 52);
}

// A finite double 0 <= x < 2^32 in fixed point; bits below 2^-352 are dropped.
// The significand is placed a word at a time (bit by bit is slow in
// WebAssembly's first, quick code, where the tables are made).
Fixed fromDouble(double x) {
    const u64 b = bitsOf(x);
    const int ex = static_cast<int>((b >> 52) & 0x7ff);
    u64 m = b & ((u64{1} << 52) - 1);
    int e = -1074;
    if (ex != 0) {
        m |= u64{1} << 52;
        e = ex - 1075;
    }
    Fixed a{};
    int g = e + fracBits; // the fixed-point bit of the significand's bit 0
    if (g < 0) {
        if (g <= -53) {
            return a;
        }
        m >>= -g;
        g = 0;
    }
    const int i = g / 32;
    const int s = g % 32;
    const u32 parts[3] = {static_cast<u32>(m << s), static_cast<u32>((m << s) >> 32),
                          static_cast<u32>(s == 0 ? 0 : m >> (64 - s))};
    for (int k = 0; k < 3 && i + k < words; ++k) {
        a.w[i + k] = parts[k];
    }
    return a;
}

// Bits pos .. pos+31 of a as one word (bits below 0 read as zero).
u32 word32At(const Fixed& a, int pos) {
    if (pos <= -32) {
        return 0;
    }
    if (pos < 0) {
        return a.w[0] << -pos;
    }
    const int i = pos / 32;
    const int s = pos % 32;
    const u64 low = a.w[i];
    const u64 high = i + 1 < words ? a.w[i + 1] : 0;
    return static_cast<u32>(((high << 32) | low) >> s);
}

// Bits g-63 .. g of a as one integer (bits below 0 read as zero).
u64 window64(const Fixed& a, int g) {
    return (u64{word32At(a, g - 31)} << 32) | word32At(a, g - 63);
}

bool anyBitAtOrBelow(const Fixed& a, int g) {
    if (g < 0) {
        return false;
    }
    const int i = g / 32;
    for (int k = 0; k < i; ++k) {
        if (a.w[k] != 0) {
            return true;
        }
    }
    const int s = g % 32;
    const u32 mask = s == 31 ? ~u32{0} : (u32{1} << (s + 1)) - 1;
    return (a.w[i] & mask) != 0;
}

// a > 0 rounded to the nearest double, ties to even. a is at least 2^-352, so
// the result is a normal number.
double toDouble(const Fixed& a) {
    int top = words - 1;
    while (a.w[top] == 0) {
        --top;
    }
    int g = 32 * top + 31 - std::countl_zero(a.w[top]);
    const u64 win = window64(a, g);
    u64 mant = win >> 11;
    const bool half = (win >> 10) & 1;
    const bool sticky = (win & 0x3ff) != 0 || anyBitAtOrBelow(a, g - 64);
    if (half && (sticky || (mant & 1))) {
        ++mant;
        if (mant == (u64{1} << 53)) {
            mant >>= 1;
            ++g;
        }
    }
    return static_cast<double>(mant) * pow2(g - fracBits - 52);
}

// a / b for 1/2 <= b < 2^32 (the quotient below 2^32). y = 1/b starts from the
// double nearest, within 2^-52 relative, and each step y + y (1 - b y) squares
// the relative error: 2^-104, 2^-208, 2^-416, then below the truncations of
// the products, a few units of 2^-352 relative to y.
Fixed div(const Fixed& a, const Fixed& b) {
    const Fixed one = fixedInt(1);
    Fixed y = fromDouble(1 / toDouble(b));
    for (int step = 0; step < 3; ++step) {
        const Fixed by = mul(b, y);
        if (compare(by, one) <= 0) {
            y = add(y, mul(y, sub(one, by)));
        } else {
            y = sub(y, mul(y, sub(by, one)));
        }
    }
    return mul(a, y);
}

// sin r and cos r for 0 <= r <= 1 by their series. The terms decrease and
// alternate, so every partial sum lies between 0 and 1 and the unsigned
// arithmetic never wraps. Each of the at most 45 terms carries a truncation
// below 2^-348, so the sum is within 2^-342 of the exact value.
Fixed sinFixed(const Fixed& r) {
    const Fixed r2 = mul(r, r);
    Fixed term = r;
    Fixed sum = r;
    for (u32 i = 1;; ++i) {
        term = divSmall(mul(term, r2), (2 * i) * (2 * i + 1));
        if (isZero(term)) {
            return sum;
        }
        sum = (i & 1) ? sub(sum, term) : add(sum, term);
    }
}

Fixed cosFixed(const Fixed& r) {
    const Fixed r2 = mul(r, r);
    Fixed term = fixedInt(1);
    Fixed sum = term;
    for (u32 i = 1;; ++i) {
        term = divSmall(mul(term, r2), (2 * i - 1) * (2 * i));
        if (isZero(term)) {
            return sum;
        }
        sum = (i & 1) ? sub(sum, term) : add(sum, term);
    }
}

// |x| = n pi/2 + (neg ? -r : r) with 0 <= r <= pi/4 (n taken mod 4).
struct Reduced {
    int n;
    bool neg;
    Fixed r;
};

// Reduction of a finite |x| >= 1/2 by pi/2 with the bits of 2/pi. With
// x = m 2^e (m an integer below 2^53) and 2/pi = sum T[i] 2^(-32(i+1)), the
// word T[i] adds m T[i] 2^(e-32(i+1)) to x 2/pi, a multiple of 4 once
// e - 32(i+1) >= 2: those words are skipped. The next 14 words give the
// fraction of x 2/pi to at least 416 bits, the words left out adding less than
// 2^(85-416) = 2^-331. Since no double lies nearer than 2^-62 to a multiple
// of pi/2 (the closest is known to be about 2^-61 away), r keeps more than 260
// correct bits.
Reduced reduceExact(double ax) {
    const u64 b = bitsOf(ax);
    const u64 m = (b & ((u64{1} << 52) - 1)) | (u64{1} << 52);
    const int e = static_cast<int>(b >> 52) - 1075;
    const int q = e >= 0 ? e / 32 : -((31 - e) / 32);
    const int rho = e - 32 * q;
    u32 mw[3];
    const u64 low = m << rho;
    mw[0] = static_cast<u32>(low);
    mw[1] = static_cast<u32>(low >> 32);
    mw[2] = rho == 0 ? 0 : static_cast<u32>(m >> (64 - rho));

    constexpr int len = 14;
    const int i0 = q - 1 > 0 ? q - 1 : 0;
    u32 tw[len];
    for (int k = 0; k < len; ++k) {
        tw[k] = twoOverPiBits[i0 + len - 1 - k];
    }
    u32 v[len + 3] = {};
    for (int i = 0; i < 3; ++i) {
        u64 carry = 0;
        for (int k = 0; k < len; ++k) {
            const u64 t = u64{mw[i]} * tw[k] + v[i + k] + carry;
            v[i + k] = static_cast<u32>(t);
            carry = t >> 32;
        }
        v[i + len] = static_cast<u32>(carry);
    }
    // v[s] holds the units of x 2/pi, v[s-1] down to v[0] its fraction.
    const int s = i0 + len - q;
    Reduced red{};
    red.n = static_cast<int>(v[s] & 3);
    Fixed f{};
    for (int k = 1; k < words; ++k) {
        f.w[words - 1 - k] = v[s - k];
    }
    if (f.w[words - 2] & 0x80000000u) {
        red.n = (red.n + 1) & 3;
        red.neg = true;
        f = sub(fixedInt(1), f);
    }
    red.r = mul(f, pio2Fixed);
    return red;
}

double sinCosSlow(double x, bool wantCos) {
    const double ax = x < 0 ? -x : x;
    Reduced red{};
    if (ax < 0.75) {
        red.r = fromDouble(ax);
    } else {
        red = reduceExact(ax);
    }
    // cos y = sin(y + pi/2): the value is sin(m pi/2 + rho).
    const int m = (red.n + (wantCos ? 1 : 0)) & 3;
    double v;
    if (m & 1) {
        v = toDouble(cosFixed(red.r));
    } else {
        v = toDouble(sinFixed(red.r));
        if (red.neg) {
            v = -v;
        }
    }
    if (m & 2) {
        v = -v;
    }
    if (!wantCos && x < 0) {
        v = -v;
    }
    return v;
}

// atan w for 0 <= w <= 1 in fixed point: c = j/16 nearest w,
// atan w = atan c + atan d with d = (w - c)/(1 + w c), |d| <= 1/32, atan d by
// its series (about 36 terms, each truncated below 2^-348).
Fixed atanFixed(const Fixed& w) {
    u32 j = (w.w[words - 1] << 4) | (w.w[words - 2] >> 28);
    if ((w.w[words - 2] >> 27) & 1) {
        ++j;
    }
    Fixed c{};
    c.w[words - 1] = j >> 4;
    c.w[words - 2] = (j & 15) << 28;
    const bool dneg = compare(w, c) < 0;
    const Fixed num = dneg ? sub(c, w) : sub(w, c);
    const Fixed den = add(fixedInt(1), mul(w, c));
    const Fixed d = div(num, den);
    const Fixed d2 = mul(d, d);
    Fixed pw = d;
    Fixed sum = d;
    for (u32 i = 1;; ++i) {
        pw = mul(pw, d2);
        const Fixed term = divSmall(pw, 2 * i + 1);
        if (isZero(term)) {
            break;
        }
        sum = (i & 1) ? sub(sum, term) : add(sum, term);
    }
    return dneg ? sub(atan16Fixed[j], sum) : add(atan16Fixed[j], sum);
}

// atan |x| for 2^-27 <= |x| < 2^53 in fixed point, from w = |x| or 1/|x|.
double atanSlow(double x) {
    const double ax = x < 0 ? -x : x;
    const bool inv = ax > 1;
    Fixed w;
    if (!inv) {
        w = fromDouble(ax);
    } else if (ax < 0x1p31) {
        w = div(fixedInt(1), fromDouble(ax));
    } else {
        // 1/|x| = 2^-32 / (|x| 2^-32), the scaling exact; 1/|x| >= 2^-53 keeps
        // 299 bits.
        const Fixed t = div(fixedInt(1), fromDouble(ax * 0x1p-32));
        w = Fixed{};
        for (int i = 0; i + 1 < words; ++i) {
            w.w[i] = t.w[i + 1];
        }
    }
    Fixed res = atanFixed(w);
    if (inv) {
        res = sub(pio2Fixed, res);
    }
    const double v = toDouble(res);
    return x < 0 ? -v : v;
}

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

constexpr double unitSign[2] = {1.0, -1.0};

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

// A double-double hi + lo for 0 <= v < 2^32, hi nearest v, lo nearest the rest.
void toPair(const Fixed& v, double& hi, double& lo) {
    if (isZero(v)) {
        hi = 0;
        lo = 0;
        return;
    }
    hi = toDouble(v);
    const Fixed hf = fromDouble(hi);
    const int cmp = compare(v, hf);
    lo = cmp == 0 ? 0.0 : cmp > 0 ? toDouble(sub(v, hf)) : -toDouble(sub(hf, v));
}

Tables makeTables() {
    Tables t{};
    const Fixed step = fromDouble(0x1p-8);
    const Fixed sinStep = sinFixed(step);
    const Fixed cosStep = cosFixed(step);
    Fixed sa{};
    Fixed ca = fixedInt(1);
    for (int j = 0; j < 204; ++j) {
        double* row = t.sinCos[j];
        toPair(sa, row[0], row[1]);
        toPair(ca, row[2], row[3]);
        split(row[0], row[4], row[5]);
        split(row[2], row[6], row[7]);
        // sin(a + s) = sin a cos s + cos a sin s, cos(a + s) = cos a cos s -
        // sin a sin s; every value stays between 0 and 1.
        const Fixed ns = add(mul(sa, cosStep), mul(ca, sinStep));
        const Fixed nc = sub(mul(ca, cosStep), mul(sa, sinStep));
        sa = ns;
        ca = nc;
    }
    for (int j = 0; j < 257; ++j) {
        const Fixed v = atanFixed(fromDouble(j * 0x1p-8));
        // v rounded to a multiple of 2^-52 (at fraction bit 52 from the top);
        // never a tie, atan of a nonzero rational being irrational.
        constexpr int cut = fracBits - 52;
        Fixed r = v;
        Fixed half{};
        half.w[(cut - 1) / 32] = u32{1} << ((cut - 1) % 32);
        r = add(r, half);
        for (int b = 0; b < cut; ++b) {
            r.w[b / 32] &= ~(u32{1} << (b % 32));
        }
        t.atan[j][0] = isZero(r) ? 0.0 : toDouble(r);
        const int cmp = compare(v, r);
        t.atan[j][1] = cmp == 0 ? 0.0 : cmp > 0 ? toDouble(sub(v, r)) : -toDouble(sub(r, v));
    }
    return t;
}

// Made once, by the first call from any thread. The fast paths only test the
// flag (a plain load where the processor orders loads itself); the first
// callers go through the function-local static, whose initialisation the
// language runs once while other threads wait, and the flag is set with release
// order after the tables are written, so that a thread that sees it set sees
// them too.
Tables tablesStore;
std::atomic<bool> tablesMade{false};

[[gnu::noinline]] void makeTablesOnce() {
    static const bool made = [] {
        tablesStore = makeTables();
        tablesMade.store(true, std::memory_order_release);
        return true;
    }();
    (void)made;
}

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

// sin r and cos r together, sharing the table row and the terms in t, each
// computed with the same operations as sinCosCore gives it alone (so within the
// same bounds).
void sinCosCoreBoth(double rh, double rl, DD& sr, DD& cr) {
    const CoreTerms k = coreTerms(rh, rl);
    sr = coreValue(k, 0);
    cr = coreValue(k, 1);
}

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

// sin x and cos x from one reduction, for 2^-26 <= |x| < inf: the same values
// and bounds as sinCosFast gives each alone.
void sinCosFastBoth(double x, detail::Approx& s, detail::Approx& c) {
    const FastReduced fr = reduceFast(fabsOf(x));
    const int rneg = fr.rh < 0;
    const double rs = unitSign[rneg];
    DD core[2];
    sinCosCoreBoth(rs * fr.rh, rs * fr.rl, core[0], core[1]);
    const Quadrant qs = quadrant(fr.n, rneg, x, 0);
    const Quadrant qc = quadrant(fr.n, rneg, x, 1);
    s = placed(core[qs.c], qs.sign, fr.er);
    c = placed(core[qc.c], qc.sign, fr.er);
}

// For 1 < |x| < 512, 1/|x| = 2^-e / m with 1 <= m < 2: the nearest integer
// to 2^16 / m' for m' the middle of m's interval of width 1/128, indexed by m's
// seven leading fraction bits. |1/m - 1/m'| <= 2^-8 and the rounding adds
// 2^-17 at most, so 2^-e recipTable[i] 2^-16 is within 2^-e (2^-8 + 2^-17) of
// 1/|x|. The largest entry is 65281, so j below stays at most 255.
constexpr auto recipTable = [] {
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

} // namespace

// sin x = x - x^3/6 + ..., and for |x| < 2^-26 the term x^3/6 is below
// 2^-54.5 |x|, less than half the distance to the next double towards zero:
// the result is x itself (subnormals included).
double sin(double x) {
#ifdef ZM_CR_RECORD
    detail::record(0, x);
#endif
    const double ax = fabsOf(x);
    if (isNaN(x)) {
        return quieted(x);
    }
    if (ax == inf) {
        return invalid;
    }
    if (ax < 0x1p-26) {
        return x;
    }
    const detail::Approx a = sinCosFast(x, 0);
    double out;
    if (decided(a.hi, a.lo, a.err, out)) {
        return out;
    }
    return sinCosSlow(x, false);
}

// cos x = 1 - x^2/2 + ..., below 1 by less than 2^-55 for |x| < 2^-27, nearer
// 1 than the midpoint 1 - 2^-54 to the double below.
double cos(double x) {
#ifdef ZM_CR_RECORD
    detail::record(1, x);
#endif
    const double ax = fabsOf(x);
    if (isNaN(x)) {
        return quieted(x);
    }
    if (ax == inf) {
        return invalid;
    }
    if (ax < 0x1p-27) {
        return 1.0;
    }
    const detail::Approx a = sinCosFast(x, 1);
    double out;
    if (decided(a.hi, a.lo, a.err, out)) {
        return out;
    }
    return sinCosSlow(x, true);
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
