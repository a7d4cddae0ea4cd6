#include "window/RecordingSurface.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <limits>
#include <random>

namespace zm::test {
namespace {

std::string viaToChars(float v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// The trace's numbers are written without std::to_chars (which not every
// standard library has for float) and must still read exactly as it writes them.
TEST(TraceFormat, WritesFloatsAsToCharsDoes) {
    for (const float v :
         {0.0f,    -0.0f,        1.0f,        -75.0f,        165.6002f,       55.85f,      1e-5f,
          1.5e-5f, 123456789.0f, 1e10f,       3.4028235e38f, 1.17549435e-38f, 1e-45f,      0.1f,
          100.0f,  1e7f,         12345678.0f, 0.0001f,       0.00012345f,     16777216.0f, 8388608.5f}) {
        EXPECT_EQ(shortestFloat(v), viaToChars(v)) << viaToChars(v);
    }
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> plane(-400.0f, 400.0f);
    std::uniform_int_distribution<std::uint32_t> bits;
    for (int i = 0; i < 200000; ++i) {
        const float a = plane(rng);
        std::uint32_t b = bits(rng);
        float c = 0;
        std::memcpy(&c, &b, sizeof c);
        if (!std::isfinite(c)) {
            c = a;
        }
        ASSERT_EQ(shortestFloat(a), viaToChars(a));
        ASSERT_EQ(shortestFloat(c), viaToChars(c));
    }
    // Every power of two, where the gap below a float is half the gap above.
    for (float p = std::numeric_limits<float>::denorm_min(); std::isfinite(p); p *= 2) {
        ASSERT_EQ(shortestFloat(p), viaToChars(p));
    }
}

} // namespace
} // namespace zm::test
