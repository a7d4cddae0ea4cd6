#include "Harness.h"
#include "LiftLaws.h"
#include "window/Mechanism.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace zm::test {
namespace {

// A crank twice the built-in one's, with a longer coupler and a shorter
// rocker: the second column lies far from the built-in one's.
const Linkage longCrank{31.5, 14, 32, 27};

// The built-in crank with a short coupler and rocker: at the crank angles the
// rows reach from the first control angle the rocker swings so fast that the
// second column cannot settle.
const Linkage tooFast{31.5, 7, 21, 18};

std::string describe(const Linkage& l, std::size_t rows) {
    std::ostringstream s;
    s << l.ground << "," << l.crank << "," << l.coupler << "," << l.rocker << " with " << rows << " rows";
    return s.str();
}

// How far the moving trace drawn at the first control angle lies from the
// first profile, at worst over the rows: each point taken as the phase takes
// it (the linkage solved at k - angle pi / 180, x = ww - angle + ff), against
// the first profile's point at ww + angle.
double worstOffTheFirstProfile(Bench& b) {
    Form1& f = b.form;
    double worst = 0;
    for (int i = 1; i < f.tableEnd(); ++i) {
        const std::size_t r = static_cast<std::size_t>(i);
        f.solveLinkage(f.k - f.ang2[r] * f.pi / 180);
        const double x = f.ww - f.ang2[r] + f.ff;
        EXPECT_EQ(f.lift2[r], f.lift1[r]);
        worst = std::fmax(worst, std::fabs(x - (f.ww + f.ang1[r])));
    }
    return worst;
}

// For other linkages and other row counts and steps than the built-in ones,
// the second column settles, and at k0 = 4.5 the moving trace lies on the
// first profile: a wrong step of the iteration, a row left at its starting
// value or a shift taken with another sign would put it degrees away.
TEST(SecondProfile, SettlesOntoTheFirstProfileForUserMechanisms) {
    struct Case {
        Linkage linkage;
        LiftProfile profile;
    };
    const std::vector<Case> cases = {
        {longCrank, LiftProfile::builtIn()},  {Linkage{40, 10, 30, 35}, LiftProfile::builtIn()},
        {Linkage{}, polynomialProfile(37)},   // 5 degrees a row
        {Linkage{}, polynomialProfile(1001)}, // 0.18 degrees a row
        {longCrank, polynomialProfile(37)},   {longCrank, polynomialProfile(1001)},
    };
    for (const Case& c : cases) {
        Mechanism m = with(c.linkage, c.profile);
        const std::string what = describe(c.linkage, m.profile.rows());
        ASSERT_EQ(prepareMechanism(m), "") << what;
        ASSERT_EQ(m.profile.second.size(), m.profile.rows()) << what;
        Bench b(m);
        ASSERT_EQ(b.form.tableEnd(), static_cast<int>(m.profile.rows()) + 1) << what;
        ASSERT_EQ(b.form.k, 4.5);
        const double worst = worstOffTheFirstProfile(b);
        EXPECT_LT(worst, 1e-6) << what;
        std::printf("%s: the moving trace at k0 lies within %.3g of the first profile\n", what.c_str(),
                    worst);
    }
}

// The built-in linkage with the built-in profile keeps the stored column bit
// for bit: the built-in traces depend on it. The iteration from the same rows
// agrees with the stored digits only to within about one unit of their fourth
// decimal (most entries have four decimals, every 25th has fifteen), so
// working the column out afresh would change every built-in trace.
TEST(SecondProfile, BuiltInMechanismKeepsTheStoredColumn) {
    const LiftProfile stored = LiftProfile::builtIn();
    Mechanism m = with(Linkage{});
    ASSERT_EQ(prepareMechanism(m), "");
    ASSERT_EQ(m.profile.second.size(), stored.second.size());
    for (std::size_t i = 0; i < stored.rows(); ++i) {
        EXPECT_EQ(m.profile.second[i], stored.second[i]) << "row " << i + 1;
    }
    Bench b;
    for (std::size_t i = 1; i <= stored.rows(); ++i) {
        EXPECT_EQ(b.form.ang2[i], stored.second[i - 1]) << "row " << i;
    }

    // The same angles with one lift one step off is a user's profile: its
    // second column is worked out, from exactly the built-in angles.
    Mechanism iterated = with(Linkage{});
    iterated.profile.lift[0] = std::nextafter(iterated.profile.lift[0], 1.0);
    ASSERT_EQ(prepareMechanism(iterated), "");
    double worst = 0;
    std::size_t worstRow = 0, exact = 0;
    for (std::size_t i = 0; i < stored.rows(); ++i) {
        const double d = std::fabs(iterated.profile.second[i] - stored.second[i]);
        EXPECT_LT(d, 1e-4) << "row " << i + 1;
        if (d > worst) {
            worst = d;
            worstRow = i + 1;
        }
        exact += d == 0;
    }
    std::printf("the iteration reproduces the stored column to within %.3g (row %zu); %zu rows exactly\n",
                worst, worstRow, exact);
    EXPECT_GT(worst, 1e-6) << "the stored column now agrees with the iteration: it need not be kept";
}

// A linkage that assembles at every crank angle but whose shift turns faster
// than the cam near the first control angle is refused, naming the row, by
// prepareMechanism and by the window.
TEST(SecondProfile, RefusesALinkageWhoseShiftTurnsTooFast) {
    ASSERT_EQ(linkageFault(tooFast), "");
    const std::string expected =
        "the second profile does not settle at row 95 (cam angle 6.24) after 100 rounds: the linkage's "
        "shift turns faster than the cam there; make the rocker swing less (a shorter crank, or a longer "
        "coupler and rocker)";
    Mechanism m = with(tooFast);
    EXPECT_EQ(prepareMechanism(m), expected);
    EXPECT_EQ(mechanismFault(with(tooFast)), expected);
    picture::RecordingSurface rec;
    SweepHost host;
    try {
        Form1 form(rec, host, with(tooFast));
        ADD_FAILURE() << "the window took a linkage that does not settle";
    } catch (const std::invalid_argument& e) {
        EXPECT_EQ(e.what(), expected);
    }
    // The same linkage with the polynomial rows fails at its own row.
    const std::string poly = mechanismFault(with(tooFast, polynomialProfile(361)));
    EXPECT_NE(poly.find("the second profile does not settle at row "), std::string::npos) << poly;
}

LiftProfile rows(std::vector<double> angle, std::vector<double> lift) {
    LiftProfile p;
    p.angle = std::move(angle);
    p.lift = std::move(lift);
    return p;
}

// prepareMechanism checks the profile's rows before it works anything out from
// them, and says which rows are at fault.
TEST(SecondProfile, PrepareRefusesBadProfileRows) {
    const struct {
        LiftProfile profile;
        const char* fault;
    } cases[] = {
        {rows({10, 0}, {1, 2}), "the profile has 2 rows: give from 3 to 100000 rows of angle and lift"},
        {rows({10, 0, -10}, {1, 2}), "the profile has 3 angles but 2 lifts: give one lift for each angle"},
        {rows({10, 5, 0, -5}, {0, NAN, 1, 0}),
         "row 2 of the profile (5, nan) is not two finite numbers: give its angle and lift as numbers"},
        {rows({10, INFINITY, 0}, {0, 1, 0}),
         "row 2 of the profile (inf, 1) is not two finite numbers: give its angle and lift as numbers"},
        {rows({10, 5, 5, 0}, {0, 1, 1, 0}),
         "rows 2 and 3 of the profile have the same angle (5): give each row an angle of its own"},
        {rows({10, 5, 7, 0}, {0, 1, 1, 0}), "rows 2 and 3 of the profile (angles 5 and 7) turn back: give "
                                            "the angles in one direction, rising or "
                                            "falling"},
        {rows({-10, 0, 10}, {0, 1, 0}),
         "the profile's angles rise from row to row: give them falling, as the program draws them"},
    };
    for (const auto& c : cases) {
        Mechanism m = with(Linkage{}, c.profile);
        EXPECT_EQ(prepareMechanism(m), c.fault);
        EXPECT_TRUE(m.profile.second.empty()) << c.fault;
    }
    // The largest profile is taken, one row more is refused.
    Mechanism largest = with(Linkage{}, polynomialProfile(LiftProfile::maxRows));
    EXPECT_EQ(mechanismFault(largest), "");
    largest.profile = polynomialProfile(LiftProfile::maxRows + 1);
    EXPECT_EQ(mechanismFault(largest),
              "the profile has 100001 rows: give from 3 to 100000 rows of angle and lift");
    // The linkage is checked before the rows.
    EXPECT_EQ(mechanismFault(with(Linkage{31.5, 7, 25, 0}, rows({1, 2}, {0, 0}))),
              "the linkage's rocker must be a positive finite length, not 0");
}

} // namespace
} // namespace zm::test
