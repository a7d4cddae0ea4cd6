#include "window/Plane.h"

#include "math/CorrectlyRounded.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zm {

namespace {

// The phases' trace shift ww, the room kept beyond the outermost points (in x
// units and in lift: 4 and 21 pixels, more than half the widest pen), and the
// crank angles sampled for the linkage's range. The built-in traces come within
// 1.27 x units of the design plane's right edge (the moving trace reaches
// 178.73) and within 0.43 of its top (the greatest lift is 9.575), so these
// margins keep the built-in mechanism on the design plane.
constexpr double traceShift = 65;
constexpr double marginX = 1;
constexpr double marginLift = 0.4;
constexpr int turnSamples = 7200;
// No side of a plane grows past this many pixels; the editions refuse or cut
// a picture far smaller than this.
constexpr double mostPixels = 1 << 30;

struct Range {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    void add(double v) {
        low = std::min(low, v);
        high = std::max(high, v);
    }
};

// The shifts the linkage gives over a whole turn of its crank. Between two
// neighbouring samples the shift moves by about the change from one to the
// next, so the extremes found are widened by the largest such change: the true
// ones lie within it.
Range shiftRange(const Linkage& l) {
    const double pi = cr::atan(1.0) * 4;
    Range r;
    double previous = linkageShift(l, 0, traceShift, pi);
    double largestStep = 0;
    r.add(previous);
    for (int i = 1; i <= turnSamples; ++i) {
        const double f = linkageShift(l, (2 * pi) * i / turnSamples, traceShift, pi);
        largestStep = std::max(largestStep, std::fabs(f - previous));
        previous = f;
        r.add(f);
    }
    r.low -= largestStep;
    r.high += largestStep;
    return r;
}

int pixels(double units, double pixelsPerSpan, double span) {
    return static_cast<int>(std::min(std::ceil(units * pixelsPerSpan / span), mostPixels));
}

} // namespace

UserScale planeFor(const Mechanism& m) {
    const LiftProfile& p = m.profile;
    Range x;
    Range mirrored; // the second profile as drawn, before the linkage's shift
    Range lift;
    for (std::size_t i = 0; i < p.rows(); ++i) {
        x.add(traceShift + p.angle[i]);
        mirrored.add(traceShift - p.second[i]);
        lift.add(p.lift[i]);
    }
    x.add(mirrored.low);
    x.add(mirrored.high);
    const Range shift = shiftRange(m.linkage);
    x.add(mirrored.low + shift.low);
    x.add(mirrored.high + shift.high);

    UserScale s;
    s.left = std::min(UserScale::designLeft, x.low - marginX);
    s.top = std::max(UserScale::designTop, lift.high + marginLift);
    const double right = std::max(UserScale::designRight, x.high + marginX);
    const double bottom = std::min(UserScale::designBottom, lift.low - marginLift);
    s.width = pixels(right - s.left, UserScale::designWidth, UserScale::unitsAcross);
    s.height = pixels(s.top - bottom, UserScale::designHeight, UserScale::unitsDown);
    return s;
}

} // namespace zm
