#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

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

// The first lift profile, as rows of cam angle (degrees) and lift, the angle
// falling from row to row; and the second profile's cam angle for each row,
// worked out from the first by the linkage (prepareMechanism). Both profiles
// have the same lifts.
struct LiftProfile {
    std::vector<double> angle;
    std::vector<double> lift;
    std::vector<double> second; // empty until the mechanism is prepared

    static constexpr std::size_t minRows = 3;
    static constexpr std::size_t maxRows = 100000;

    // The two built-in profiles, 200 rows each, with their stored second column.
    static LiftProfile builtIn();
    std::size_t rows() const { return angle.size(); }
};

// Everything the program draws that belongs to the machine rather than to the
// picture. A default mechanism is the built-in one, prepared.
struct Mechanism {
    Linkage linkage;
    SliderCrank sliderCrank;
    LiftProfile profile = LiftProfile::builtIn();
    // The lift at which a valve event opens and closes; when not set, a tenth of
    // the first profile's greatest lift.
    std::optional<double> checkingLift;
};

// Why a mechanism cannot be used, in one line that says what to change; empty
// when it can. The linkage must be solvable at every crank angle (the
// conditions and their proof are beside linkageFault), and the rod longer than
// the radius.
std::string mechanismFault(const Mechanism& m);
std::string linkageFault(const Linkage& l);
std::string sliderCrankFault(const SliderCrank& s);
// Rows from minRows to maxRows, each two finite numbers, the angle falling
// strictly from row to row; rows are counted from 1 in that order.
std::string profileFault(const LiftProfile& p);
std::string checkingLiftFault(const Mechanism& m);
// The checking lift in use: the one set, or a tenth of the greatest lift.
double checkingLift(const Mechanism& m);

// Checks the mechanism and works out its second profile: for each row, the cam
// angle whose shifted point at the first control angle lies on the first
// profile's point. Returns the fault, or empty with m.profile.second filled.
// The built-in linkage with the built-in profile keeps the stored column.
std::string prepareMechanism(Mechanism& m);

// The linkage's shift at crank angle theta (radians): twice the difference, in
// degrees, between the trace shift ww and the direction of the rocker tip seen
// from the crank pivot.
double linkageShift(const Linkage& l, double theta, double ww, double pi);

} // namespace zm
