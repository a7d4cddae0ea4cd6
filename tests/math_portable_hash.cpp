// Prints a hash of sin, cos and atan over a fixed set of 600,000 arguments per
// function: the same on every compiler and platform if the functions give the
// same bits everywhere. The arguments are made with integer arithmetic and
// exactly rounded operations only, so they are the same everywhere too.
// tests/math_platforms.sh builds and runs it for five targets.
#include "math/CorrectlyRounded.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

std::uint64_t state = 0x2026120811560000u;

std::uint64_t next() { // splitmix64
    std::uint64_t z = (state += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
}

double fromBits(std::uint64_t b) {
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

// Uniform in [-r, r): a 53-bit integer scaled, then one rounded product and sum.
double uniform(double r) {
    return static_cast<double>(next() >> 11) * 0x1p-53 * (2 * r) - r;
}

struct Hash {
    std::uint64_t h = 0xcbf29ce484222325u;
    long n = 0;
    void add(double y) {
        std::uint64_t b;
        std::memcpy(&b, &y, sizeof b);
        for (int i = 0; i < 8; ++i) {
            h = (h ^ ((b >> (8 * i)) & 0xff)) * 0x100000001b3u;
        }
        ++n;
    }
};

} // namespace

int main() {
    Hash hs, hc, ha;
    auto all = [&](double x) {
        hs.add(zm::cr::sin(x));
        hc.add(zm::cr::cos(x));
        ha.add(zm::cr::atan(x));
    };
    for (int i = 0; i < 250000; ++i) {
        all(uniform(40));
    }
    for (int i = 0; i < 100000; ++i) {
        all(uniform(4));
    }
    for (int i = 0; i < 200000; ++i) {
        all(fromBits(next())); // every kind of double, NaNs and infinities among them
    }
    for (int k = 1; k <= 50000; ++k) {
        all(k * 0x1.921fb54442d18p+0); // near k pi/2
    }
    std::printf("sin  %ld %016llx\ncos  %ld %016llx\natan %ld %016llx\n", hs.n,
                static_cast<unsigned long long>(hs.h), hc.n, static_cast<unsigned long long>(hc.h), ha.n,
                static_cast<unsigned long long>(ha.h));
    return 0;
}
