#include "Harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace zm::test {
namespace {

// The double nearest a value given in hundredths, read from its decimal text.
double twoDecimals(long hundredths) {
    const long a = hundredths < 0 ? -hundredths : hundredths;
    char text[32];
    std::snprintf(text, sizeof text, "%s%ld.%02ld", hundredths < 0 ? "-" : "", a / 100, a % 100);
    return std::strtod(text, nullptr);
}

TEST(Profiles, NamedEntries) {
    Bench b;
    const Form1& f = b.form;
    EXPECT_EQ(f.ang1[1], 104);
    EXPECT_EQ(f.ang1[101], 0);
    EXPECT_EQ(f.ang1[200], -102.96);
    EXPECT_EQ(f.ang1[25], 79.04); // one division, not 104 - 1.04 * 24
    EXPECT_NE(f.ang1[25], 104 - 1.04 * 24);
    EXPECT_EQ(f.ang2[1], -100.600198830294);
    EXPECT_EQ(f.ang2[101], -12.9893517335896);
    EXPECT_EQ(f.ang2[200], 100.0117);
    EXPECT_EQ(f.lift1[101], 9.574539564);
    EXPECT_EQ(f.lift1[4], 0.002);
    EXPECT_EQ(f.lift1[194], 0.001);
    for (const Table* t : {&f.ang1, &f.lift1, &f.ang2, &f.lift2}) {
        EXPECT_EQ((*t)[0], 0);
    }
}

TEST(Profiles, ShapeOfTheTables) {
    Bench b;
    const Form1& f = b.form;
    for (std::size_t i = 1; i <= 200; ++i) {
        EXPECT_EQ(f.lift1[i], f.lift2[i]) << i;
        // 104 down to -102.96 in steps of 1.04, each the double nearest its text.
        EXPECT_EQ(f.ang1[i], twoDecimals(10400 - 104 * static_cast<long>(i - 1))) << i;
        const bool zero = i <= 3 || i >= 195;
        EXPECT_EQ(f.lift1[i] == 0, zero) << i;
        if (i > 1) {
            EXPECT_GT(f.ang2[i], f.ang2[i - 1]) << i;
            const double step = f.ang2[i] - f.ang2[i - 1];
            EXPECT_GE(step, 0.8135 - 1e-9);
            EXPECT_LE(step, 1.3056 + 1e-9);
            if (i <= 101) {
                EXPECT_GE(f.lift1[i], f.lift1[i - 1]) << i;
            } else {
                EXPECT_LE(f.lift1[i], f.lift1[i - 1]) << i;
            }
        }
        if (i != 101) {
            EXPECT_LT(f.lift1[i], f.lift1[101]);
        }
    }
    EXPECT_NEAR(f.lift1[51] - f.lift1[50], 0.208447366, 1e-12);
    EXPECT_NEAR(f.lift1[150] - f.lift1[151], 0.208076951, 1e-12);
}

// The second profile is the first one re-timed by the linkage: at the first
// control angle, 4.5, the linkage moves every point of it onto the first profile.
// A mistyped entry or a wrong solver step fails here.
TEST(Profiles, SecondAngleColumnMatchesTheLinkage) {
    Bench b;
    Form1& f = b.form;
    for (std::size_t i = 1; i <= 200; ++i) {
        f.solveLinkage(4.5 - f.ang2[i] * f.pi / 180);
        EXPECT_NEAR(f.ff, f.ang2[i] + f.ang1[i], 1e-4) << "row " << i;
    }
}

TEST(Profiles, EveryActivationCopiesAllEntries) {
    Bench b;
    b.form.ang2[7] = 0;
    b.form.lift1[200] = 5;
    b.form.fillProfileTables();
    EXPECT_EQ(b.form.ang2[7], -95.7145);
    EXPECT_EQ(b.form.lift1[200], 0);
}

} // namespace
} // namespace zm::test
