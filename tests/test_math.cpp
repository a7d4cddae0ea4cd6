// The correctly rounded sine, cosine and arctangent against MPFR: every result
// must be the exact value rounded to nearest, ties to even, bit for bit.
#include "MathCheck.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace zm::test {
namespace {

constexpr Fn sinAndCos[] = {Fn::sin, Fn::cos};
constexpr Fn all[] = {Fn::sin, Fn::cos, Fn::atan};

// Adds the `steps` doubles either side of each argument, then the negatives of
// them all.
void addNeighboursAndNegatives(std::vector<double>& xs, int steps) {
    const std::size_t base = xs.size();
    for (std::size_t i = 0; i < base; ++i) {
        double lo = xs[i], hi = xs[i];
        for (int k = 0; k < steps; ++k) {
            lo = std::nextafter(lo, 0.0);
            hi = std::nextafter(hi, std::numeric_limits<double>::infinity());
            xs.push_back(lo);
            xs.push_back(hi);
        }
    }
    const std::size_t n = xs.size();
    for (std::size_t i = 0; i < n; ++i) {
        xs.push_back(-xs[i]);
    }
}

TEST(CorrectlyRounded, SpecialValuesAsInC) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(sameBits(cr::sin(0.0), 0.0));
    EXPECT_TRUE(sameBits(cr::sin(-0.0), -0.0));
    EXPECT_TRUE(sameBits(cr::cos(0.0), 1.0));
    EXPECT_TRUE(sameBits(cr::cos(-0.0), 1.0));
    EXPECT_TRUE(sameBits(cr::atan(0.0), 0.0));
    EXPECT_TRUE(sameBits(cr::atan(-0.0), -0.0));
    EXPECT_TRUE(std::isnan(cr::sin(inf)));
    EXPECT_TRUE(std::isnan(cr::sin(-inf)));
    EXPECT_TRUE(std::isnan(cr::cos(inf)));
    EXPECT_TRUE(std::isnan(cr::cos(-inf)));
    EXPECT_TRUE(std::isnan(cr::sin(nan)));
    EXPECT_TRUE(std::isnan(cr::cos(nan)));
    EXPECT_TRUE(std::isnan(cr::atan(nan)));
    for (double x : {0.0, -0.0, inf, -inf, nan, -nan}) {
        const cr::SinCos sc = cr::sincos(x);
        EXPECT_TRUE(sameBits(sc.sin, cr::sin(x))) << x;
        EXPECT_TRUE(sameBits(sc.cos, cr::cos(x))) << x;
    }
    EXPECT_EQ(cr::atan(inf), 0x1.921fb54442d18p+0);
    EXPECT_EQ(cr::atan(-inf), -0x1.921fb54442d18p+0);
    // pi = 4 atan(1), as the program forms it.
    EXPECT_EQ(cr::atan(1.0) * 4, 0x1.921fb54442d18p+1);
}

// Subnormal arguments and results, the largest doubles, and the arguments on
// either side of every place where the functions change their method.
TEST(CorrectlyRounded, EdgesOfTheRangeAndOfEachMethod) {
    std::vector<double> xs = {0x1p-1074,
                              0x1p-1073,
                              0x1.fffffffffffffp-1023,
                              0x1p-1022,
                              0x1.0000000000001p-1022,
                              std::numeric_limits<double>::max(),
                              0x1p1023,
                              0x1p-26,
                              0x1p-27,
                              0x1p-28,
                              0x1p10,
                              0x1p31,
                              0x1p32,
                              0x1p52,
                              0x1p53,
                              0x1p54,
                              1.0,
                              0.75,
                              0x1.921fb54442d18p-1,
                              0x1.921fb54442d18p+0,
                              0x1.921fb54442d18p+1,
                              0x1.921fb54442d18p+2,
                              0x1.6a09e667f3bcdp-1};
    std::mt19937_64 g(7);
    for (int i = 0; i < 2000; ++i) {
        xs.push_back(std::ldexp(static_cast<double>(g() >> 12), -1074)); // subnormal
    }
    addNeighboursAndNegatives(xs, 4);
    for (Fn f : all) {
        const Tally t = checkAll(f, xs);
        EXPECT_EQ(t.wrong, 0) << name(f) << t.firstWrong;
    }
}

