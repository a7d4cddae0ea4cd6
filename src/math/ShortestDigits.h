#pragma once

// The pieces that the shortest float text and the shortest double text share
// (ShortestFloat.cpp, ShortestDouble.cpp): exact multi-word integer steps, the
// digit dropping that finds the shortest decimal in a scaled rounding interval,
// and the writing of digits. Integer arithmetic only.

#include <array>
#include <cstdint>
#include <cstring>

namespace zm::cr::digits {

// An integer cut down to a scale: its floor, and whether nothing was cut off.
struct Scaled {
    std::uint64_t value;
    bool exact;
};

// floor(n * log10(5)) for 0 <= n <= 1100 and floor(n * log10(2)) for
// 0 <= n <= 1100, in integer arithmetic (the constants are log10(5) * 2^32 and
// log10(2) * 2^32, rounded down; checked below over the whole range against
// the double-precision products, which are nowhere near an integer there).
constexpr int floorLog10Pow5(int n) {
    return static_cast<int>((static_cast<std::uint64_t>(n) * 3002053309u) >> 32);
}
constexpr int floorLog10Pow2(int n) {
    return static_cast<int>((static_cast<std::uint64_t>(n) * 1292913986u) >> 32);
}
constexpr bool log10FormulasHold() {
    for (int n = 0; n <= 1100; ++n) {
        if (floorLog10Pow5(n) != static_cast<int>(n * 0.69897000433601880479) ||
            floorLog10Pow2(n) != static_cast<int>(n * 0.30102999566398119521)) {
            return false;
        }
    }
    return true;
}
static_assert(log10FormulasHold());

// Multi-word integers are arrays of 32-bit words, lowest first.

// w = w * x over its n words; returns the word carried out of the top.
inline std::uint32_t multiplyWords(std::uint32_t* w, int n, std::uint32_t x) {
    std::uint64_t carry = 0;
    for (int i = 0; i < n; ++i) {
        const std::uint64_t t = std::uint64_t{w[i]} * x + carry;
        w[i] = static_cast<std::uint32_t>(t);
        carry = t >> 32;
    }
    return static_cast<std::uint32_t>(carry);
}

// w = floor(w / d) over its n words; returns the remainder.
inline std::uint32_t divideWords(std::uint32_t* w, int n, std::uint32_t d) {
    std::uint64_t rem = 0;
    for (int i = n - 1; i >= 0; --i) {
        const std::uint64_t cur = (rem << 32) | w[i];
        w[i] = static_cast<std::uint32_t>(cur / d);
        rem = cur % d;
    }
    return static_cast<std::uint32_t>(rem);
}

// Bits g to g + 63 of the n-word integer w (whose bits from g + 64 up are
// zero), and whether all its bits below g are zero.
inline Scaled bitsFrom(const std::uint32_t* w, int n, int g) {
    const int word = g / 32;
    const int bit = g % 32;
    auto at = [&](int i) -> std::uint64_t { return i < n ? w[i] : 0; };
    const std::uint64_t low = at(word) | (at(word + 1) << 32);
    const std::uint64_t top = at(word + 2);
    const std::uint64_t value = bit == 0 ? low : (low >> bit) | (top << (64 - bit));
    bool exact = (at(word) & ((std::uint64_t{1} << bit) - 1)) == 0;
    for (int i = 0; i < word && i < n; ++i) {
        exact = exact && w[i] == 0;
    }
    return {value, exact};
}

// The shortest decimal digits r and exponent p, r * 10^p.
template <typename U> struct Digits {
    U digits;
    int exponent;
};

// Drops digits from the right of the scaled rounding interval [lo, hi] around
// mid, the value scaled by 10^-e10: loExact and midExact tell whether nothing
// was cut from lo and mid, and `even` whether the ends belong to the interval.
// The decimal kept is the one of the shortest length nearest to the value
// (ties to the even digit), moved up by one unit when it falls below the
// interval. In U, 32 bits when the three fit: some WebAssembly engines divide
// a 64-bit integer by a constant with the processor's slow divide instruction,
// where a 32-bit one is a multiplication everywhere.
template <typename U>
Digits<U> dropDigits(U lo, U mid, U hi, bool loExact, bool midExact, bool even, int e10) {
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
        return {r, p};
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
    return {r, p};
}

inline int digitCount(std::uint64_t v) {
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
inline constexpr std::array<char, 200> digitPairs = makeDigitPairs();

// Writes v's n decimal digits ending just before `end` (leading zeros where v
// has fewer). Unsigned is 32 bits where the digits fit, as dividing a 32-bit
// number by a constant is a multiplication everywhere.
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

inline constexpr std::array<std::uint32_t, 10> powersOfTen = {
    1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

} // namespace zm::cr::digits
