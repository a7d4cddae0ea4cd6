#include "math/ShortestDigits.h"
#include "math/ShortestFloat.h"

#include <cstdint>
#include <cstring>

namespace zm::cr {

namespace {

using namespace digits;

// ---------------------------------------------------------------------------
// Shortest round-trip decimals of doubles, by the method of the floats'
// (ShortestFloat.cpp): a positive finite double is V = m * 2^e with m < 2^53;
// its rounding interval scaled by 4 is [mm, mp] * 2^(e-2) around mv * 2^(e-2)
// (mv = 4m, mp = 4m + 2, mm = 4m - 2, or 4m - 1 at a power of two). The three
// are scaled by 10^-e10 so that the interval is 30 to 400 units wide, cut to
// integers exactly, and digits are dropped from the right while a shorter
// decimal still lies in the interval. mv is below 2^55 and the scale below
// 100, so the scaled values stay below 2^62.
//
// The scales reach 10^325 (the smallest subnormal) and 10^-291 (the largest
// double), so the products are worked out in multi-word integers of up to
// 34 words.
// ---------------------------------------------------------------------------

constexpr std::uint32_t fivePow13 = 1220703125; // 5^13, the largest power of five below 2^32

// floor(x * 5^k / 2^g) for x < 2^55, k <= 326. x * 5^k < 2^55 * 2^757 fits in
// 26 words; the result is below 2^64 where it is used.
Scaled timesPow5DivPow2(std::uint64_t x, int k, int g) {
    std::uint32_t w[28] = {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(x >> 32)};
    int n = 2;
    while (k > 0) {
        const int step = k < 13 ? k : 13;
        std::uint32_t f = fivePow13;
        if (step < 13) {
            f = 1;
            for (int i = 0; i < step; ++i) {
                f *= 5;
            }
        }
        const std::uint32_t carry = multiplyWords(w, n, f);
        if (carry != 0) {
            w[n++] = carry;
        }
        k -= step;
    }
    return bitsFrom(w, n, g);
}

// floor(x * 2^s / 10^k) for x < 2^55, s <= 969 (so x * 2^s < 2^1024 fits in 33
// words). The result is below 2^64 where it is used.
Scaled timesPow2DivPow10(std::uint64_t x, int s, int k) {
    std::uint32_t w[34] = {};
    const int word = s / 32;
    const int bit = s % 32;
    const std::uint64_t low = x << bit;
    const std::uint64_t high = bit == 0 ? 0 : x >> (64 - bit);
    w[word] = static_cast<std::uint32_t>(low);
    w[word + 1] = static_cast<std::uint32_t>(low >> 32);
    w[word + 2] = static_cast<std::uint32_t>(high);
    int n = word + 3;
    bool exact = true;
    while (k > 0) {
        const int step = k < 9 ? k : 9;
        exact = divideWords(w, n, powersOfTen[static_cast<std::size_t>(step)]) == 0 && exact;
        while (n > 2 && w[n - 1] == 0) {
            --n;
        }
        k -= step;
    }
    return {std::uint64_t{w[0]} | (std::uint64_t{w[1]} << 32), exact};
}

Digits<std::uint64_t> shortest(std::uint64_t m, int e, bool lowerGapHalved) {
    const bool even = (m & 1) == 0;
    const std::uint64_t mv = 4 * m;
    const std::uint64_t mp = mv + 2;
    const std::uint64_t mm = mv - (lowerGapHalved ? 1 : 2);
    const int e2 = e - 2;

    Scaled a{}, b{}, c{};
    int e10 = 0;
    if (e2 < -1) {
        // Times 10^t1 = x * 5^t1 / 2^(g-1), as for floats.
        const int g = floorLog10Pow5(-e2);
        const int t1 = -e2 - g + 1;
        e10 = -t1;
        a = timesPow5DivPow2(mm, t1, g - 1);
        b = timesPow5DivPow2(mv, t1, g - 1);
        c = timesPow5DivPow2(mp, t1, g - 1);
    } else if (e2 == -1) {
        // Half of whole numbers below 2^56: whole numbers once doubled.
        a = {mm * 5, true};
        b = {mv * 5, true};
        c = {mp * 5, true};
        e10 = -1;
    } else {
        // Divided by 10^(q-1) where 2^e2 / 10^q lies in [1, 10); below 10 the
        // values are whole numbers and kept as they are.
        const int q = floorLog10Pow2(e2);
        e10 = q > 0 ? q - 1 : 0;
        a = timesPow2DivPow10(mm, e2, e10);
        b = timesPow2DivPow10(mv, e2, e10);
        c = timesPow2DivPow10(mp, e2, e10);
    }
    std::uint64_t hi = c.value;
    // The upper end itself reads back to V only when m is even.
    if (c.exact && !even) {
        --hi;
    }
    return dropDigits<std::uint64_t>(a.value, b.value, hi, a.exact, b.exact, even, e10);
}

// Writes the whole number m * 2^e (below 10^22, so below 2^74) with all its
// digits; returns the end.
char* writeWhole(char* out, std::uint64_t m, int e) {
    if (e <= 10) {
        const std::uint64_t whole = e >= 0 ? m << e : m >> -e;
        const int n = digitCount(whole);
        writeDigits(out + n, whole, n);
        return out + n;
    }
    // m * 2^e in three words, cut into the digits above and the ten below 10^10.
    std::uint32_t w[4] = {};
    const int word = e / 32;
    const int bit = e % 32;
    const std::uint64_t low = m << bit;
    const std::uint64_t high = bit == 0 ? 0 : m >> (64 - bit);
    w[word] = static_cast<std::uint32_t>(low);
    w[word + 1] = static_cast<std::uint32_t>(low >> 32);
    w[word + 2] = static_cast<std::uint32_t>(high);
    const std::uint64_t belowLow = divideWords(w, 4, 100000);
    const std::uint64_t belowHigh = divideWords(w, 4, 100000);
    const std::uint64_t below = belowHigh * 100000 + belowLow;
    const std::uint64_t above = std::uint64_t{w[0]} | (std::uint64_t{w[1]} << 32);
    if (above == 0) {
        const int n = digitCount(below);
        writeDigits(out + n, below, n);
        return out + n;
    }
    const int n = digitCount(above);
    writeDigits(out + n, above, n);
    writeDigits(out + n + 10, below, 10);
    return out + n + 10;
}

// The text at out (room for 32 characters); returns its end.
char* writeShortestDouble(char* out, double v) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    const bool negative = (bits >> 63) != 0;
    const std::uint64_t field = (bits >> 52) & 0x7FF;
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    if (field == 0x7FF) {
        const char* word = fraction != 0 ? "nan" : "inf";
        if (negative) {
            *out++ = '-';
        }
        std::memcpy(out, word, 3);
        return out + 3;
    }
    if (negative) {
        *out++ = '-';
    }
    if (field == 0 && fraction == 0) {
        *out++ = '0';
        return out;
    }
    // Subnormals share the exponent of the smallest normal doubles.
    const std::uint64_t m = field == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
    const int e = (field == 0 ? 1 : static_cast<int>(field)) - 1023 - 52;
    const Digits<std::uint64_t> s = shortest(m, e, fraction == 0 && field > 1);

