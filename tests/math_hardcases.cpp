// Finds arguments whose exact sine, cosine or arctangent lies within 2^-15 of
// a unit in the last place from a midpoint between two doubles: the arguments
// hardest to round. Writes them, with their correctly rounded results, as the
// data file the tests read:
//
//   g++ -std=c++20 -O2 tests/math_hardcases.cpp -lmpfr -lgmp -o hard && ./hard 150 >
//   tests/data/math-hard-cases.txt
//
// Half the arguments come from the program's own range ([-40, 40] for sine and
// cosine, [-4, 4] for the arctangent's ratios), half from every magnitude.
#include <mpfr.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

using Fn = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);

// Distance, in units in the last place, from the exact f(x) to the nearest
// midpoint between two doubles; the correctly rounded result in *rounded.
double midpointDistance(Fn f, double x, double* rounded) {
    mpfr_t a, y;
    mpfr_init2(a, 53);
    mpfr_init2(y, 256);
    mpfr_set_d(a, x, MPFR_RNDN);
    f(y, a, MPFR_RNDN);
    mpfr_abs(y, y, MPFR_RNDN);
    // |y| = m 2^E with 1/2 <= m < 1: a unit in the last place is 2^(E-53).
    const mpfr_exp_t e = mpfr_get_exp(y);
    mpfr_mul_2si(y, y, 53 - e, MPFR_RNDN);
    mpfr_t fl;
    mpfr_init2(fl, 256);
    mpfr_floor(fl, y);
    mpfr_sub(y, y, fl, MPFR_RNDN);
    mpfr_sub_d(y, y, 0.5, MPFR_RNDN);
    const double d = std::fabs(mpfr_get_d(y, MPFR_RNDN));
    mpfr_t r;
    mpfr_init2(r, 53);
    f(r, a, MPFR_RNDN);
    *rounded = mpfr_get_d(r, MPFR_RNDN);
    mpfr_clears(a, y, fl, r, static_cast<mpfr_ptr>(nullptr));
    return d;
}

double anyMagnitude(std::mt19937_64& g, int lowExp) {
    const int span = 1023 - lowExp + 1;
    const int e = lowExp + static_cast<int>(g() % static_cast<std::uint64_t>(span));
    const double m = 1 + static_cast<double>(g() >> 12) * 0x1p-52;
    const double x = std::ldexp(m, e);
    return (g() & 1) ? -x : x;
}

} // namespace

int main(int argc, char** argv) {
    const int want = argc > 1 ? std::atoi(argv[1]) : 150;
    mpfr_set_emin(-1073);
    mpfr_set_emax(1024);
    struct Job {
        const char* name;
        Fn f;
        double range;
        int lowExp;
    } jobs[] = {{"sin", mpfr_sin, 40, -26}, {"cos", mpfr_cos, 40, -27}, {"atan", mpfr_atan, 4, -27}};
    std::printf("# function argument result distance-to-midpoint-in-ulps (hex doubles)\n");
    for (const Job& job : jobs) {
        std::mt19937_64 g(20261208);
        std::uniform_real_distribution<double> near(-job.range, job.range);
        for (int found = 0; found < want;) {
            // The source alternates with each case found.
            const double x = (found % 2 == 0) ? near(g) : anyMagnitude(g, job.lowExp);
            if (std::strcmp(job.name, "atan") == 0 && std::fabs(x) >= 0x1p53) {
                continue;
            }
            double r;
            const double d = midpointDistance(job.f, x, &r);
            if (d < 0x1p-15) {
                std::printf("%s %a %a %a\n", job.name, x, r, d);
                ++found;
            }
        }
    }
    return 0;
}