TEST(CorrectlyRounded, RandomArgumentsOverTheProgramsRange) {
    std::mt19937_64 g(1);
    std::uniform_real_distribution<double> angle(-40, 40);
    std::vector<double> xs(1000000);
    for (double& x : xs) {
        x = angle(g);
    }
    for (Fn f : sinAndCos) {
        const Tally t = checkAll(f, xs);
        EXPECT_EQ(t.wrong, 0) << name(f) << t.firstWrong;
        EXPECT_EQ(t.outsideBound, 0) << name(f) << t.firstOutside;
        EXPECT_EQ(t.checked, 1000000);
    }
}

// The ratios the linkage solver takes the arctangent of: the tangents of its
// three angles, formed as it forms them, over crank angles of the whole range,
// and evenly spread ones.
TEST(CorrectlyRounded, ArctangentOfTheSolversRatios) {
    std::mt19937_64 g(2);
    std::uniform_real_distribution<double> angle(-40, 40);
    std::uniform_real_distribution<double> ratio(-4, 4);
    std::vector<double> xs;
    while (xs.size() < 600000) {
        const double theta = angle(g);
        const double diag = std::sqrt((31.5 * 31.5 + 7 * 7) - ((2 * 31.5) * 7) * cr::cos(theta));
        const double sinbeta = (7 * cr::sin(theta)) / diag;
        xs.push_back(sinbeta / std::sqrt(1 - sinbeta * sinbeta));
        const double cosgamma = ((diag * diag + 31 * 31) - 25 * 25) / ((2 * diag) * 31);
        xs.push_back(std::sqrt(1 - cosgamma * cosgamma) / cosgamma);
        const double bg = cr::atan(xs[xs.size() - 2]) + cr::atan(xs.back());
        const double reach = std::sqrt((31 * 31 + 31.5 * 31.5) - ((2 * 31) * 31.5) * cr::cos(bg));
        const double sindelta = (31 * cr::sin(bg)) / reach;
        xs.push_back(sindelta / std::sqrt(1 - sindelta * sindelta));
    }
    while (xs.size() < 1000000) {
        xs.push_back(ratio(g));
    }
    const Tally t = checkAll(Fn::atan, xs);
    EXPECT_EQ(t.wrong, 0) << t.firstWrong;
    EXPECT_EQ(t.outsideBound, 0) << t.firstOutside;
}

// The arctangent chooses its table point c = j/256 from 256 |x| for |x| <= 1,
// and from the exponent and seven leading bits of |x| above 1: the arguments
// where j changes (the midpoints (j + 1/2)/256, their reciprocals, every
// power of two and every step of those seven bits up to 2^10) are where the
// distance to c, and so the error of the fast evaluation, is largest.
TEST(CorrectlyRounded, ArctangentWhereItsTablePointChanges) {
    std::vector<double> xs;
    for (int j = 0; j <= 256; ++j) {
        xs.push_back((j + 0.5) / 256);
        xs.push_back(256 / (j + 0.5));
        xs.push_back(j / 256.0);
    }
    for (int e = -12; e <= 10; ++e) {
        for (int i = 0; i < 128; ++i) {
            xs.push_back(std::ldexp(1 + i / 128.0, e));
        }
    }
    addNeighboursAndNegatives(xs, 3);
    const Tally t = checkAll(Fn::atan, xs);
    EXPECT_EQ(t.wrong, 0) << t.firstWrong;
    EXPECT_EQ(t.outsideBound, 0) << t.firstOutside;
}

