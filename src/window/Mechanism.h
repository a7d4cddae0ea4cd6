#pragma once

#include <string>

namespace zm {

// The four-bar linkage whose output angle shifts the second profile: the crank
// pivot and the rocker pivot lie `ground` apart on the ground line, the crank
// turns about the crank pivot, the coupler joins the crank tip to the rocker tip
// and the rocker swings about the rocker pivot. One common unit; only the
// ratios matter.
struct Linkage {
    double ground = 31.5;
    double crank = 7;
    double coupler = 25;
    double rocker = 31;
};

// The in-line slider-crank whose travel curve every frame shows.
struct SliderCrank {
    double radius = 25.5; // crank radius
    double rod = 100;     // crank pin to slider pin
};

// Everything the program draws that belongs to the machine rather than to the
// picture. A default mechanism is the built-in one. The lift profiles are still
// the built-in tables; they will join the mechanism as rows of their own.
struct Mechanism {
    Linkage linkage;
    SliderCrank sliderCrank;
};

// Why a mechanism cannot be used, in one line that says what to change; empty
// when it can. The linkage must be solvable at every crank angle (the
// conditions and their proof are beside linkageFault), and the rod longer than
// the radius.
std::string mechanismFault(const Mechanism& m);
std::string linkageFault(const Linkage& l);
std::string sliderCrankFault(const SliderCrank& s);

} // namespace zm