    const int n = digitCount(s.digits);
    const int point = s.exponent + n - 1; // decimal exponent of the first digit
    const int x = point < 0 ? -point : point;
    const int sciLength = n + (n > 1 ? 1 : 0) + 2 + (x >= 100 ? 3 : 2);
    const int plainLength = point >= n - 1 ? point + 1 : point >= 0 ? n + 1 : n + 1 - point;
    if (plainLength <= sciLength) {
        if (point >= n - 1) {
            // A whole number (then v itself is one, below 10^22): all its digits.
            return writeWhole(out, m, e);
        }
        if (point >= 0) {
            const int fractionDigits = n - point - 1;
            std::uint64_t scale = 1;
            for (int i = 0; i < fractionDigits; ++i) {
                scale *= 10;
            }
            writeDigits(out + point + 1, s.digits / scale, point + 1);
            out[point + 1] = '.';
            writeDigits(out + n + 1, s.digits % scale, fractionDigits);
            return out + n + 1;
        }
        // "0." and at most three zeros (plain is then no longer than scientific),
        // the four written at once and the digits after them.
        std::memcpy(out, "0.0000", 6);
        writeDigits(out + plainLength, s.digits, n);
        return out + plainLength;
    }
    std::uint64_t scale = 1;
    for (int i = 1; i < n; ++i) {
        scale *= 10;
    }
    *out++ = static_cast<char>('0' + s.digits / scale);
    if (n > 1) {
        *out++ = '.';
        writeDigits(out + n - 1, s.digits % scale, n - 1);
        out += n - 1;
    }
    *out++ = 'e';
    *out++ = point < 0 ? '-' : '+';
    if (x >= 100) {
        *out++ = static_cast<char>('0' + x / 100);
    }
    *out++ = static_cast<char>('0' + x / 10 % 10);
    *out++ = static_cast<char>('0' + x % 10);
    return out;
}

} // namespace

std::string shortestDouble(double v) {
    char buf[32];
    return std::string(buf, writeShortestDouble(buf, v));
}

} // namespace zm::cr
