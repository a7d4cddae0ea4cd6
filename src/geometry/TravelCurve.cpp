#include "math/CorrectlyRounded.h"
#include "window/Form1.h"

#include <cmath>

namespace zm {

// Travel of an in-line slider-crank (crank radius 25.5, rod 100) against crank
// angle from -pi to 2 pi, as a thick light-orange polyline at half a unit per
// degree, crank angle 0 at x = 15. The same curve at every call.
void Form1::drawTravelCurve() {
    constexpr double radius = 25.5;
    constexpr double rod = 100;
    constexpr double gap = 4.85;
    constexpr double dphi = 0.01;

    double travel = 0;
    // Start, end and step are taken once; phi grows by repeated addition, so the
    // last of the 943 passes has phi near 6.278407 and 2 pi itself is not reached.
    const double first = -pi;
    const double last = 2 * pi;
    for (double phi = first; phi <= last; phi = phi + dphi) {
        const double s = radius * cr::sin(phi);
        const double slide = radius * cr::cos(phi) + std::sqrt(rod * rod - s * s);
        const double prevtravel = travel;
        travel = ((gap + radius) + rod) - slide;
        DrawWidth(3);
        Line((90 * (phi - dphi)) / pi + 15, prevtravel, (90 * phi) / pi + 15, travel, colour::lightOrange);
    }
}

} // namespace zm