// The program computes its tables of sin, cos and atan at multiples of 1/256 in
// fixed point at first use; each entry must be what MPFR gives: the double
// nearest, the double nearest the rest (for atan: the value rounded to a
// multiple of 2^-52, then the rest), and the leading 26 bits of the sine's and
// cosine's first doubles with what is left.
TEST(CorrectlyRounded, TablesComputedAtFirstUseAgreeWithMpfr) {
    mpfr_t w, v, r;
    mpfr_inits2(2000, w, v, r, static_cast<mpfr_ptr>(nullptr));
    const auto pairOf = [&](double& hi, double& lo) {
        hi = mpfr_get_d(v, MPFR_RNDN);
        mpfr_sub_d(r, v, hi, MPFR_RNDN);
        lo = mpfr_get_d(r, MPFR_RNDN);
    };
    const auto halves = [](double a, double& h, double& l) {
        const double c = 134217729.0 * a;
        h = c - (c - a);
        l = a - h;
    };
    for (int j = 0; j < 204; ++j) {
        mpfr_set_d(w, j * 0x1p-8, MPFR_RNDN);
        double want[8];
        mpfr_sin(v, w, MPFR_RNDN);
        pairOf(want[0], want[1]);
        mpfr_cos(v, w, MPFR_RNDN);
        pairOf(want[2], want[3]);
        halves(want[0], want[4], want[5]);
        halves(want[2], want[6], want[7]);
        const double* got = cr::detail::sinCosRow(j);
        for (int k = 0; k < 8; ++k) {
            EXPECT_TRUE(sameBits(got[k], want[k])) << "sin/cos row " << j << " column " << k << ": "
                                                   << hex(got[k]) << " instead of " << hex(want[k]);
        }
    }
    for (int j = 0; j < 257; ++j) {
        mpfr_set_d(w, j * 0x1p-8, MPFR_RNDN);
        mpfr_atan(v, w, MPFR_RNDN);
        mpfr_mul_2ui(r, v, 52, MPFR_RNDN);
        mpfr_rint(r, r, MPFR_RNDN);
        mpfr_div_2ui(r, r, 52, MPFR_RNDN);
        const double t0 = mpfr_get_d(r, MPFR_RNDN);
        mpfr_sub(r, v, r, MPFR_RNDN);
        const double t1 = mpfr_get_d(r, MPFR_RNDN);
        const double* got = cr::detail::atanRow(j);
        EXPECT_TRUE(sameBits(got[0], t0))
            << "atan row " << j << ": " << hex(got[0]) << " instead of " << hex(t0);
        EXPECT_TRUE(sameBits(got[1], t1))
            << "atan row " << j << ": " << hex(got[1]) << " instead of " << hex(t1);
    }
    mpfr_clears(w, v, r, static_cast<mpfr_ptr>(nullptr));
}

// The tables are made by whichever call comes first; calls from other threads
// at the same moment must wait for them, not read them half made. (CTest runs
// each test in a process of its own, so here the calls below are the first.)
TEST(CorrectlyRounded, FirstCallsFromManyThreadsAtOnce) {
    constexpr int threads = 8;
    std::vector<double> xs;
    std::mt19937_64 g(11);
    std::uniform_real_distribution<double> angle(-40, 40);
    for (int i = 0; i < 2000; ++i) {
        xs.push_back(angle(g));
    }
    std::atomic<int> waiting{threads};
    std::vector<std::vector<double>> got(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            waiting.fetch_sub(1);
            while (waiting.load() > 0) {
            }
            for (double x : xs) {
                got[t].push_back(t % 3 == 0 ? cr::sin(x) : t % 3 == 1 ? cr::cos(x) : cr::atan(x / 10));
            }
        });
    }
    for (std::thread& w : workers) {
        w.join();
    }
    for (int t = 0; t < threads; ++t) {
        const Fn f = t % 3 == 0 ? Fn::sin : t % 3 == 1 ? Fn::cos : Fn::atan;
        for (std::size_t i = 0; i < xs.size(); ++i) {
            const double x = f == Fn::atan ? xs[i] / 10 : xs[i];
            ASSERT_TRUE(sameBits(got[t][i], correct(f, x)))
                << name(f) << " at " << hex(x) << " in thread " << t;
        }
    }
}

// Every binary exponent from the smallest subnormal to the largest double, both
// signs, random significands: over a million arguments per function.
TEST(CorrectlyRounded, EveryMagnitude) {
    std::mt19937_64 g(3);
    std::vector<double> xs;
    for (int e = -1074; e <= 1023; ++e) {
        for (int i = 0; i < 250; ++i) {
            const double m = 1 + static_cast<double>(g() >> 12) * 0x1p-52;
            const double x = std::ldexp(m, e); // rounds to a subnormal below 2^-1022
            xs.push_back(x);
            xs.push_back(-x);
        }
    }
    for (Fn f : all) {
        const Tally t = checkAll(f, xs);
        EXPECT_EQ(t.wrong, 0) << name(f) << t.firstWrong;
        EXPECT_EQ(t.outsideBound, 0) << name(f) << t.firstOutside;
        EXPECT_GT(t.checked, 1000000);
    }
}

