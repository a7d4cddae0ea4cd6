#include "math/ShortestFloat.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace zm::cr {

namespace {

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

// floor(n * log10(5)) for 0 <= n <= 151 and floor(n * log10(2)) for
// 0 <= n <= 102, in integer arithmetic (the constants are log10(5) * 2^20 and
// log10(2) * 2^20, rounded down; checked below over the whole range against
// the double-precision products, which are nowhere near an integer there).
constexpr int floorLog10Pow5(int n) {
    return static_cast<int>((static_cast<std::uint32_t>(n) * 732923u) >> 20);
}
constexpr int floorLog10Pow2(int n) {
    return static_cast<int>((static_cast<std::uint32_t>(n) * 315652u) >> 20);
}
constexpr bool log10FormulasHold() {
    for (int n = 0; n <= 151; ++n) {
        if (floorLog10Pow5(n) != static_cast<int>(n * 0.69897000433601880479) ||
            (n <= 102 && floorLog10Pow2(n) != static_cast<int>(n * 0.30102999566398119521))) {
            return false;
        }
    }
    return true;
}
static_assert(log10FormulasHold());

// An integer cut down to a scale: its floor, and whether nothing was cut off.
struct Scaled {
    std::uint64_t value;
    bool exact;
};

// floor(x * 5^k / 2^g) for x < 2^32, k <= 47 and g <= 105. The result is
// below 2^34 where it is used.
Scaled timesPow5DivPow2(std::uint32_t x, int k, int g) {
    const Words& p = powersOfFive[static_cast<std::size_t>(k)];
    std::uint32_t w[5];
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::uint64_t t = std::uint64_t{p[i]} * x + carry;
        w[i] = static_cast<std::uint32_t>(t);
        carry = t >> 32;
    }
    w[4] = static_cast<std::uint32_t>(carry);
    // Bits g to g + 63 of the 160-bit product.
    const int word = g / 32;
    const int bit = g % 32;
    auto at = [&](int i) -> std::uint64_t { return i <= 4 ? w[i] : 0; };
    const std::uint64_t low = at(word) | (at(word + 1) << 32);
    const std::uint64_t top = at(word + 2);
    const std::uint64_t value = bit == 0 ? low : (low >> bit) | (top << (64 - bit));
    bool exact = (w[word] & ((std::uint32_t{1} << bit) - 1)) == 0;
    for (int i = 0; i < word; ++i) {
        exact = exact && w[i] == 0;
    }
    return {value, exact};
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
        std::uint32_t d = 1;
        for (int i = 0; i < step; ++i) {
            d *= 10;
        }
        std::uint64_t rem = 0;
        for (int i = 4; i >= 0; --i) {
            const std::uint64_t cur = (rem << 32) | w[i];
            w[i] = static_cast<std::uint32_t>(cur / d);
            rem = cur % d;
        }
        exact = exact && rem == 0;
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

// Drops digits from the right of the scaled interval [lo, hi] around mid (see
// shortest): loExact and midExact tell whether nothing was cut from lo and
// mid. In U, 32 bits when the three fit: some WebAssembly engines divide a
// 64-bit integer by a constant with the processor's slow divide instruction,
// where a 32-bit one is a multiplication everywhere.
template <typename U>
Shortest dropDigits(U lo, U mid, U hi, bool loExact, bool midExact, bool even, int e10) {
    if (!loExact && !midExact) {
        // The usual case: something nonzero was already cut from lo and from
        // mid, so lo itself is below the interval and mid is never half-way.
        int last = 0;
        int removed = 0;
        if (hi / 100 > lo / 100) {
            last = static_cast<int>(mid % 100 / 10);
            lo /= 100;
            mid /= 100;
            hi /= 100;
            removed = 2;
        }
        while (hi / 10 > lo / 10) {
            last = static_cast<int>(mid % 10);
            lo /= 10;
            mid /= 10;
            hi /= 10;
            ++removed;
        }
        U r = mid + ((mid == lo || last >= 5) ? 1 : 0);
        int p = e10 + removed;
        while (r % 10 == 0 && r != 0) {
            r /= 10;
            ++p;
        }
        return {static_cast<std::uint32_t>(r), p};
    }
    bool loCutZeros = loExact;   // all digits dropped from lo were zeros
    bool midCutZeros = midExact; // all digits dropped from mid before `last` were zeros
    int last = 0;                // the last digit dropped from mid
    int removed = 0;
    const auto dropDigit = [&] {
        midCutZeros = midCutZeros && last == 0;
        last = static_cast<int>(mid % 10);
        lo /= 10;
        mid /= 10;
        hi /= 10;
        ++removed;
    };
    // While a decimal one digit shorter lies above lo and not above hi.
    while (hi / 10 > lo / 10) {
        loCutZeros = loCutZeros && lo % 10 == 0;
        dropDigit();
    }
    // The lower end exactly, when it belongs to the interval, may be shorter still.
    if (even && loCutZeros) {
        while (lo % 10 == 0 && lo != 0) {
            dropDigit();
        }
    }
    // Nearest to V; exactly half-way goes to the even digit.
    if (midCutZeros && last == 5 && mid % 2 == 0) {
        last = 4;
    }
    const bool belowInterval = mid == lo && !(even && loCutZeros);
    U r = mid + ((belowInterval || last >= 5) ? 1 : 0);
    int p = e10 + removed;
    while (r % 10 == 0 && r != 0) {
        r /= 10;
        ++p;
    }
    return {static_cast<std::uint32_t>(r), p};
}

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
        return dropDigits<std::uint32_t>(static_cast<std::uint32_t>(lo), static_cast<std::uint32_t>(mid),
                                         static_cast<std::uint32_t>(hi), a.exact, b.exact, even, e10);
    }
    return dropDigits<std::uint64_t>(lo, mid, hi, a.exact, b.exact, even, e10);
}

int digitCount(std::uint64_t v) {
    int n = 1;
    for (std::uint64_t p = 10; n < 20 && v >= p; p *= 10) {
        ++n;
    }
    return n;
}

// "00", "01", ... "99".
constexpr std::array<char, 200> makeDigitPairs() {
    std::array<char, 200> t{};
    for (int i = 0; i < 100; ++i) {
        t[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
        t[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
    }
    return t;
}
constexpr std::array<char, 200> digitPairs = makeDigitPairs();

// Writes v's n decimal digits ending just before `end` (leading zeros where v
// has fewer). Unsigned holds the significant digits of a float in 32 bits,
// where dividing by a constant is a multiplication everywhere.
template <typename Unsigned> void writeDigits(char* end, Unsigned v, int n) {
    for (; n >= 2; n -= 2) {
        const Unsigned q = v / 100;
        end -= 2;
        std::memcpy(end, &digitPairs[static_cast<std::size_t>(2 * (v - q * 100))], 2);
        v = q;
    }
    if (n == 1) {
        *--end = static_cast<char>('0' + v % 10);
    }
}

constexpr std::array<std::uint32_t, 10> powersOfTen = {1,      10,      100,      1000,      10000,
                                                       100000, 1000000, 10000000, 100000000, 1000000000};

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
