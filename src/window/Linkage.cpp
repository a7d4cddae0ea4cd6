#include "math/CorrectlyRounded.h"
#include "window/Form1.h"

#include <cmath>

namespace zm {

// Four-bar linkage: crank pivot and rocker pivot 31.5 apart on the ground line,
// crank 7, coupler 25, rocker 31. For the crank at theta (radians, measured from
// the ground line towards the rocker pivot) it finds the rocker's position and
// leaves in ff twice the difference, in degrees, between ww and the direction of
// the rocker tip seen from the crank pivot.
//
// Every step is evaluated with the grouping written here, so results agree to
// the last bit; inverse sine and cosine are formed from arctangent and root.
void Form1::solveLinkage(double theta) {
    constexpr double ground = 31.5;
    constexpr double crank = 7;
    constexpr double coupler = 25;
    constexpr double rocker = 31;

    const cr::SinCos crankAngle = cr::sincos(theta);
    // Crank tip to rocker pivot (law of cosines).
    const double diag =
        std::sqrt((ground * ground + crank * crank) - ((2 * ground) * crank) * crankAngle.cos);
    // Angle at the rocker pivot between the ground line and the line to the crank tip.
    const double sinbeta = (crank * crankAngle.sin) / diag;
    const double beta = cr::atan(sinbeta / std::sqrt(1 - sinbeta * sinbeta));
    // Angle at the rocker pivot between the line to the crank tip and the rocker;
    // cosgamma stays between 0.61 and 0.77, where this form is the arccosine.
    const double cosgamma = ((diag * diag + rocker * rocker) - coupler * coupler) / ((2 * diag) * rocker);
    const double gamma = cr::atan(std::sqrt(1 - cosgamma * cosgamma) / cosgamma);
    // Crank pivot to rocker tip, the rocker standing at beta + gamma.
    const cr::SinCos rockerAngle = cr::sincos(beta + gamma);
    const double reach =
        std::sqrt((rocker * rocker + ground * ground) - ((2 * rocker) * ground) * rockerAngle.cos);
    // Direction of the rocker tip seen from the crank pivot, always below 90 degrees.
    const double sindelta = (rocker * rockerAngle.sin) / reach;
    const double delta = cr::atan(sindelta / std::sqrt(1 - sindelta * sindelta));

    ff = 2 * (ww - (delta * 180) / pi);
}

} // namespace zm