// The doubles nearest k pi/2 for k up to 2^20, where the reduction cancels
// most, and two ulps either side of them up to k = 2^16 (up to 2^20 in the
// long run). The sine and cosine are checked at all of them, the arctangent at
// a million.
TEST(CorrectlyRounded, NearMultiplesOfHalfPi) {
    const int sideways = std::getenv("ZM_MATH_LONG") != nullptr ? (1 << 20) : (1 << 16);
    std::vector<double> xs;
    for (int k = 1; k <= (1 << 20); ++k) {
        const double x = nearestMultipleOfHalfPi(k);
        xs.push_back(x);
        if (k > sideways) {
            continue;
        }
        double lo = x, hi = x;
        for (int u = 0; u < 2; ++u) {
            lo = std::nextafter(lo, 0.0);
            hi = std::nextafter(hi, 2 * hi);
            xs.push_back(lo);
            xs.push_back(hi);
        }
    }
    for (Fn f : sinAndCos) {
        const Tally t = checkAll(f, xs, 8);
        EXPECT_EQ(t.wrong, 0) << name(f) << t.firstWrong;
        EXPECT_EQ(t.outsideBound, 0) << name(f) << t.firstOutside;
    }
    xs.resize(1000000);
    const Tally t = checkAll(Fn::atan, xs);
    EXPECT_EQ(t.wrong, 0) << t.firstWrong;
}

// Arguments whose exact result lies within 2^-15 ulp of a midpoint between two
// doubles, found by tests/math_hardcases.cpp with MPFR: the recorded result,
// MPFR's result now, and ours must agree, both through the whole function and
// through the exact path alone.
TEST(CorrectlyRounded, HardestToRound) {
    std::ifstream in(std::string(ZM_SOURCE_DIR) + "/tests/data/math-hard-cases.txt");
    ASSERT_TRUE(in) << "tests/data/math-hard-cases.txt is missing";
    int count[3] = {};
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        std::string fname, xs, ys, ds;
        fields >> fname >> xs >> ys >> ds;
        const double x = std::strtod(xs.c_str(), nullptr);
        const double want = std::strtod(ys.c_str(), nullptr);
        const Fn f = fname == "sin" ? Fn::sin : fname == "cos" ? Fn::cos : Fn::atan;
        EXPECT_LT(std::strtod(ds.c_str(), nullptr), 0x1p-15) << line;
        EXPECT_TRUE(sameBits(correct(f, x), want)) << "the data file disagrees with MPFR: " << line;
        EXPECT_TRUE(sameBits(ours(f, x), want)) << line;
        EXPECT_TRUE(sameBits(oursExact(f, x), want)) << line;
        if (f != Fn::atan) {
            const cr::SinCos sc = cr::sincos(x);
            EXPECT_TRUE(sameBits(f == Fn::sin ? sc.sin : sc.cos, want)) << "sincos: " << line;
        }
        ++count[static_cast<int>(f)];
    }
    for (Fn f : all) {
        EXPECT_GE(count[static_cast<int>(f)], 100) << name(f);
    }
}

// A source file of the program, with comments and string literals blanked out.
std::string codeOf(const std::filesystem::path& p) {
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string s = ss.str();
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s.compare(i, 2, "//") == 0) {
            while (i < s.size() && s[i] != '\n') {
                s[i++] = ' ';
            }
        } else if (s.compare(i, 2, "/*") == 0) {
            const std::size_t end = s.find("*/", i + 2);
            const std::size_t stop = end == std::string::npos ? s.size() : end + 2;
            for (; i < stop; ++i) {
                if (s[i] != '\n') {
                    s[i] = ' ';
                }
            }
        } else if (s[i] == '"') {
            for (++i; i < s.size() && s[i] != '"'; ++i) {
                if (s[i] == '\\') {
                    ++i;
                }
                s[i] = ' ';
            }
        }
    }
    return s;
}

