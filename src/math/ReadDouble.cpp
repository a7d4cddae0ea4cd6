#include "math/ReadDouble.h"

#include "math/ShortestDigits.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace zm::cr {

namespace {

// ---------------------------------------------------------------------------
// A decimal D * 10^e (D its significant digits) is read in one of two ways.
// When D < 2^53 and |e| <= 22, D and 10^|e| are doubles exactly, and one
// multiplication or division rounds their product or quotient correctly.
// Otherwise in integers: D * 5^e / 1 or D / 5^-e, scaled by a power of two so
// that the quotient q has 63 or 64 bits, is divided out exactly, and q * 2^e2
// with a note of the remainder is rounded to the double's bits.
// ---------------------------------------------------------------------------

// Significant digits kept. A decimal with more (its last digit is not zero)
// has a 1 put after its 800th digit in place of the rest: it lies strictly
// between the same two 800-digit decimals as before, and no double and no
// point half-way between two (which have at most 767 significant digits) lies
// between those, so it rounds the same.
constexpr std::int64_t keptDigits = 800;

// Bits as a double (std::bit_cast, which not every standard library that
// builds the program has).
double doubleOf(std::uint64_t bits) {
    double v = 0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

constexpr std::uint64_t infinityBits = std::uint64_t{0x7FF} << 52;

// A nonnegative integer in 32-bit words, lowest first. 100 words hold the
// largest the reading makes: 5^1124 (the smallest decimal read, 801 digits
// below 10^-323) or D < 10^801, shifted up by 64 bits for the division.
struct Big {
    static constexpr int capacity = 100;
    std::uint32_t w[capacity] = {};
    int n = 0; // words in use, the top one not zero

    explicit Big(std::uint64_t v) {
        w[0] = static_cast<std::uint32_t>(v);
        w[1] = static_cast<std::uint32_t>(v >> 32);
        n = w[1] != 0 ? 2 : w[0] != 0 ? 1 : 0;
    }

    void multiplyAdd(std::uint32_t m, std::uint32_t a) {
        const std::uint32_t carry = digits::multiplyWords(w, n, m);
        if (carry != 0) {
            w[n++] = carry;
        }
        std::uint64_t sum = a;
        for (int i = 0; sum != 0; ++i) {
            sum += i < n ? w[i] : 0;
            w[i] = static_cast<std::uint32_t>(sum);
            sum >>= 32;
            n = std::max(n, i + 1);
        }
    }

    void timesPow5(std::int64_t k) {
        for (; k > 0; k -= 13) {
            std::uint32_t f = 1;
            for (std::int64_t i = 0; i < std::min<std::int64_t>(k, 13); ++i) {
                f *= 5;
            }
            multiplyAdd(f, 0);
        }
    }

    int bits() const { return n == 0 ? 0 : 32 * (n - 1) + std::bit_width(w[n - 1]); }

    void shiftLeft(int s) {
        if (n == 0 || s == 0) {
            return;
        }
        const int words = s / 32;
        const int bit = s % 32;
        if (bit == 0) {
            for (int i = n - 1; i >= 0; --i) {
                w[i + words] = w[i];
            }
        } else {
            w[n + words] = w[n - 1] >> (32 - bit);
            for (int i = n - 1; i > 0; --i) {
                w[i + words] = (w[i] << bit) | (w[i - 1] >> (32 - bit));
            }
            w[words] = w[0] << bit;
        }
        std::fill(w, w + words, 0u);
        n += words + (bit != 0 ? 1 : 0);
        while (n > 0 && w[n - 1] == 0) {
            --n;
        }
    }

    bool below(const Big& b) const {
        if (n != b.n) {
            return n < b.n;
        }
        for (int i = n - 1; i >= 0; --i) {
            if (w[i] != b.w[i]) {
                return w[i] < b.w[i];
            }
        }
        return false;
    }

    // *this -= b, where b is not above *this.
    void subtract(const Big& b) {
        std::uint64_t borrow = 0;
        for (int i = 0; i < n; ++i) {
            const std::uint64_t d = std::uint64_t{w[i]} - (i < b.n ? b.w[i] : 0) - borrow;
            w[i] = static_cast<std::uint32_t>(d);
            borrow = d >> 63;
        }
        while (n > 0 && w[n - 1] == 0) {
            --n;
        }
    }
};

// floor(r / s) for r < s * 2^64, bit by bit; r is left holding the remainder
// (times 2^64), zero when the division was exact.
std::uint64_t quotient(Big& r, Big s) {
    s.shiftLeft(64);
    std::uint64_t q = 0;
    for (int i = 0; i < 64; ++i) {
        r.shiftLeft(1);
        q <<= 1;
        if (!r.below(s)) {
            r.subtract(s);
            q |= 1;
        }
    }
    return q;
}

// The bits of the double nearest to q * 2^e2 (q of 63 or 64 bits), ties to
// even, where `inexact` says that the true value is a little above q * 2^e2.
std::uint64_t roundedBits(std::uint64_t q, int e2, bool inexact) {
    const int b = std::bit_width(q);
    const int top = e2 + b - 1; // the value lies in [2^top, 2^(top + 1))
    if (top > 1023) {
        return infinityBits;
    }
    // The bits of q below the double's last: at least 10, as q has 63 or more.
    const int drop = top >= -1022 ? b - 53 : -1074 - e2;
    if (drop > 64) {
        return 0; // below half the smallest subnormal
    }
    std::uint64_t m = drop == 64 ? 0 : q >> drop;
    const std::uint64_t rest = drop == 64 ? q : q & ((std::uint64_t{1} << drop) - 1);
    const std::uint64_t half = std::uint64_t{1} << (drop - 1);
    if (rest > half || (rest == half && (inexact || (m & 1) != 0))) {
        ++m; // a carry to 2^53 moves into the exponent, up to an infinity
    }
    // A normal double's m is 2^52 to 2^53, its hidden bit one more exponent
    // step; a subnormal's m is below 2^52 (2^52 is the smallest normal).
    return top >= -1022 ? (static_cast<std::uint64_t>(top + 1022) << 52) + m : m;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

bool readDouble(std::string_view text, double& out) {
    const std::size_t size = text.size();
    std::size_t i = 0;
    const bool negative = i < size && text[i] == '-';
    if (i < size && (text[i] == '-' || text[i] == '+')) {
        ++i;
    }
    const std::size_t intBegin = i;
    while (i < size && isDigit(text[i])) {
        ++i;
    }
    const std::size_t intDigits = i - intBegin;
    std::size_t fracBegin = i;
    if (i < size && text[i] == '.') {
        fracBegin = ++i;
        while (i < size && isDigit(text[i])) {
            ++i;
        }
    }
    const std::size_t allDigits = intDigits + (i - fracBegin);
    if (allDigits == 0) {
        return false;
    }
    std::int64_t exponent = 0; // beyond a million, every decimal is an infinity or zero
    if (i < size && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        const bool down = i < size && text[i] == '-';
        if (i < size && (text[i] == '-' || text[i] == '+')) {
            ++i;
        }
        const std::size_t begin = i;
        for (; i < size && isDigit(text[i]); ++i) {
            exponent = std::min<std::int64_t>(exponent * 10 + (text[i] - '0'), 1000000);
        }
        if (i == begin) {
            return false;
        }
        exponent = down ? -exponent : exponent;
    }
    if (i != size) {
        return false;
    }

    // The digits before and after the point as one run; digit t stands at
    // 10^(intDigits - 1 - t).
    const auto digit = [&](std::size_t t) {
        return static_cast<std::uint32_t>(text[t < intDigits ? intBegin + t : fracBegin + (t - intDigits)] -
                                          '0');
    };
    std::size_t first = 0;
    while (first < allDigits && digit(first) == 0) {
        ++first;
    }
    const std::uint64_t sign = negative ? std::uint64_t{1} << 63 : 0;
    // p: the decimal lies in [10^(p - 1), 10^p).
    const std::int64_t p = static_cast<std::int64_t>(intDigits) - static_cast<std::int64_t>(first) + exponent;
    if (first == allDigits || p < -323) {
        out = doubleOf(sign);
        return true;
    }
    if (p > 309) {
        out = doubleOf(sign | infinityBits);
        return true;
    }
    std::size_t last = allDigits - 1;
    while (digit(last) == 0) {
        --last;
    }
    const std::int64_t count = static_cast<std::int64_t>(last - first + 1);
    std::int64_t e = p - count; // the decimal is D * 10^e

    std::uint64_t d = 0; // D, when it has 19 digits or fewer
    if (count <= 19) {
        for (std::size_t t = first; t <= last; ++t) {
            d = d * 10 + digit(t);
        }
        if (d <= (std::uint64_t{1} << 53) && e >= -22 && e <= 22) {
            static constexpr double tens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
            const double v = static_cast<double>(d);
            out = e >= 0 ? v * tens[e] : v / tens[-e];
            out = negative ? -out : out;
            return true;
        }
    }
    Big n(d);
    if (count > 19) {
        const std::size_t end = first + static_cast<std::size_t>(std::min(count, keptDigits));
        for (std::size_t t = first; t < end;) {
            std::uint32_t chunk = 0;
            std::uint32_t scale = 1;
            for (; t < end && scale < 1000000000; ++t) {
                chunk = chunk * 10 + digit(t);
                scale *= 10;
            }
            n.multiplyAdd(scale, chunk);
        }
    }
    if (count > keptDigits) {
        n.multiplyAdd(10, 1);
        e = p - keptDigits - 1;
    }
    Big s(1);
    if (e >= 0) {
        n.timesPow5(e);
    } else {
        s.timesPow5(-e);
    }
    // Scaled so that n / s lies in (2^62, 2^64).
    const int shift = 63 - (n.bits() - s.bits());
    if (shift >= 0) {
        n.shiftLeft(shift);
    } else {
        s.shiftLeft(-shift);
    }
    const std::uint64_t q = quotient(n, s);
    out = doubleOf(sign | roundedBits(q, static_cast<int>(e) - shift, n.n != 0));
    return true;
}

} // namespace zm::cr
