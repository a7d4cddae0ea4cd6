#include "math/ReadDouble.h"
#include "math/ShortestFloat.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace zm::test {
namespace {

// A decimal as digits without leading or trailing zeros and the exponent of the
// last one: digits * 10^exponent.
struct Decimal {
    std::string digits;
    int exponent = 0;
    bool operator==(const Decimal&) const = default;
};

// Reads "-12.5e+03", "0.00123", "1e-05" or "125" as a Decimal (sign dropped).
Decimal decimalOf(const std::string& text) {
    Decimal d;
    std::size_t i = text[0] == '-' ? 1 : 0;
    int afterPoint = 0;
    bool point = false;
    for (; i < text.size() && text[i] != 'e'; ++i) {
        if (text[i] == '.') {
            point = true;
            continue;
        }
        d.digits.push_back(text[i]);
        afterPoint += point ? 1 : 0;
    }
    d.exponent = (i < text.size() ? std::atoi(text.c_str() + i + 1) : 0) - afterPoint;
    const std::size_t first = d.digits.find_first_not_of('0');
    d.digits.erase(0, first == std::string::npos ? d.digits.size() : first);
    while (!d.digits.empty() && d.digits.back() == '0') {
        d.digits.pop_back();
        ++d.exponent;
    }
    return d;
}

// cr::readDouble takes text as one number, and reads it to the same double as
// glibc's correctly rounded strtod.
::testing::AssertionResult readsAsGlibc(const std::string& text) {
    double got = 0;
    if (!cr::readDouble(text, got)) {
        return ::testing::AssertionFailure() << "not read as a number: " << text;
    }
    if (std::bit_cast<std::uint64_t>(got) !=
        std::bit_cast<std::uint64_t>(std::strtod(text.c_str(), nullptr))) {
        return ::testing::AssertionFailure() << "read as " << got << ", not as glibc reads it: " << text;
    }
    return ::testing::AssertionSuccess();
}

bool readsBack(const std::string& text, double v) {
    return std::bit_cast<std::uint64_t>(std::strtod(text.c_str(), nullptr)) ==
           std::bit_cast<std::uint64_t>(v);
}

// The n-digit decimals next to |v|: the one glibc rounds to (correctly rounded
// to nearest) and the ones a unit below and above it, as "digits e exponent".
struct Neighbours {
    std::string below, nearest, above;
    Decimal nearestDecimal;
};
Neighbours neighbours(double v, int n) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", n - 1, std::fabs(v));
    const Decimal d = decimalOf(buf);
    // With all n digits as one whole number.
    const std::string s(buf);
    std::string whole;
    for (const char c : s.substr(0, s.find('e'))) {
        if (c != '.') {
            whole.push_back(c);
        }
    }
    const int exponent = std::atoi(s.c_str() + s.find('e') + 1) - (n - 1);
    const unsigned long long w = std::strtoull(whole.c_str(), nullptr, 10);
    const auto text = [&](unsigned long long x) {
        return std::to_string(x) + "e" + std::to_string(exponent);
    };
    return {text(w - 1), text(w), text(w + 1), d};
}