// A call of a <cmath> transcendental: the name alone, or qualified by std or
// the global namespace (cr::sin, qualified by another namespace, is ours).
const std::regex& transcendentalCall() {
    static const std::regex re(
        R"((?:^|[^A-Za-z0-9_:])(?:std::|::)?(sin|cos|tan|asin|acos|atan|atan2|sinh|cosh|tanh|asinh|acosh|atanh|exp|exp2|expm1|log|log10|log2|log1p|logb|pow|cbrt|hypot|erf|erfc|tgamma|lgamma)[fl]?\s*\()");
    return re;
}

TEST(CorrectlyRounded, TheSourceCheckRecognisesCalls) {
    for (const char* call : {"std::sin(x)", "y = cos (t);", "::atan2(a, b)", "std::pow(a, 2)", "a*exp(b)",
                             "sinf(x)", "(std::log(x))"}) {
        EXPECT_TRUE(std::regex_search(std::string(call), transcendentalCall())) << call;
    }
    for (const char* other : {"cr::sin(x)", "zm::cr::atan(1.0)", "sinbeta(x)", "cosgamma * 2", "std::sqrt(x)",
                              "explain(x)", "topology(x)", "asinus", "dialog(x)"}) {
        EXPECT_FALSE(std::regex_search(std::string(other), transcendentalCall())) << other;
    }
}

// Outside src/math the program takes sine, cosine and arctangent only from the
// correctly rounded functions, and no other transcendental from the platform.
TEST(CorrectlyRounded, NoPlatformTranscendentalsOutsideTheMathFolder) {
    const std::filesystem::path src = std::filesystem::path(ZM_SOURCE_DIR) / "src";
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(src)) {
        const std::filesystem::path& p = entry.path();
        if (!entry.is_regular_file() || (p.extension() != ".cpp" && p.extension() != ".h")) {
            continue;
        }
        if (std::filesystem::relative(p, src).begin()->string() == "math") {
            continue;
        }
        ++files;
        const std::string code = codeOf(p);
        std::smatch m;
        EXPECT_FALSE(std::regex_search(code, m, transcendentalCall()))
            << p << " calls " << (m.empty() ? "" : m.str(0));
    }
    EXPECT_GT(files, 10);
}

// The long run: ZM_MATH_LONG=N checks N arguments per function (10^8 in the
// release check), half over the program's range, half over every magnitude;
// the fast bound at every 16th. ZM_MATH_LONG_ONLY=sin (or cos, atan) limits it
// to one function.
TEST(CorrectlyRounded, LongRun) {
    const char* env = std::getenv("ZM_MATH_LONG");
    if (env == nullptr) {
        GTEST_SKIP() << "set ZM_MATH_LONG to the number of arguments per function";
    }
    const long long total = std::atoll(env);
    constexpr long long chunk = 1000000;
    const char* only = std::getenv("ZM_MATH_LONG_ONLY");
    for (Fn f : all) {
        if (only != nullptr && std::string(only) != name(f)) {
            continue;
        }
        std::mt19937_64 g(100 + static_cast<int>(f));
        std::uniform_real_distribution<double> near(f == Fn::atan ? -4.0 : -40.0, f == Fn::atan ? 4.0 : 40.0);
        long long wrong = 0, outside = 0, checked = 0;
        std::string first;
        for (long long done = 0; done < total; done += chunk) {
            std::vector<double> xs(static_cast<std::size_t>(std::min(chunk, total - done)));
            for (std::size_t i = 0; i < xs.size(); ++i) {
                if (i % 2 == 0) {
                    xs[i] = near(g);
                } else {
                    const int e = -1074 + static_cast<int>(g() % 2098);
                    const double x = std::ldexp(1 + static_cast<double>(g() >> 12) * 0x1p-52, e);
                    xs[i] = (g() & 1) ? -x : x;
                }
            }
            const Tally t = checkAll(f, xs, 16);
            wrong += t.wrong;
            outside += t.outsideBound;
            checked += t.checked;
            if (first.empty()) {
                first = t.firstWrong + t.firstOutside;
            }
        }
        std::printf("%s: %lld arguments, %lld misrounded, %lld outside the fast bound\n", name(f), checked,
                    wrong, outside);
        EXPECT_EQ(wrong, 0) << name(f) << first;
        EXPECT_EQ(outside, 0) << name(f) << first;
    }
}

} // namespace
} // namespace zm::test
