#include "Harness.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zm::test {
namespace {

double solve(Bench& b, double theta) {
    b.form.solveLinkage(theta);
    return b.form.ff;
}

TEST(Linkage, KnownPositions) {
    Bench b;
    const double pi = b.form.pi;
    EXPECT_NEAR(solve(b, 0), 3.8308, 5e-5);
    EXPECT_NEAR(solve(b, pi / 2), 10.6443, 5e-5);
    EXPECT_NEAR(solve(b, pi), -7.1246, 5e-5);
    EXPECT_NEAR(solve(b, 3 * pi / 2), -13.0319, 5e-5);
    // The extremes over a whole turn.
    double lo = 1e9, hi = -1e9;
    for (int i = 0; i < 36000; ++i) {
        const double f = solve(b, i * 2 * pi / 36000);
        lo = std::min(lo, f);
        hi = std::max(hi, f);
    }
    EXPECT_NEAR(lo, -13.487, 1e-3);
    EXPECT_NEAR(hi, 13.126, 1e-3);
}

TEST(Linkage, DependsOnlyOnTheAngleModuloATurn) {
    Bench b;
    const double pi = b.form.pi;
    for (double theta : {-7.0, -1.0, 0.3, 2.0, 5.5, 19.5}) {
        b.form.ff = 1e300; // the previous result has no influence
        const double f = solve(b, theta);
        EXPECT_TRUE(std::isfinite(f));
        EXPECT_NEAR(solve(b, theta + 2 * pi), f, 1e-9);
        EXPECT_NEAR(solve(b, theta - 4 * pi), f, 1e-9);
    }
}

// The linkage closes: with the crank pivot at the origin and the rocker pivot at
// (31.5, 0), the rocker tip seen from the origin in the direction the solver
// reports lies 31 from the rocker pivot and 25 from the crank tip.
TEST(Linkage, RockerTipClosesTheLoop) {
    Bench b;
    const double pi = b.form.pi;
    for (int i = 0; i < 360; ++i) {
        const double theta = i * pi / 180;
        const double delta = (65 - solve(b, theta) / 2) * pi / 180;
        // |r (cos d, sin d) - (31.5, 0)| = 31, the root on the far side of the rocker pivot.
        const double bq = -63 * std::cos(delta);
        const double cq = 31.5 * 31.5 - 31.0 * 31.0;
        const double r = (-bq + std::sqrt(bq * bq - 4 * cq)) / 2;
        const double tx = r * std::cos(delta), ty = r * std::sin(delta);
        const double cx = 7 * std::cos(theta), cy = 7 * std::sin(theta);
        EXPECT_NEAR(std::hypot(tx - 31.5, ty), 31, 1e-9);
        EXPECT_NEAR(std::hypot(tx - cx, ty - cy), 25, 1e-9) << "theta " << i << " degrees";
    }
}

TEST(TravelCurve, DrawsOneThickLightOrangePolyline) {
    Bench b;
    b.form.drawTravelCurve();
    const auto& ops = b.rec.ops;
    ASSERT_EQ(ops.size(), 943u);
    for (const picture::Op& op : ops) {
        EXPECT_EQ(op.width, 3);
        EXPECT_EQ(op.colour, colour::lightOrange);
    }
    // The first start height is 0: no previous height exists yet.
    EXPECT_NEAR(ops.front().x1, -75.2865, 1e-4);
    EXPECT_EQ(ops.front().y1, 0.0f);
    EXPECT_NEAR(ops.front().x2, -75, 1e-5);
    EXPECT_NEAR(ops.front().y2, 55.85, 1e-5);
    EXPECT_NEAR(ops.back().x2, 194.8631, 1e-4);
    EXPECT_NEAR(ops.back().y2, 4.8504, 1e-4);
    for (std::size_t i = 1; i < ops.size(); ++i) {
        EXPECT_EQ(ops[i].y1, ops[i - 1].y2);
        EXPECT_NEAR(ops[i].x1, ops[i - 1].x2, 1e-4);
    }
    EXPECT_EQ(b.rec.drawWidth(), 3);
    EXPECT_EQ(b.rec.foreColor(), 0u);
    // The same curve at every call.
    b.form.drawTravelCurve();
    ASSERT_EQ(ops.size(), 2 * 943u);
    EXPECT_TRUE(std::equal(ops.begin(), ops.begin() + 943, ops.begin() + 943));
}

TEST(TravelCurve, FollowsTheSliderCrank) {
    Bench b;
    b.form.drawTravelCurve();
    // Bottom of the stroke at crank angle 0 (x = 15), top at pi (x = 105), 51 apart.
    float lo = 1e9f, hi = -1e9f, xlo = 0, xhi = 0;
    for (const picture::Op& op : b.rec.ops) {
        if (op.x2 > 0 && op.x2 < 150) {
            if (op.y2 < lo) {
                lo = op.y2;
                xlo = op.x2;
            }
            if (op.y2 > hi) {
                hi = op.y2;
                xhi = op.x2;
            }
        }
    }
    EXPECT_NEAR(lo, 4.85, 1e-3);
    EXPECT_NEAR(xlo, 15, 0.3);
    EXPECT_NEAR(hi, 55.85, 1e-3);
    EXPECT_NEAR(xhi, 105, 0.3);
}

} // namespace
} // namespace zm::test
