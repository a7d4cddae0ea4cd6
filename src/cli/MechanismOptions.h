#pragma once

// The options that give the user's mechanism, and the mechanism they make.

#include "cli/Options.h"
#include "window/Mechanism.h"

#include <string>

namespace zm::cli {

// Setters of the option table: --linkage GROUND,CRANK,COUPLER,ROCKER,
// --slider-crank RADIUS,ROD, --profile FILE and --checking-lift L. They check
// only that the value reads as the numbers it must be; whether the mechanism
// can be used is for mechanismOf.
void setLinkage(Options& o, const Option& self, const std::string& value);
void setSliderCrank(Options& o, const Option& self, const std::string& value);
void setProfile(Options& o, const Option& self, const std::string& value);
void setCheckingLift(Options& o, const Option& self, const std::string& value);

// The mechanism of the command line, prepared: the profile file read (when
// --profile names one) and every check passed. A fault is a UsageError naming
// the option to change, then the mechanism's own words.
Mechanism mechanismOf(const Options& o);

} // namespace zm::cli
