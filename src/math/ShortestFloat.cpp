#include "math/ShortestFloat.h"

#include "math/ShortestDigits.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace zm::cr {

namespace {

using namespace digits;

// ---------------------------------------------------------------------------
// Shortest round-trip decimals of floats.
//
// A positive finite float is V = m * 2^e (m < 2^24 an integer). The decimals
// that read back to V are those inside its rounding interval, which reaches
// half-way to each neighbour; a reader rounds a decimal exactly half-way to
// the float with the even significand, so the two ends belong to the interval
// when m is even. Scaled by 4 so that the ends are integers too, the interval
// is [mm, mp] * 2^(e-2) around mv * 2^(e-2), with mv = 4m, mp = 4m + 2 and
// mm = 4m - 2 (4m - 1 at a power of two, where the float below is half as far
// away as the one above).
//
// The three are scaled by a power of ten, 10^-e10, chosen so that the interval
// is 30 to 400 units wide, and cut to integers exactly (multi-word integer
// arithmetic, no rounding anywhere), remembering whether anything was cut off.
// Then digits are dropped from the right while a shorter decimal still lies in
// the interval. The decimal kept is the one of that length nearest to V (ties
// to the even digit), moved up by one unit when it falls below the interval:
// the shortest text, and of the shortest the nearest to V.
// ---------------------------------------------------------------------------

// 5^k exactly, for k up to 47 (5^47 < 2^110), as four 32-bit words, lowest first.
using Words = std::array<std::uint32_t, 4>;

constexpr std::array<Words, 48> makePowersOfFive() {
    std::array<Words, 48> p{};
    p[0] = Words{1, 0, 0, 0};
    for (std::size_t k = 1; k < p.size(); ++k) {
        std::uint64_t carry = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const std::uint64_t t = std::uint64_t{p[k - 1][i]} * 5 + carry;
            p[k][i] = static_cast<std::uint32_t>(t);
            carry = t >> 32;
        }
    }
    return p;
}

constexpr std::array<Words, 48> powersOfFive = makePowersOfFive();
static_assert(powersOfFive[13][1] == 0); // 5^13 < 2^32

// floor(x * 5^k / 2^g) for x < 2^32, k <= 47 and g <= 105. The result is
// below 2^34 where it is used.
Scaled timesPow5DivPow2(std::uint32_t x, int k, int g) {
    const Words& p = powersOfFive[static_cast<std::size_t>(k)];
    std::uint32_t w[5] = {p[0], p[1], p[2], p[3], 0};
    w[4] = multiplyWords(w, 4, x);
    // Bits g to g + 63 of the 160-bit product.
    return bitsFrom(w, 5, g);
}

// floor(x * 2^s / 10^k) for x < 2^32, s <= 102 (so x * 2^s < 2^134 fits in five
// words) and k <= 30. The result is below 2^34 where it is used.
Scaled timesPow2DivPow10(std::uint32_t x, int s, int k) {
    std::uint32_t w[5] = {0, 0, 0, 0, 0};
    const int word = s / 32;
    const int bit = s % 32;
    const std::uint64_t shifted = std::uint64_t{x} << bit;
    w[word] = static_cast<std::uint32_t>(shifted);
    if (word + 1 < 5) {
        w[word + 1] = static_cast<std::uint32_t>(shifted >> 32);
    }
    bool exact = true;
    while (k > 0) {
        const int step = k < 9 ? k : 9;
        exact = divideWords(w, 5, powersOfTen[static_cast<std::size_t>(step)]) == 0 && exact;
        k -= step;
    }
    return {std::uint64_t{w[0]} | (std::uint64_t{w[1]} << 32), exact};
}

// The shortest decimal digits r and exponent p with r * 10^p reading back to
// the float with significand m and exponent e (value m * 2^e, m > 0).
struct Shortest {
    std::uint32_t digits;
    int exponent;
};