// The program's text for v reads back to v, no decimal with fewer digits reads
// back, and of those with as many it is the nearest; judged by glibc's
// correctly rounded strtod and printf. A whole number in plain notation is
// written with every digit exact; plain notation unless scientific is shorter.
::testing::AssertionResult shortestAndNearest(double v) {
    const std::string got = cr::shortestDouble(v);
    char bits[32];
    std::snprintf(bits, sizeof bits, "0x%016llX",
                  static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(v)));
    const auto fail = [&](const std::string& why) {
        return ::testing::AssertionFailure() << "bits " << bits << ": wrote " << got << ": " << why;
    };
    if (!readsBack(got, v)) {
        return fail("does not read back");
    }
    if (v == 0) {
        return got == (std::signbit(v) ? "-0" : "0") ? ::testing::AssertionSuccess() : fail("not 0");
    }
    const bool scientific = got.find('e') != std::string::npos;
    const bool whole = !scientific && got.find('.') == std::string::npos;
    if (whole) {
        char exact[400];
        std::snprintf(exact, sizeof exact, "%.0f", v);
        if (got != exact) {
            return fail(std::string("a whole number is ") + exact);
        }
    }
    const Decimal d = decimalOf(got);
    const double a = std::fabs(v); // the neighbours are written without a sign
    // The shortest length: of the whole number's digits, the significant ones.
    int n = static_cast<int>(d.digits.size());
    if (whole) {
        for (n = 1; n < 17 && !readsBack(neighbours(a, n).nearest, a); ++n) {
        }
        const Neighbours at = neighbours(a, n);
        if (!readsBack(at.nearest, a) && !readsBack(at.below, a) && !readsBack(at.above, a)) {
            return fail("no decimal of its length reads back");
        }
    }
    if (n > 1) {
        const Neighbours shorter = neighbours(a, n - 1);
        for (const std::string& s : {shorter.below, shorter.nearest, shorter.above}) {
            if (readsBack(s, a)) {
                return fail(s + " is shorter and reads back");
            }
        }
    }
    if (!whole) {
        const Neighbours same = neighbours(a, n);
        const std::string want = readsBack(same.nearest, a) ? same.nearest
                                 : readsBack(same.above, a) ? same.above
                                                            : same.below;
        if (!(decimalOf(want) == d)) {
            return fail(want + " is nearer");
        }
        // Plain notation unless scientific is shorter.
        const int point = d.exponent + n - 1;
        const int x = point < 0 ? -point : point;
        const int sciLength = n + (n > 1 ? 1 : 0) + 2 + (x >= 100 ? 3 : 2);
        const int plainLength = point >= n - 1 ? point + 1 : point >= 0 ? n + 1 : n + 1 - point;
        const int length = static_cast<int>(got.size()) - (v < 0 ? 1 : 0);
        if (length != std::min(sciLength, plainLength) || scientific != (sciLength < plainLength)) {
            return fail("not the shorter notation");
        }
    }
    return ::testing::AssertionSuccess();
}

double fromBits(std::uint64_t b) {
    return std::bit_cast<double>(b);
}

TEST(NumberText, ChosenValuesAndBothNotations) {
    EXPECT_EQ(cr::shortestDouble(0.957453956), "0.957453956");
    EXPECT_EQ(cr::shortestDouble(-75.0), "-75");
    EXPECT_EQ(cr::shortestDouble(1e-5), "1e-05");
    EXPECT_EQ(cr::shortestDouble(0.0001234), "0.0001234");
    EXPECT_EQ(cr::shortestDouble(0.00001234), "1.234e-05");
    EXPECT_EQ(cr::shortestDouble(0.1), "0.1");
    EXPECT_EQ(cr::shortestDouble(1.0 / 3), "0.3333333333333333");
    EXPECT_EQ(cr::shortestDouble(4.35), "4.35");
    EXPECT_EQ(cr::shortestDouble(1e23), "1e+23");
    EXPECT_EQ(cr::shortestDouble(1e15), "1e+15");
    EXPECT_EQ(cr::shortestDouble(123456.0), "123456");
    // A whole number in plain notation: every digit exact.
    EXPECT_EQ(cr::shortestDouble(9007199254740993.0), "9007199254740992");
    EXPECT_EQ(cr::shortestDouble(123456789012345678901.0), "123456789012345683968");
    EXPECT_EQ(cr::shortestDouble(5e-324), "5e-324");
    EXPECT_EQ(cr::shortestDouble(DBL_MAX), "1.7976931348623157e+308");
    EXPECT_EQ(cr::shortestDouble(DBL_MIN), "2.2250738585072014e-308");
    EXPECT_EQ(cr::shortestDouble(-0.0), "-0");
    EXPECT_EQ(cr::shortestDouble(0.0), "0");
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(cr::shortestDouble(inf), "inf");
    EXPECT_EQ(cr::shortestDouble(-inf), "-inf");
    EXPECT_EQ(cr::shortestDouble(nan), "nan");
    EXPECT_EQ(cr::shortestDouble(-nan), "-nan");
}

