#include "math/CorrectlyRounded.h"
#include "math/ShortestFloat.h"
#include "profiles/ProfileTables.h"
#include "window/Mechanism.h"
#include "window/Sweep.h"

#include <cmath>
#include <string>

namespace zm {

namespace {

// The trace shift the activation handler sets, and the rounds a row may take.
constexpr double traceShift = 65;
constexpr int maxRounds = 100;
constexpr double settled = 1e-9;

bool sameLinkage(const Linkage& a, const Linkage& b) {
    return a.ground == b.ground && a.crank == b.crank && a.coupler == b.coupler && a.rocker == b.rocker;
}

} // namespace

// Row i of the shifted trace is drawn at x = ww - a2 + F(k - a2 pi / 180), a2
// its second-profile angle and F the linkage's shift. At the first control
// angle k0 it is to lie on the first profile's point, x = ww + a1, so a2 =
// -a1 + F(k0 - a2 pi / 180): a fixed point, found by repeating the step from a2
// = -a1, with the shift computed as the phase computes it. The step contracts
// while the linkage's shift changes by less than one degree per degree of a2.
std::string settleSecondProfile(LiftProfile& p, const Linkage& l) {
    if (sameLinkage(l, Linkage{}) && isBuiltInProfile(p)) {
        p.second = LiftProfile::builtIn().second;
        return {};
    }
    const double pi = cr::atan(1.0) * 4;
    const double k0 = Sweep::firstK;
    std::vector<double> second(p.rows());
    for (std::size_t i = 0; i < p.rows(); ++i) {
        const double a1 = p.angle[i];
        double x = -a1;
        bool done = false;
        for (int round = 0; round < maxRounds && !done; ++round) {
            const double next = -a1 + linkageShift(l, k0 - x * pi / 180, traceShift, pi);
            done = !(std::fabs(next - x) >= settled);
            x = next;
        }
        if (!done || !std::isfinite(x)) {
            return "the second profile does not settle at row " + std::to_string(i + 1) + " (cam angle " +
                   cr::shortestDouble(a1) + ") after " + std::to_string(maxRounds) +
                   " rounds: the linkage's shift turns faster than the cam there; make the rocker swing less "
                   "(a shorter crank, or a longer coupler and rocker)";
        }
        second[i] = x;
    }
    p.second = std::move(second);
    return {};
}

} // namespace zm
