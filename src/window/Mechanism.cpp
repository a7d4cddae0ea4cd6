#include "window/Mechanism.h"

#include "math/CorrectlyRounded.h"
#include "math/ShortestFloat.h"
#include "profiles/ProfileTables.h"

#include <cmath>
#include <string>

namespace zm {

namespace {

std::string number(double v) {
    return cr::shortestDouble(v);
}

const double halfTurn = 4 * cr::atan(1.0);

// An angle in radians as whole degrees in [0, 360).
std::string degrees(double radians) {
    long d = std::lround(radians * 180 / halfTurn);
    d = ((d % 360) + 360) % 360;
    return std::to_string(d) + "\xc2\xb0";
}

// The direction of (x, y) from the origin, in radians, from the program's own
// arctangent (the messages are the same on every platform).
double direction(double x, double y) {
    if (x == 0) {
        return y < 0 ? -halfTurn / 2 : halfTurn / 2;
    }
    const double a = cr::atan(y / x);
    if (x > 0) {
        return a;
    }
    return y < 0 ? a - halfTurn : a + halfTurn;
}

std::string lengthFault(const char* what, const char* name, double v) {
    if (std::isfinite(v) && v > 0) {
        return {};
    }
    return std::string("the ") + what + name + " must be a positive finite length, not " + number(v);
}

} // namespace

// Each condition below is required with this margin, as a fraction of a
// quantity of the linkage's own size (or of a cosine), so that rounding in the
// solver cannot step out of a root's or an arcsine's domain at a dead point:
// the tolerance band at the exact boundary, where a linkage is refused.
constexpr double linkageMargin = 1e-6;
// The least distance of the rocker tip ahead of the crank pivot, as a fraction
// of ground + rocker (4. below): the solver's rounding of reach is a fraction
// of their squares, however short reach is.
constexpr double rockerTipMargin = 1e-7;

// When the solver is defined at every crank angle, and gives the true angles.
//
// Ground g, crank c, coupler k, rocker r. The crank pivot O is at the origin,
// the rocker pivot Q at (g, 0), the crank tip A at c (cos theta, sin theta).
//
// 1. diag = |QA| lies in [|g - c|, g + c], its ends reached at theta = 0 and pi.
//    beta is the angle at Q between QO and QA; its cosine is (g - c cos theta) /
//    diag. The arcsine of sinbeta is that angle exactly when the angle is below
//    90 degrees, that is g > c cos theta; and then |sinbeta| < 1 and diag > 0.
//    For every theta this is c < g. If c >= g, at cos theta = g / c the angle is
//    90 degrees (|sinbeta| = 1, or diag = 0 when c = g): refused.
// 2. cosgamma = (diag^2 + r^2 - k^2) / (2 diag r), the law of cosines in the
//    triangle A, Q, rocker tip B. It is at most 1 when |diag - r| <= k, and
//    positive when diag^2 + r^2 > k^2. diag runs over all of [g - c, g + c] as
//    theta turns, so over the whole turn:
//      diag <= r + k   at theta = pi:  g + c <= k + r;
//      diag >= r - k   at theta = 0:   r - k <= g - c;
//      diag^2 > k^2 - r^2 at theta = 0: (g - c)^2 + r^2 > k^2.
//    (diag - r >= -k and the others at other angles follow from these.) Then
//    gamma is the arccosine, in [0, 90) degrees, and B is where the coupler and
//    rocker meet: B = (g - r cos phi, r sin phi), phi = beta + gamma, and reach =
//    |OB| > 0.
// 3. delta is the direction of B seen from O; the arcsine of sindelta = B_y /
//    |OB| is that direction exactly when B_x > 0 (and then |sindelta| < 1).
//    If r < g, B_x >= g - r > 0 always. If r >= g: |OB| >= k - c whatever the
//    crank does (the crank and coupler are a path from O to B). On the rocker's
//    circle above the ground line |OB| grows with phi and so does B_x; so B_x is
//    least, over the positions with B_y >= 0, at the point B* where |OB*| = k - c,
//    the crank folded back along the coupler, and
//      B*_x = (g^2 + (k - c)^2 - r^2) / (2 g).
//    If r^2 < g^2 + (k - c)^2, B_x > 0 wherever B_y >= 0; at theta = 0 phi =
//    gamma >= 0, and phi cannot then fall below 0 without passing phi = 0, where
//    B_x = g - r <= 0: so B_y > 0 and B_x > 0 at every theta. If r^2 >= g^2 +
//    (k - c)^2, the folded position is reached (the crank at the direction
//    opposite to B*) and there B_x <= 0: refused.
//    That is r^2 < g^2 + (k - c)^2, which holds by itself when r < g.
// So the linkage is solved at every crank angle if and only if
//    c < g,  g + c <= k + r,  r - k <= g - c,  (g - c)^2 + r^2 > k^2,
//    r^2 < g^2 + (k - c)^2,
// each checked below with the margin above.
//
// 4. Rounding near the folded position. There reach is short, but reach^2 =
//    (r^2 + g^2) - (2 r g) cos phi is a difference of numbers of the size of
//    s^2 = r^2 + g^2, and its rounding is a fraction of those, not of reach^2.
//    Take the solver's own phi and its rocker tip B: each product, sum and the
//    cosine rounds by at most u = 2^-53 of itself, so reach^2 is off by at most
//    5u s^2 + u reach^2, and with the root, the sine and the division the
//    computed sindelta is sin delta times 1 + e, |e| <= 2.5u s^2 / reach^2 +
//    4.5u. As 1 - sin delta >= cos^2 delta / 2 = B_x^2 / (2 reach^2) and
//    reach <= r + g, |sindelta| stays below 1 when B_x^2 > 5u s^2 + 9u (r +
//    g)^2, which B_x^2 > 23u s^2 ensures: B_x > 5.1e-8 s.
//    B_x = (g^2 + reach^2 - r^2) / (2 g) by the law of cosines in O, Q, B, so
//    B_x is least where reach is: at B*, reach = k - c, for r < g as well
//    (k - c > |g - r| by the second and third conditions, and the crank turns
//    all the way round while B only rocks, so the crank does fold back along
//    the coupler at some angle). So B*_x >= 1e-7 (g + r) >= 1e-7 s is asked
//    for every r. That leaves as much again for the solver's error in phi, a
//    few units in the last place (at B* diag^2 >= g^2 + c^2, and the triangle
//    A, Q, B is far from flat), and for the check's own rounding of B*_x, about
//    u s^2 / g (a small part of it unless the ground is some 10^8 times
//    shorter than the rocker). The relative margin on B*_x / (k - c) alone
//    does not cover it where k - c is short: near crank = ground, where all
//    five edges meet at c = g = k = r, and wherever the coupler is nearly as
//    long as the crank and the rocker nearly as long as the ground.
std::string linkageFault(const Linkage& l) {
    const double g = l.ground, c = l.crank, k = l.coupler, r = l.rocker;
    const char* const names[] = {"ground", "crank", "coupler", "rocker"};
    const double lengths[] = {g, c, k, r};
    for (int i = 0; i < 4; ++i) {
        if (std::string f = lengthFault("linkage's ", names[i], lengths[i]); !f.empty()) {
            return f;
        }
    }
    if ((g - c) / g <= linkageMargin) {
        // The angle whose cosine is g / c, where the crank tip passes above the
        // rocker pivot.
        const double x = g / c;
        const double at = c > g ? direction(x, std::sqrt(1 - x * x)) : 0;
        return "the crank (" + number(c) + ") must be shorter than the ground (" + number(g) +
               ") to turn all the way round; the linkage cannot follow it at crank angle " + degrees(at);
    }
    if ((k + r - (g + c)) / (k + r) <= linkageMargin) {
        return "the coupler and rocker (" + number(k) + " + " + number(r) +
               ") cannot reach across ground + crank (" + number(g) + " + " + number(c) +
               ") at crank angle 180\xc2\xb0; make coupler + rocker the longer";
    }
    if ((k + (g - c) - r) / (k + r) <= linkageMargin) {
        return "the rocker (" + number(r) + ") is too long for the coupler (" + number(k) +
               ") to meet it across ground - crank (" + number(g) + " - " + number(c) +
               ") at crank angle 0\xc2\xb0; make the rocker shorter than coupler + ground - crank";
    }
    const double near = g - c;
    if (((near * near + r * r) - k * k) / ((2 * near) * r) <= linkageMargin) {
        return "the coupler (" + number(k) +
               ") is too long: at crank angle 0\xc2\xb0 the rocker would stand square to " +
               "the line to the crank tip or beyond; make coupler\xc2\xb2 less than (ground - crank)\xc2\xb2 "
               "+ "
               "rocker\xc2\xb2 (" +
               number(near) + "\xc2\xb2 + " + number(r) + "\xc2\xb2)";
    }
    const double folded = k - c;
    const double bx = ((g * g + folded * folded) - r * r) / (2 * g);
    const bool behind = r >= g && bx <= linkageMargin * folded;
    if (behind || bx < rockerTipMargin * (g + r)) {
        const double by = std::sqrt(std::fmax(0, folded * folded - bx * bx));
        const std::string at = degrees(direction(-bx, -by));
        const std::string sum = " (" + number(g) + "\xc2\xb2 + " + number(folded) + "\xc2\xb2)";
        if (behind) {
            return "the rocker (" + number(r) +
                   ") is too long: with the crank folded back along the coupler, at crank angle " + at +
                   ", the rocker tip would swing round behind the crank pivot; make rocker\xc2\xb2 less than "
                   "ground\xc2\xb2 + (coupler - crank)\xc2\xb2" +
                   sum;
        }
        // Ahead of the crank pivot, but too close to its square to the ground
        // for the solver's rounding (4. above).
        return "the rocker (" + number(r) + ") leaves too little room for the coupler - crank (" + number(k) +
               " - " + number(c) + "): with the crank folded back along the coupler, at crank angle " + at +
               ", the rocker tip would pass too close to the line through the crank pivot square to the "
               "ground to be followed; make rocker\xc2\xb2 clearly less than ground\xc2\xb2 + (coupler - "
               "crank)\xc2\xb2" +
               sum;
    }
    return {};
}

std::string sliderCrankFault(const SliderCrank& s) {
    if (std::string f = lengthFault("slider-crank's ", "radius", s.radius); !f.empty()) {
        return f;
    }
    if (std::string f = lengthFault("slider-crank's ", "rod", s.rod); !f.empty()) {
        return f;
    }
    if (!(s.rod > s.radius)) {
        return "the slider-crank's rod (" + number(s.rod) + ") must be longer than its radius (" +
               number(s.radius) + ")";
    }
    return {};
}

std::string profileFault(const LiftProfile& p) {
    const std::size_t n = p.rows();
    if (p.lift.size() != n) {
        return "the profile has " + std::to_string(n) + " angles but " + std::to_string(p.lift.size()) +
               " lifts: give one lift for each angle";
    }
    if (n < LiftProfile::minRows || n > LiftProfile::maxRows) {
        return "the profile has " + std::to_string(n) + " rows: give from " +
               std::to_string(LiftProfile::minRows) + " to " + std::to_string(LiftProfile::maxRows) +
               " rows of angle and lift";
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(p.angle[i]) || !std::isfinite(p.lift[i])) {
            return "row " + std::to_string(i + 1) + " of the profile (" + number(p.angle[i]) + ", " +
                   number(p.lift[i]) + ") is not two finite numbers: give its angle and lift as numbers";
        }
    }
    const bool falling = p.angle[1] < p.angle[0];
    for (std::size_t i = 1; i < n; ++i) {
        if (p.angle[i] == p.angle[i - 1]) {
            return "rows " + std::to_string(i) + " and " + std::to_string(i + 1) +
                   " of the profile have the same angle (" + number(p.angle[i]) +
                   "): give each row an angle of its own";
        }
        if ((p.angle[i] < p.angle[i - 1]) != falling) {
            return "rows " + std::to_string(i) + " and " + std::to_string(i + 1) +
                   " of the profile (angles " + number(p.angle[i - 1]) + " and " + number(p.angle[i]) +
                   ") turn back: give the angles in one direction, rising or falling";
        }
    }
    if (!falling) {
        return "the profile's angles rise from row to row: give them falling, as the program draws them";
    }
    return {};
}

namespace {

double greatestLift(const LiftProfile& p) {
    double most = p.lift.front();
    for (double v : p.lift) {
        most = std::fmax(most, v);
    }
    return most;
}

} // namespace

std::string checkingLiftFault(const Mechanism& m) {
    if (!m.checkingLift) {
        return {};
    }
    const double l = *m.checkingLift;
    if (!std::isfinite(l) || !(l > 0)) {
        return "the checking lift must be a positive finite lift, not " + number(l);
    }
    return {};
}

double checkingLift(const Mechanism& m) {
    return m.checkingLift ? *m.checkingLift : greatestLift(m.profile) / 10;
}

std::string prepareMechanism(Mechanism& m) {
    if (std::string f = linkageFault(m.linkage); !f.empty()) {
        return f;
    }
    if (std::string f = sliderCrankFault(m.sliderCrank); !f.empty()) {
        return f;
    }
    if (std::string f = profileFault(m.profile); !f.empty()) {
        return f;
    }
    if (std::string f = checkingLiftFault(m); !f.empty()) {
        return f;
    }
    return settleSecondProfile(m.profile, m.linkage);
}

std::string mechanismFault(const Mechanism& m) {
    Mechanism copy = m;
    return prepareMechanism(copy);
}

} // namespace zm
