#pragma once

// Checking sine, cosine and arctangent against MPFR: the correctly rounded
// double (subnormals included), and whether the fast evaluation's error bound
// holds. Wherever sine or cosine is checked, so is the combined sincos. Arguments are checked on every core.

#include "math/CorrectlyRounded.h"

#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace zm::test {

enum class Fn { sin, cos, atan };

inline const char* name(Fn f) {
    return f == Fn::sin ? "sin" : f == Fn::cos ? "cos" : "atan";
}

inline bool sameBits(double a, double b) {
    if (std::isnan(a) && std::isnan(b)) {
        return true;
    }
    return std::memcmp(&a, &b, sizeof a) == 0;
}

inline double ours(Fn f, double x) {
    return f == Fn::sin ? cr::sin(x) : f == Fn::cos ? cr::cos(x) : cr::atan(x);
}

inline double oursExact(Fn f, double x) {
    return f == Fn::sin   ? cr::detail::sinExact(x)
           : f == Fn::cos ? cr::detail::cosExact(x)
                          : cr::detail::atanExact(x);
}

inline cr::detail::Approx oursFast(Fn f, double x) {
    return f == Fn::sin   ? cr::detail::sinApprox(x)
           : f == Fn::cos ? cr::detail::cosApprox(x)
                          : cr::detail::atanApprox(x);
}

inline int mpfrApply(Fn f, mpfr_ptr y, mpfr_srcptr x) {
    return f == Fn::sin   ? mpfr_sin(y, x, MPFR_RNDN)
           : f == Fn::cos ? mpfr_cos(y, x, MPFR_RNDN)
                          : mpfr_atan(y, x, MPFR_RNDN);
}

// MPFR's exponent range set to the doubles' in this thread, so that rounding
// to 53 bits and then subnormalizing gives the double rounding exactly.
inline void doubleRange() {
    mpfr_set_emin(-1073);
    mpfr_set_emax(1024);
}

// The exact f(x) rounded to the nearest double, ties to even.
inline double correct(Fn f, double x) {
    doubleRange();
    mpfr_t a, y;
    mpfr_init2(a, 53);
    mpfr_init2(y, 53);
    mpfr_set_d(a, x, MPFR_RNDN);
    int t = mpfrApply(f, y, a);
    t = mpfr_subnormalize(y, t, MPFR_RNDN);
    const double r = mpfr_get_d(y, MPFR_RNDN);
    mpfr_clears(a, y, static_cast<mpfr_ptr>(nullptr));
    return r;
}

// Whether |hi + lo - f(x)| <= err, with f(x) to 128 bits: the bound is at
// least 2^-67 |f(x)|, so that precision decides it.
inline bool withinBound(Fn f, double x, const cr::detail::Approx& ap) {
    mpfr_t a, y, d;
    mpfr_init2(a, 53);
    mpfr_init2(y, 128);
    mpfr_init2(d, 256);
    mpfr_set_d(a, x, MPFR_RNDN);
    mpfrApply(f, y, a);
    mpfr_set_d(d, ap.hi, MPFR_RNDN);
    mpfr_add_d(d, d, ap.lo, MPFR_RNDN);
    mpfr_sub(d, d, y, MPFR_RNDN);
    mpfr_abs(d, d, MPFR_RNDN);
    const bool ok = mpfr_cmp_d(d, ap.err) <= 0;
    mpfr_clears(a, y, d, static_cast<mpfr_ptr>(nullptr));
    return ok;
}

// The double nearest k pi/2.
inline double nearestMultipleOfHalfPi(long k) {
    doubleRange();
    mpfr_t p, r;
    mpfr_init2(p, 300);
    mpfr_init2(r, 53);
    mpfr_const_pi(p, MPFR_RNDN);
    mpfr_mul_si(p, p, k, MPFR_RNDN);
    mpfr_div_2ui(p, p, 1, MPFR_RNDN);
    mpfr_set(r, p, MPFR_RNDN);
    const double x = mpfr_get_d(r, MPFR_RNDN);
    mpfr_clears(p, r, static_cast<mpfr_ptr>(nullptr));
    return x;
}

struct Tally {
    long long checked = 0;
    long long wrong = 0;        // results not correctly rounded
    long long outsideBound = 0; // fast evaluations further from the exact value than their bound
    std::string firstWrong;
    std::string firstOutside;

    void add(const Tally& o) {
        checked += o.checked;
        wrong += o.wrong;
        outsideBound += o.outsideBound;
        if (firstWrong.empty()) {
            firstWrong = o.firstWrong;
        }
        if (firstOutside.empty()) {
            firstOutside = o.firstOutside;
        }
    }
};

inline std::string hex(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%a", v);
    return buf;
}

// Checks f at every argument against MPFR; at every boundEvery-th argument
// where the fast evaluation applies, its bound; at every 16th argument, the
// exact path alone.
inline Tally checkRange(Fn f, const double* xs, std::size_t n, std::size_t boundEvery) {
    Tally t;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = xs[i];
        const double want = correct(f, x);
        const double got = ours(f, x);
        ++t.checked;
        if (!sameBits(got, want)) {
            if (t.wrong++ == 0) {
                t.firstWrong = std::string(" at ") + hex(x) + ": " + hex(got) + " instead of " + hex(want);
            }
        }
        if (f != Fn::atan) {
            // The combined sine and cosine must give each bit for bit.
            const cr::SinCos sc = cr::sincos(x);
            if (!sameBits(f == Fn::sin ? sc.sin : sc.cos, want)) {
                if (t.wrong++ == 0) {
                    t.firstWrong = std::string(" sincos at ") + hex(x);
                }
            }
        }
        const cr::detail::Approx ap = oursFast(f, x);
        if (i % boundEvery == 0 && ap.err >= 0 && !withinBound(f, x, ap)) {
            if (t.outsideBound++ == 0) {
                t.firstOutside = std::string(" fast bound broken at ") + hex(x);
            }
        }
        if (i % 16 == 0 && !sameBits(oursExact(f, x), want)) {
            if (t.wrong++ == 0) {
                t.firstWrong = std::string(" exact path at ") + hex(x);
            }
        }
    }
    return t;
}

inline Tally checkAll(Fn f, const std::vector<double>& xs, std::size_t boundEvery = 1) {
    const unsigned cores = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    const bool threads = mpfr_buildopt_tls_p() != 0 && cores > 1;
    const std::size_t parts = threads ? cores : 1;
    std::vector<Tally> tallies(parts);
    std::vector<std::thread> workers;
    const std::size_t per = (xs.size() + parts - 1) / parts;
    for (std::size_t p = 0; p < parts; ++p) {
        const std::size_t from = std::min(xs.size(), p * per);
        const std::size_t to = std::min(xs.size(), from + per);
        if (threads) {
            workers.emplace_back([&, p, from, to] {
                tallies[p] = checkRange(f, xs.data() + from, to - from, boundEvery);
                mpfr_free_cache();
            });
        } else {
            tallies[p] = checkRange(f, xs.data() + from, to - from, boundEvery);
        }
    }
    for (std::thread& w : workers) {
        w.join();
    }
    Tally all;
    for (const Tally& t : tallies) {
        all.add(t);
    }
    return all;
}

} // namespace zm::test