TEST(NumberText, HardCases) {
    std::vector<double> cases = {5e-324,
                                 DBL_MAX,
                                 DBL_MIN,
                                 1e23,
                                 9007199254740993.0,
                                 9007199254740992.0,
                                 9007199254740994.0,
                                 0.1,
                                 0.3,
                                 2.5,
                                 1e22,
                                 1e21,
                                 5e-310,
                                 2.2250738585072009e-308};
    // Every power of two, from the smallest subnormal to the largest, and
    // every power of ten, with their neighbours.
    for (int e = -1074; e <= 1023; ++e) {
        cases.push_back(std::ldexp(1.0, e));
    }
    for (int e = -323; e <= 308; ++e) {
        cases.push_back(std::strtod(("1e" + std::to_string(e)).c_str(), nullptr));
    }
    // The first and last subnormals, and whole numbers near 2^53 and up to 2^74.
    for (std::uint64_t b = 1; b < 2000; ++b) {
        cases.push_back(fromBits(b));
        cases.push_back(fromBits((std::uint64_t{1} << 52) - b));
    }
    for (int e = 50; e <= 75; ++e) {
        cases.push_back(std::ldexp(1.0, e) * 1.2345678901234567);
        cases.push_back(std::ldexp(1.0, e) - 1);
    }
    const std::size_t count = cases.size();
    for (std::size_t i = 0; i < count; ++i) {
        cases.push_back(std::nextafter(cases[i], 0.0));
        cases.push_back(std::nextafter(cases[i], DBL_MAX));
    }
    for (const double v : cases) {
        ASSERT_TRUE(shortestAndNearest(v));
        ASSERT_TRUE(shortestAndNearest(-v));
    }
}

// Random bit patterns (every exponent alike) and random values among the
// plane's sizes, 1e-6 to 1e6; ZM_NUMBER_TEXT_COUNT sets how many of each.
TEST(NumberText, RandomDoublesReadBackShortestAndNearest) {
    const char* env = std::getenv("ZM_NUMBER_TEXT_COUNT");
    const long count = env != nullptr ? std::atol(env) : 1000000;
    std::mt19937_64 random(20261209);
    std::uniform_real_distribution<double> exponent(-6, 6);
    long failures = 0;
    for (long i = 0; i < count && failures < 10; ++i) {
        double v = fromBits(random());
        if (!std::isfinite(v)) {
            continue;
        }
        const ::testing::AssertionResult a = shortestAndNearest(v);
        const ::testing::AssertionResult b = shortestAndNearest(std::pow(10.0, exponent(random)));
        EXPECT_TRUE(a);
        EXPECT_TRUE(b);
        failures += (a ? 0 : 1) + (b ? 0 : 1);
    }
}

// One number, the whole text: the forms people write, and no blanks, hex,
// words or empty text.
TEST(ReadDouble, AcceptedFormsAndRefusals) {
    const std::pair<const char*, double> accepted[] = {
        {"1e5", 1e5},    {"-3.25", -3.25}, {".5", 0.5},  {"5.", 5.0},      {"+2", 2.0},    {"1E-3", 1e-3},
        {"00012", 12.0}, {"-0", -0.0},     {"0.1", 0.1}, {"1.5e+3", 1500}, {"104", 104.0}, {"-.25", -0.25}};
    for (const auto& [text, want] : accepted) {
        double got = 7;
        EXPECT_TRUE(cr::readDouble(text, got)) << text;
        EXPECT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(want)) << text;
    }
    for (const char* text :
         {"",  " 1", "1 ",  "nan", "inf", "-inf", "infinity", "NaN", "0x10", "1e",    "e5",
          ".", "-",  "+-5", "--5", "1,5", "1;5",  "1\t",      "5\n", "1_0",  "1.2.3", "12abc"}) {
        double got = 7;
        EXPECT_FALSE(cr::readDouble(text, got)) << text;
        EXPECT_EQ(got, 7) << text; // untouched
    }
    // Beyond the doubles: infinities, which the profile reader refuses as numbers not finite.
    double big = 0;
    EXPECT_TRUE(cr::readDouble("1e999", big));
    EXPECT_EQ(big, std::numeric_limits<double>::infinity());
    EXPECT_TRUE(cr::readDouble("-1e999", big));
    EXPECT_EQ(big, -std::numeric_limits<double>::infinity());
    EXPECT_TRUE(cr::readDouble("1e-400", big));
    EXPECT_EQ(big, 0.0);
    // The same wherever the digits and the exponent put the decimal's size.
    EXPECT_TRUE(cr::readDouble("0.00019e312", big));
    EXPECT_EQ(big, std::numeric_limits<double>::infinity());
    EXPECT_TRUE(cr::readDouble("-95e-326", big));
    EXPECT_TRUE(big == 0 && std::signbit(big));
    EXPECT_TRUE(cr::readDouble("000.0012e-322", big));
    EXPECT_EQ(big, 0.0);
    EXPECT_TRUE(cr::readDouble("1234e99999999999", big));
    EXPECT_EQ(big, std::numeric_limits<double>::infinity());
}

