#include "math/CorrectlyRounded.h"
#include "window/Form1.h"

#include <cmath>

namespace zm {

// Travel of the mechanism's in-line slider-crank (built in: crank radius 25.5,
// rod 100) against crank angle from -pi to 2 pi, as a thick light-orange
// polyline at half a unit per degree, crank angle 0 at x = 15. The curve depends
// on pi and the slider-crank alone, which never change once pi is set: its
// segments are computed at the first call and every later call draws the same
// ones again.
void Form1::drawTravelCurve() {
    const double radius = mechanism_.sliderCrank.radius;
    const double rod = mechanism_.sliderCrank.rod;
    constexpr double gap = 4.85;
    constexpr double dphi = 0.01;

    if (!travelCurveMade_) {
        double travel = 0;
        // Start, end and step are taken once; phi grows by repeated addition, so the
        // last of the 943 passes has phi near 6.278407 and 2 pi itself is not reached.
        const double first = -pi;
        const double last = 2 * pi;
        for (double phi = first; phi <= last; phi = phi + dphi) {
            const cr::SinCos crankAngle = cr::sincos(phi);
            const double s = radius * crankAngle.sin;
            const double slide = radius * crankAngle.cos + std::sqrt(rod * rod - s * s);
            const double prevtravel = travel;
            travel = ((gap + radius) + rod) - slide;
            travelCurve_.push_back({(90 * (phi - dphi)) / pi + 15, prevtravel, (90 * phi) / pi + 15, travel});
        }
        travelCurveMade_ = true;
    }
    for (const TravelSegment& g : travelCurve_) {
        DrawWidth(3);
        Line(g.x1, g.y1, g.x2, g.y2, colour::lightOrange);
    }
}

} // namespace zm