Shortest shortest(std::uint32_t m, int e, bool lowerGapHalved) {
    const bool even = (m & 1) == 0;
    const std::uint32_t mv = 4 * m;
    const std::uint32_t mp = mv + 2;
    const std::uint32_t mm = mv - (lowerGapHalved ? 1 : 2);
    const int e2 = e - 2;

    Scaled a{}, b{}, c{};
    int e10 = 0;
    if (e2 < -1) {
        // Times 10^t1: x * 2^e2 * 10^t1 = x * 5^t1 / 2^(-e2 - t1). With
        // g = floor(-e2 * log10(5)) and t = -e2 - g, 2^e2 * 10^t lies in [1, 10);
        // one digit more, t1 = t + 1, keeps the ends 30 to 400 units apart.
        const int g = floorLog10Pow5(-e2);
        const int t1 = -e2 - g + 1;
        e10 = -t1;
        if (t1 <= 13) {
            // From about 1e-5 up (the plane's numbers): 5^t1 < 2^31, so the
            // products stay below 2^57, and the shift g - 1 is below 31 since
            // 5^t1 / 2^(g-1) is at least 10.
            const std::uint64_t p = powersOfFive[static_cast<std::size_t>(t1)][0];
            const int shift = g - 1;
            const std::uint64_t cut = (std::uint64_t{1} << shift) - 1;
            const auto scale = [&](std::uint32_t x) {
                const std::uint64_t full = x * p;
                return Scaled{full >> shift, (full & cut) == 0};
            };
            a = scale(mm);
            b = scale(mv);
            c = scale(mp);
        } else {
            a = timesPow5DivPow2(mm, t1, g - 1);
            b = timesPow5DivPow2(mv, t1, g - 1);
            c = timesPow5DivPow2(mp, t1, g - 1);
        }
    } else if (e2 == -1) {
        // Half of whole numbers below 2^27: whole numbers once doubled.
        a = {std::uint64_t{mm} * 5, true};
        b = {std::uint64_t{mv} * 5, true};
        c = {std::uint64_t{mp} * 5, true};
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

    std::uint64_t lo = a.value;
    std::uint64_t mid = b.value;
    std::uint64_t hi = c.value;
    // The upper end itself reads back to V only when m is even.
    if (c.exact && !even) {
        --hi;
    }
    if ((hi >> 32) == 0) {
        const Digits<std::uint32_t> d =
            dropDigits<std::uint32_t>(static_cast<std::uint32_t>(lo), static_cast<std::uint32_t>(mid),
                                      static_cast<std::uint32_t>(hi), a.exact, b.exact, even, e10);
        return {d.digits, d.exponent};
    }
    const Digits<std::uint64_t> d = dropDigits<std::uint64_t>(lo, mid, hi, a.exact, b.exact, even, e10);
    return {static_cast<std::uint32_t>(d.digits), d.exponent};
}

} // namespace

// Writes the shortest decimal that reads back to v, in the shorter of plain and
// scientific notation (plain when both are as long): "165.6002", "-75",
// "1e-05". A whole number in plain notation is written with all its digits
// exact ("123456792"). At most 15 characters; returns the end.
char* writeShortestFloat(char* out, float v) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    const bool negative = (bits >> 31) != 0;
    const std::uint32_t field = (bits >> 23) & 0xFF;
    const std::uint32_t fraction = bits & 0x7FFFFF;
    if (field == 0xFF) {
        if (fraction != 0) {
            std::memcpy(out, negative ? "-nan" : "nan", negative ? 4 : 3);
            return out + (negative ? 4 : 3);
        }
        std::memcpy(out, negative ? "-inf" : "inf", negative ? 4 : 3);
        return out + (negative ? 4 : 3);
    }
    if (negative) {
        *out++ = '-';
    }
    if (field == 0 && fraction == 0) {
        *out++ = '0';
        return out;
    }
    // Subnormals share the exponent of the smallest normal floats.
    const std::uint32_t m = field == 0 ? fraction : fraction | 0x800000;
    const int e = (field == 0 ? 1 : static_cast<int>(field)) - 127 - 23;
    const Shortest s = shortest(m, e, fraction == 0 && field > 1);

    // The digits are written where they belong, around the point, with no
    // copying of variable length (a call of its own in WebAssembly).
    const int n = digitCount(s.digits);
    const int point = s.exponent + n - 1; // decimal exponent of the first digit
    const int sciLength = n + (n > 1 ? 1 : 0) + 4;
    const int plainLength = point >= n - 1 ? point + 1 : point >= 0 ? n + 1 : n + 1 - point;
    if (plainLength <= sciLength) {
        if (point >= n - 1) {
            // A whole number (then v itself is one, below 10^14): all its digits.
            const std::uint64_t whole = e >= 0 ? std::uint64_t{m} << e : m >> -e;
            const int w = digitCount(whole);
            if ((whole >> 32) == 0) {
                writeDigits(out + w, static_cast<std::uint32_t>(whole), w); // see dropDigits
            } else {
                writeDigits(out + w, whole, w);
            }
            return out + w;
        }
        if (point >= 0) {
            const int fraction = n - point - 1;
            const std::uint32_t scale = powersOfTen[static_cast<std::size_t>(fraction)];
            writeDigits(out + point + 1, s.digits / scale, point + 1);
            out[point + 1] = '.';
            writeDigits(out + n + 1, s.digits % scale, fraction);
            return out + n + 1;
        }
        // "0." and at most three zeros (plain is then no longer than
        // scientific), the four written at once and the digits after them.
        std::memcpy(out, "0.0000", 6);
        writeDigits(out + plainLength, s.digits, n);
        return out + plainLength;
    }
    const std::uint32_t scale = powersOfTen[static_cast<std::size_t>(n - 1)];
    *out++ = static_cast<char>('0' + s.digits / scale);
    if (n > 1) {
        *out++ = '.';
        writeDigits(out + n - 1, s.digits % scale, n - 1);
        out += n - 1;
    }
    *out++ = 'e';
    *out++ = point < 0 ? '-' : '+';
    const int x = point < 0 ? -point : point;
    *out++ = static_cast<char>('0' + x / 10);
    *out++ = static_cast<char>('0' + x % 10);
    return out;
}

std::string shortestFloat(float v) {
    char buf[shortestFloatMaxChars];
    return std::string(buf, writeShortestFloat(buf, v));
}

} // namespace zm::cr