// Correctly rounded: the same double as glibc's strtod for decimals that are
// hard to round (half-way between doubles, long, at the ends of the range),
// and every shortest text reads back to its double.
TEST(ReadDouble, CorrectlyRounded) {
    std::vector<std::string> texts = {"9007199254740993",
                                      "9007199254740995",
                                      "2.2250738585072011e-308",
                                      "2.2250738585072012e-308",
                                      "4.9406564584124654e-324",
                                      "2.4703282292062327e-324",
                                      "2.4703282292062328e-324",
                                      "1.7976931348623157e308",
                                      "1.7976931348623158e308",
                                      "1.7976931348623159e308",
                                      "0.1000000000000000055511151231257827",
                                      "0.1000000000000000055511151231257828",
                                      "1e23",
                                      "8.3e-309",
                                      "123456789012345678901234567890"};
    std::mt19937_64 random(7);
    for (int i = 0; i < 200000; ++i) {
        const double v = fromBits(random());
        if (std::isfinite(v)) {
            texts.push_back(cr::shortestDouble(v));
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.*e", static_cast<int>(random() % 25), v);
            texts.push_back(buf);
        }
    }
    for (const std::string& t : texts) {
        ASSERT_TRUE(readsAsGlibc(t));
    }
}

// The decimals that decide a rounding: each exactly half-way between two
// neighbouring doubles (normal and subnormal, up to some 770 significant
// digits), the same with a 1 after it (a little above: its 801st or 1,700th
// digit, beyond the digits the reader keeps) and cut short (a little below).
// The half-way points are exact in x86's 64-bit long double, and glibc prints
// them exactly.
TEST(ReadDouble, HalfWayBetweenDoubles) {
    if (std::numeric_limits<long double>::digits < 64) {
        GTEST_SKIP() << "the half-way points need a long double of 64 bits or more";
    }
    std::mt19937_64 random(11);
    std::vector<double> values = {0.0,
                                  std::numeric_limits<double>::denorm_min(),
                                  DBL_MIN,
                                  1.0,
                                  0.1,
                                  1e22,
                                  1e23,
                                  9007199254740992.0,
                                  std::nextafter(DBL_MAX, 0.0)};
    for (int i = 0; i < 3000; ++i) {
        const double v = fromBits(random() >> (i % 3 == 0 ? 12 : 1)); // a third subnormal
        if (std::isfinite(v) && v < DBL_MAX) {
            values.push_back(v);
        }
    }
    std::vector<char> buf(2000);
    for (const double v : values) {
        const long double half = (static_cast<long double>(v) + std::nextafter(v, DBL_MAX)) / 2;
        std::snprintf(buf.data(), buf.size(), "%.1100Le", half);
        std::string exact = buf.data();
        const std::size_t e = exact.find('e');
        std::string mantissa = exact.substr(0, e);
        const std::string power = exact.substr(e);
        mantissa.erase(mantissa.find_last_not_of('0') + 1);
        const std::string texts[] = {mantissa + power,
                                     mantissa + "1" + power,
                                     mantissa + std::string(801, '0') + "1" + power,
                                     mantissa + std::string(1700, '0') + "1" + power,
                                     mantissa.substr(0, mantissa.size() - 1) + power,
                                     "-" + mantissa + power};
        for (const std::string& t : texts) {
            ASSERT_TRUE(readsAsGlibc(t));
        }
    }
}

} // namespace
} // namespace zm::test
