#include "Harness.h"
#include "window/Linkage.h"
#include "window/Mechanism.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>

namespace zm::test {
namespace {

const double pi = 4 * std::atan(1.0);

Mechanism mechanism(const Linkage& l, const SliderCrank& s = {}) {
    Mechanism m;
    m.linkage = l;
    m.sliderCrank = s;
    return m;
}

// The solver at n crank angles spread over a whole turn: whether it is defined
// and gives the true angles everywhere (solved), and if so how far the coupler
// strays from its length and delta from the rocker tip's direction at worst.
// Defined and true: diag and reach above 0, |sinbeta| and |sindelta| below 1,
// cosgamma in (0, 1], the crank tip seen from the rocker pivot less than 90
// degrees off the ground line (beta is its arcsine), and the rocker tip on the
// rocker pivot's side of the crank pivot (delta is its arcsine).
struct Sweep {
    bool solved = true;
    double spanError = 0;
    double deltaError = 0;
};

Sweep sweep(const Linkage& l, int n) {
    Sweep s;
    for (int i = 0; i < n; ++i) {
        const double theta = 2 * pi * i / n;
        const LinkagePosition p = solveLinkagePosition(l, theta);
        const double crankTipX = l.crank * std::cos(theta);
        const double rockerAngle = p.beta + p.gamma;
        const double rockerTipX = l.ground - l.rocker * std::cos(rockerAngle);
        const bool ok = p.diag > 0 && std::fabs(p.sinbeta) < 1 && p.cosgamma > 0 && p.cosgamma <= 1 &&
                        p.reach > 0 && std::fabs(p.sindelta) < 1 && crankTipX < l.ground && rockerTipX > 0 &&
                        std::isfinite(p.delta);
        if (!ok) {
            s.solved = false;
            return s;
        }
        const double rockerTipY = l.rocker * std::sin(rockerAngle);
        const double span = std::hypot(rockerTipX - crankTipX, rockerTipY - l.crank * std::sin(theta));
        s.spanError = std::fmax(s.spanError, std::fabs(span - l.coupler));
        s.deltaError = std::fmax(s.deltaError, std::fabs(std::atan2(rockerTipY, rockerTipX) - p.delta));
    }
    return s;
}

// Whether the solver is defined and gives the true angles at every one of n
// crank angles; where it is, the coupler also joins the crank tip to the rocker
// tip, and delta is the rocker tip's direction (to within deltaTolerance: the
// arcsine loses digits as delta nears 90 degrees, close to an edge of the
// conditions).
bool sweepAssembles(const Linkage& l, int n, double deltaTolerance = 1e-9) {
    const Sweep s = sweep(l, n);
    if (s.solved) {
        EXPECT_LE(s.spanError, 1e-7 * (l.ground + l.coupler));
        EXPECT_LE(s.deltaError, deltaTolerance);
    }
    return s.solved;
}

// How far a linkage is from the nearest edge of the assembly conditions, as the
// smallest of their relative slacks; near 0 the check's tolerance band lies.
double nearestEdge(const Linkage& l) {
    const double g = l.ground, c = l.crank, k = l.coupler, r = l.rocker;
    const double slack[] = {
        (g - c) / g,
        (k + r - (g + c)) / (k + r),
        ((g - c) * (g - c) + r * r - k * k) / (k * k + r * r),
        (g * g + (k - c) * (k - c) - r * r) / (g * g + r * r),
    };
    double least = 1e300;
    for (double s : slack) {
        least = std::fmin(least, std::fabs(s));
    }
    return least;
}

constexpr int sweepAngles = 100000;

TEST(LinkageConditions, BuiltInLinkageAssemblesAndPasses) {
    EXPECT_EQ(mechanismFault(Mechanism{}), "");
    EXPECT_TRUE(sweepAssembles(Linkage{}, sweepAngles));
}

// The check against a dense sweep of the crank for random linkages: it accepts
// exactly the ones the sweep finds solved at every angle, and every condition
// is the reason for some refusal.
TEST(LinkageConditions, AgreeWithADenseSweepForRandomLinkages) {
    std::mt19937_64 random(20261209);
    std::uniform_real_distribution<double> ground(10, 50), other(0.5, 60);
    int accepted = 0, refused = 0, nearEdge = 0;
    std::map<std::string, int> reasons;
    for (int n = 0; n < 400; ++n) {
        const Linkage l{ground(random), other(random) / 3, other(random), other(random)};
        if (nearestEdge(l) < 1e-4) {
            ++nearEdge;
            continue;
        }
        const std::string fault = linkageFault(l);
        const bool sweep = sweepAssembles(l, sweepAngles);
        EXPECT_EQ(fault.empty(), sweep)
            << l.ground << ", " << l.crank << ", " << l.coupler << ", " << l.rocker << ": " << fault;
        if (fault.empty()) {
            ++accepted;
        } else {
            ++refused;
            for (const char* reason : {"shorter than the ground", "cannot reach across", "to meet it across",
                                       "stand square", "folded back"}) {
                if (fault.find(reason) != std::string::npos) {
                    ++reasons[reason];
                }
            }
        }
    }
    EXPECT_GT(accepted, 40);
    EXPECT_GT(refused, 60);
    EXPECT_LT(nearEdge, 10);
    for (const auto& [reason, count] : reasons) {
        std::printf("%4d refused: %s\n", count, reason.c_str());
    }
    EXPECT_EQ(reasons.size(), 5u) << "a condition that never refuses";
}

// On each side of each edge, from 1e-2 to 1e-7 of a length off it: outside the
// band the check and the sweep agree, so they change their answer across the
// edge; inside it the check refuses on both sides (it may refuse a few that the
// solver follows, never accept one it cannot). The band is the margin of 1e-6
// on the edge's own slack; where the rocker tip's least room ahead of the crank
// pivot shrinks as the square of the offset (the corners where coupler = crank
// and rocker = ground), it is 1e-7 of ground + rocker on that room, which the
// solver's rounding asks for.
TEST(LinkageConditions, AgreeWithTheSweepOnEachSideOfEachEdge) {
    struct Edge {
        const char* name;
        int acceptedSide; // accepted for t of this sign (refused for the other), 0: refused on both sides
        double band;      // for |t| up to this the check refuses on both sides
        Linkage (*at)(double t);
    };
    const Edge edges[] = {
        // The crank as long as the ground: all five edges meet at c = g = k =
        // r (a crank nearly as long as the ground assembles only with coupler
        // and rocker nearly as long too), and the rocker tip's room ahead of
        // the crank pivot is g t^2 / 2.
        {"crank = ground", -1, 5e-4,
         [](double t) {
             return Linkage{31.5, 31.5 * (1 + t), 31.5, 31.5};
         }},
        // 31.5 + 7 = 25 + 13.5: stretched out at 180 degrees.
        {"ground + crank = coupler + rocker", 1, 3e-6,
         [](double t) {
             return Linkage{31.5, 7, 25, 13.5 * (1 + t)};
         }},
        // 31.5 - 7 = 31.5 - 7: coupler as long as the crank and rocker as long
        // as the ground, where the third edge meets the second (and the fifth),
        // the rocker tip's room being (7 t)^2 / 63. Elsewhere the third edge
        // lies outside the fifth: see the next.
        {"rocker - coupler = ground - crank, coupler = crank", 1, 5e-3,
         [](double t) {
             return Linkage{31.5, 7, 7 * (1 + t), 31.5};
         }},
        // 49.5 - 25 = 31.5 - 7: beyond it the coupler cannot meet the rocker at
        // 0 degrees, short of it the rocker tip swings round behind the crank
        // pivot.
        {"rocker - coupler = ground - crank", 0, 0,
         [](double t) {
             return Linkage{31.5, 7, 25, 49.5 * (1 + t)};
         }},
        // 24.5^2 + 20^2 = coupler^2: the rocker square to the line to the crank tip at 0 degrees.
        {"(ground - crank)^2 + rocker^2 = coupler^2", -1, 5e-7,
         [](double t) {
             return Linkage{31.5, 7, std::sqrt(1000.25) * (1 + t), 20};
         }},
        // 31.5^2 + 18^2 = rocker^2: the rocker tip straight above the crank pivot, crank folded.
        {"ground^2 + (coupler - crank)^2 = rocker^2", -1, 5e-7,
         [](double t) {
             return Linkage{31.5, 7, 25, std::sqrt(1316.25) * (1 + t)};
         }},
    };
    for (const Edge& e : edges) {
        for (double size : {1e-2, 1e-3, 1e-4, 1e-5, 1e-6, 1e-7}) {
            for (double t : {size, -size}) {
                const Linkage l = e.at(t);
                const std::string fault = linkageFault(l);
                const bool solvable = (t > 0 ? 1 : -1) == e.acceptedSide;
                if (size > e.band) {
                    EXPECT_EQ(fault.empty(), solvable) << e.name << " t " << t << ": " << fault;
                    EXPECT_EQ(sweepAssembles(l, sweepAngles, 1e-6), solvable) << e.name << " t " << t;
                } else {
                    EXPECT_NE(fault, "") << e.name << " t " << t;
                    if (!solvable) {
                        EXPECT_FALSE(sweep(l, sweepAngles).solved) << e.name << " t " << t;
                    }
                }
            }
        }
        // On the edge itself the check refuses: a dead point is inside the band.
        EXPECT_NE(linkageFault(e.at(0)), "") << e.name;
    }
}

// Where the rocker tip passes just ahead of the crank pivot with the crank
// folded back along a coupler of nearly its length, the exact conditions hold
// but the solver's reach, a difference of squares of ground and rocker, rounds
// its sindelta past 1: the check refuses these, for a rocker as long as the
// ground, a little shorter or a little longer, and a crank nearly the ground's.
TEST(LinkageConditions, RefusesWhereTheSolverRoundsPastTheCrankPivot) {
    const Linkage near[] = {
        {31.5, 7, 7.0001, 31.5},
        {31.5, 7, 7.001, 31.5 - 1e-9},
        {31.5, 7, 7.0001, 31.5 + 1e-12},
        {31.5, 31.5 * (1 - 1e-4), 31.5, 31.5},
        {31.5, 31.5 * (1 - 1e-5), 31.5, 31.5},
    };
    for (const Linkage& l : near) {
        const std::string fault = linkageFault(l);
        EXPECT_NE(fault.find("leaves too little room"), std::string::npos)
            << l.ground << ", " << l.crank << ", " << l.coupler << ", " << l.rocker << ": " << fault;
        EXPECT_FALSE(sweep(l, sweepAngles).solved)
            << l.ground << ", " << l.crank << ", " << l.coupler << ", " << l.rocker;
    }
    // With room enough the same shapes are accepted and followed.
    for (const Linkage& l : {Linkage{31.5, 7, 7.1, 31.5}, Linkage{31.5, 7, 7.1, 31.5 - 1e-9},
                             Linkage{31.5, 31.5 * (1 - 1e-2), 31.5, 31.5}}) {
        EXPECT_EQ(linkageFault(l), "")
            << l.ground << ", " << l.crank << ", " << l.coupler << ", " << l.rocker;
        EXPECT_TRUE(sweepAssembles(l, sweepAngles, 1e-6));
    }
}

// The refusals, one line each in the linkage's words.
TEST(LinkageConditions, RefusalsSayWhatToChange) {
    EXPECT_EQ(linkageFault({31.5, 7, 25, 0}), "the linkage's rocker must be a positive finite length, not 0");
    EXPECT_EQ(linkageFault({-1, 7, 25, 31}), "the linkage's ground must be a positive finite length, not -1");
    EXPECT_EQ(linkageFault({31.5, NAN, 25, 31}),
              "the linkage's crank must be a positive finite length, not nan");
    EXPECT_EQ(linkageFault({31.5, 7, INFINITY, 31}),
              "the linkage's coupler must be a positive finite length, not inf");
    EXPECT_EQ(linkageFault({31.5, 40, 25, 31}),
              "the crank (40) must be shorter than the ground (31.5) to turn all the way round; the linkage "
              "cannot follow it at crank angle 38\xc2\xb0");
    EXPECT_EQ(linkageFault({31.5, 7, 25, 13}),
              "the coupler and rocker (25 + 13) cannot reach across ground + crank (31.5 + 7) at crank angle "
              "180\xc2\xb0; make coupler + rocker the longer");
    EXPECT_EQ(
        linkageFault({31.5, 7, 30, 10}),
        "the coupler (30) is too long: at crank angle 0\xc2\xb0 the rocker would stand square to the line "
        "to the crank tip or beyond; make coupler\xc2\xb2 less than (ground - crank)\xc2\xb2 + "
        "rocker\xc2\xb2 (24.5\xc2\xb2 + 10\xc2\xb2)");
    EXPECT_EQ(
        linkageFault({31.5, 7, 25, 40}),
        "the rocker (40) is too long: with the crank folded back along the coupler, at crank angle "
        "284\xc2\xb0, the rocker tip would swing round behind the crank pivot; make rocker\xc2\xb2 less "
        "than ground\xc2\xb2 + (coupler - crank)\xc2\xb2 (31.5\xc2\xb2 + 18\xc2\xb2)");
    EXPECT_EQ(
        linkageFault({31.5, 7, 7.0078125, 31.5}),
        "the rocker (31.5) leaves too little room for the coupler - crank (7.0078125 - 7): with the crank "
        "folded back along the coupler, at crank angle 270\xc2\xb0, the rocker tip would pass too close to "
        "the line through the crank pivot square to the ground to be followed; make rocker\xc2\xb2 clearly "
        "less than ground\xc2\xb2 + (coupler - crank)\xc2\xb2 (31.5\xc2\xb2 + 0.0078125\xc2\xb2)");
    EXPECT_EQ(
        linkageFault({31.5, 7, 5, 60}),
        "the rocker (60) is too long for the coupler (5) to meet it across ground - crank (31.5 - 7) at "
        "crank angle 0\xc2\xb0; make the rocker shorter than coupler + ground - crank");
}

TEST(SliderCrankConditions, RodLongerThanRadius) {
    EXPECT_EQ(sliderCrankFault({}), "");
    EXPECT_EQ(sliderCrankFault({25.5, 25.6}), "");
    EXPECT_EQ(sliderCrankFault({25.5, 25.5}),
              "the slider-crank's rod (25.5) must be longer than its radius (25.5)");
    EXPECT_EQ(sliderCrankFault({0, 100}),
              "the slider-crank's radius must be a positive finite length, not 0");
    EXPECT_EQ(sliderCrankFault({25.5, -INFINITY}),
              "the slider-crank's rod must be a positive finite length, not -inf");
    // A mechanism's first fault is its linkage's, then its slider-crank's.
    EXPECT_EQ(mechanismFault(mechanism({31.5, 7, 25, 0}, {25.5, 1})),
              "the linkage's rocker must be a positive finite length, not 0");
    EXPECT_EQ(mechanismFault(mechanism({}, {25.5, 1})),
              "the slider-crank's rod (1) must be longer than its radius (25.5)");
}

// The window draws its own mechanism's travel curve and solves its own linkage.
TEST(MechanismInTheWindow, TravelCurveFollowsTheSliderCrank) {
    Bench b(mechanism({}, {10, 50}));
    b.form.drawTravelCurve();
    float lo = 1e9f, hi = -1e9f;
    for (const picture::Op& op : b.rec.ops) {
        if (op.x2 > 0 && op.x2 < 150) {
            lo = std::fmin(lo, op.y2);
            hi = std::fmax(hi, op.y2);
        }
    }
    // A stroke of twice the radius above the gap of 4.85.
    EXPECT_NEAR(lo, 4.85, 1e-3);
    EXPECT_NEAR(hi, 24.85, 1e-3);
}

TEST(MechanismInTheWindow, LinkageShiftIsTheRockerTipsDirection) {
    const Linkage l{40, 10, 30, 35};
    ASSERT_EQ(linkageFault(l), "");
    Bench b(mechanism(l));
    Bench builtIn;
    for (int i = 0; i < 360; i += 15) {
        const double theta = i * pi / 180;
        b.form.solveLinkage(theta);
        builtIn.form.solveLinkage(theta);
        EXPECT_NE(b.form.ff, builtIn.form.ff);
        // The rocker tip where the solver's direction meets the rocker's circle
        // (the root on the far side of the rocker pivot) is the coupler's length
        // from the crank tip.
        const double delta = (65 - b.form.ff / 2) * pi / 180;
        const double bq = -2 * l.ground * std::cos(delta);
        const double cq = l.ground * l.ground - l.rocker * l.rocker;
        const double s = (-bq + std::sqrt(bq * bq - 4 * cq)) / 2;
        const double tx = s * std::cos(delta), ty = s * std::sin(delta);
        EXPECT_NEAR(std::hypot(tx - l.ground, ty), l.rocker, 1e-9);
        EXPECT_NEAR(std::hypot(tx - l.crank * std::cos(theta), ty - l.crank * std::sin(theta)), l.coupler,
                    1e-9)
            << "theta " << i << " degrees";
    }
}

} // namespace
} // namespace zm::test
