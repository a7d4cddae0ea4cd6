#pragma once

#include "window/Mechanism.h"

namespace zm {

// Every intermediate of one position of the linkage, angles in radians.
struct LinkagePosition {
    double diag;     // crank tip to rocker pivot
    double sinbeta;  // beta: at the rocker pivot, from the ground line to the crank tip
    double beta;     //
    double cosgamma; // gamma: at the rocker pivot, from the line to the crank tip to the rocker
    double gamma;    //
    double reach;    // crank pivot to rocker tip
    double sindelta; // delta: at the crank pivot, from the ground line to the rocker tip
    double delta;    //
};

// The linkage with its crank at theta (radians, from the ground line towards the
// rocker pivot). The caller makes sure the linkage can be assembled
// (linkageFault is empty); every step is then defined for every theta.
LinkagePosition solveLinkagePosition(const Linkage& l, double theta);

} // namespace zm
