#include "window/Linkage.h"

#include "math/CorrectlyRounded.h"
#include "window/Form1.h"

#include <cmath>

namespace zm {

// Every step is evaluated with the grouping written here, so results agree to
// the last bit; inverse sine and cosine are formed from arctangent and root.
// With the built-in lengths the products of lengths are exact (1041.25, 441,
// 961, 625, 1953.25, 1953), so they are the same numbers as the folded constants.
LinkagePosition solveLinkagePosition(const Linkage& l, double theta) {
    const double ground = l.ground;
    const double crank = l.crank;
    const double coupler = l.coupler;
    const double rocker = l.rocker;

    LinkagePosition p;
    const cr::SinCos crankAngle = cr::sincos(theta);
    // Crank tip to rocker pivot (law of cosines).
    p.diag = std::sqrt((ground * ground + crank * crank) - ((2 * ground) * crank) * crankAngle.cos);
    // Angle at the rocker pivot between the ground line and the line to the crank tip.
    p.sinbeta = (crank * crankAngle.sin) / p.diag;
    p.beta = cr::atan(p.sinbeta / std::sqrt(1 - p.sinbeta * p.sinbeta));
    // Angle at the rocker pivot between the line to the crank tip and the rocker;
    // cosgamma stays in (0, 1], where this form is the arccosine.
    p.cosgamma = ((p.diag * p.diag + rocker * rocker) - coupler * coupler) / ((2 * p.diag) * rocker);
    p.gamma = cr::atan(std::sqrt(1 - p.cosgamma * p.cosgamma) / p.cosgamma);
    // Crank pivot to rocker tip, the rocker standing at beta + gamma.
    const cr::SinCos rockerAngle = cr::sincos(p.beta + p.gamma);
    p.reach = std::sqrt((rocker * rocker + ground * ground) - ((2 * rocker) * ground) * rockerAngle.cos);
    // Direction of the rocker tip seen from the crank pivot, always below 90 degrees.
    p.sindelta = (rocker * rockerAngle.sin) / p.reach;
    p.delta = cr::atan(p.sindelta / std::sqrt(1 - p.sindelta * p.sindelta));
    return p;
}

double linkageShift(const Linkage& l, double theta, double ww, double pi) {
    const LinkagePosition p = solveLinkagePosition(l, theta);
    return 2 * (ww - (p.delta * 180) / pi);
}

// The mechanism's linkage with its crank at theta (radians). Leaves in ff twice
// the difference, in degrees, between ww and the direction of the rocker tip
// seen from the crank pivot.
void Form1::solveLinkage(double theta) {
    ff = linkageShift(mechanism_.linkage, theta, ww, pi);
}

} // namespace zm
