#include "math/CrFixed.h"

#include <bit>

namespace zm::cr::detail {

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

namespace {

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

// 2^k for a normal power of two.
double pow2(int k) {
    return fromBits(static_cast<u64>(k + 1023) << 52);
}

} // namespace

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

namespace {

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

} // namespace

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

namespace {

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

} // namespace

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

} // namespace zm::cr::detail
