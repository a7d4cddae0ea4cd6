#include "math/ShortestFloat.h"
#include "picture/PictureText.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

namespace zm::test {
namespace {

std::string viaToChars(float v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

float fromBits(std::uint32_t b) {
    return std::bit_cast<float>(b);
}

// The trace's numbers are written by the program's own shortest round-trip
// formatting, so that every standard library writes the same bytes; here they
// must equal what this platform's std::to_chars writes.
::testing::AssertionResult sameAsToChars(float v) {
    const std::string got = cr::shortestFloat(v);
    const std::string want = viaToChars(v);
    if (got == want) {
        return ::testing::AssertionSuccess();
    }
    char bits[16];
    std::snprintf(bits, sizeof bits, "0x%08X", static_cast<unsigned>(std::bit_cast<std::uint32_t>(v)));
    return ::testing::AssertionFailure()
           << "bits " << bits << ": wrote " << got << ", to_chars writes " << want;
}

TEST(TraceFormat, ChosenValuesAndBothNotations) {
    for (const float v :
         {0.0f,    -0.0f,        1.0f,        -75.0f,        165.6002f,       55.85f,      1e-5f,
          1.5e-5f, 123456789.0f, 1e10f,       3.4028235e38f, 1.17549435e-38f, 1e-45f,      0.1f,
          100.0f,  1e7f,         12345678.0f, 0.0001f,       0.00012345f,     16777216.0f, 8388608.5f,
          1e13f,   1e14f,        9999999.0f,  0.001f,        -0.5026654f,     16.535969f,  99999.0f}) {
        EXPECT_TRUE(sameAsToChars(v));
    }
    // The texts themselves, for the cases a reader of a trace sees.
    EXPECT_EQ(cr::shortestFloat(165.6002f), "165.6002");
    EXPECT_EQ(cr::shortestFloat(-75.0f), "-75");
    EXPECT_EQ(cr::shortestFloat(1e-5f), "1e-05");
    EXPECT_EQ(cr::shortestFloat(123456789.0f), "123456792"); // a whole number: every digit exact
    EXPECT_EQ(cr::shortestFloat(1e10f), "1e+10");
    EXPECT_EQ(cr::shortestFloat(-0.0f), "-0");
}

TEST(TraceFormat, NonFiniteValues) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(cr::shortestFloat(inf), "inf");
    EXPECT_EQ(cr::shortestFloat(-inf), "-inf");
    EXPECT_EQ(cr::shortestFloat(nan), "nan");
    EXPECT_EQ(cr::shortestFloat(-nan), "-nan");
}

// Next to a power of two the float below is half as far away as the one
// above, so the interval of decimals that read back is lopsided there.
TEST(TraceFormat, PowersOfTwoAndTheirNeighbours) {
    for (std::uint32_t field = 0; field < 255; ++field) {
        const std::uint32_t power = field << 23;
        for (const std::uint32_t b : {power, power + 1, power + 2, power - 1, power - 2}) {
            if (b < 0x7F800000) {
                ASSERT_TRUE(sameAsToChars(fromBits(b)));
                ASSERT_TRUE(sameAsToChars(-fromBits(b)));
            }
        }
    }
    // Powers of two among the subnormals.
    for (int k = 0; k < 23; ++k) {
        ASSERT_TRUE(sameAsToChars(fromBits(std::uint32_t{1} << k)));
    }
}

TEST(TraceFormat, EverySubnormalAndTheExtremes) {
    for (std::uint32_t b = 1; b < 0x800000; ++b) {
        ASSERT_TRUE(sameAsToChars(fromBits(b)));
    }
    for (const float v :
         {std::numeric_limits<float>::max(), std::nextafter(std::numeric_limits<float>::max(), 0.0f),
          std::numeric_limits<float>::min(), std::numeric_limits<float>::denorm_min()}) {
        EXPECT_TRUE(sameAsToChars(v));
        EXPECT_TRUE(sameAsToChars(-v));
    }
}

TEST(TraceFormat, TenMillionRandomBitPatterns) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<std::uint32_t> bits;
    for (int i = 0; i < 10'000'000; ++i) {
        ASSERT_TRUE(sameAsToChars(fromBits(bits(rng))));
    }
    // And the plane's own range, where the trace's numbers are.
    std::uniform_real_distribution<float> plane(-400.0f, 400.0f);
    for (int i = 0; i < 1'000'000; ++i) {
        ASSERT_TRUE(sameAsToChars(plane(rng)));
    }
}

// All 2^32 bit patterns: a few minutes, so only when ZM_EVERY_FLOAT=1.
TEST(TraceFormat, EveryFloat) {
    const char* every = std::getenv("ZM_EVERY_FLOAT");
    if (every == nullptr || std::string(every) != "1") {
        GTEST_SKIP() << "set ZM_EVERY_FLOAT=1 to compare all 2^32 bit patterns";
    }
    std::uint32_t b = 0;
    do {
        ASSERT_TRUE(sameAsToChars(fromBits(b)));
    } while (++b != 0);
}

TEST(TraceFormat, TraceLines) {
    EXPECT_EQ(picture::traceLine(picture::Op{picture::Op::Kind::cls}), "cls");
    EXPECT_EQ(picture::traceLine(picture::Op{picture::Op::Kind::wait}), "wait");
    EXPECT_EQ(picture::traceLine(picture::Op{picture::Op::Kind::end}), "end");
    EXPECT_EQ(picture::traceLine(picture::Op{picture::Op::Kind::line, 16.535969f, -0.5026654f, 15.46799f,
                                             -0.40848097f, 2, 0x00808000}),
              "line 16.535969 -0.5026654 15.46799 -0.40848097 2 0x00808000");
    // The widest line there can be.
    const float wide = -1.2345678e-38f;
    EXPECT_EQ(picture::traceLine(picture::Op{picture::Op::Kind::line, wide, wide, wide, wide,
                                             std::numeric_limits<int>::min(), 0xFFFFFFFF}),
              "line -1.2345678e-38 -1.2345678e-38 -1.2345678e-38 -1.2345678e-38 -2147483648 0xFFFFFFFF");
}

} // namespace
} // namespace zm::test
