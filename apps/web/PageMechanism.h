#pragma once

#include "window/Mechanism.h"

#include <string>
#include <string_view>

namespace zm::page {

// The page's mechanism as one line of text, as its link and its mechanism files
// carry it:
//   GROUND,CRANK,COUPLER,ROCKER,RADIUS,ROD,CHECKING[;ANGLE,LIFT]...
// CHECKING is empty for the default checking lift; without rows the profile is
// the built-in one. Numbers are written as the shortest text that reads back to
// the same double, and read by the program's own number reader, so a mechanism
// reopens bit for bit.

// Reads the six lengths and the checking lift (the text's first part) into m;
// the message names what is not a number.
std::string readLengths(std::string_view text, Mechanism& m);

// Reads the whole text into m (its profile the built-in one when it has no
// rows); the message names what does not read. The mechanism is not checked.
std::string readMechanismText(std::string_view text, Mechanism& m);

// Rows given in rising angle are turned to fall, as the program keeps them.
void fallingRows(LiftProfile& p);

// The text of a mechanism; the rows only when they are not the built-in ones,
// unless allRows.
std::string mechanismText(const Mechanism& m, bool allRows = false);
bool builtInRows(const Mechanism& m);

} // namespace zm::page
