#pragma once

#include "window/Mechanism.h"
#include "window/UserScale.h"

namespace zm {

// The smallest plane, at the design's units per pixel, that shows every point
// of the mechanism's traces with a margin: the first profile at x = 65 + angle,
// the mirrored second profile at x = 65 - second, and the moving trace at x =
// 65 - second + ff for every shift ff the linkage gives over a whole turn of
// its crank (the keys can take the control angle anywhere). The design plane's
// corner and edges stay where the traces leave room: its left edge moves left,
// its top up, its right edge right and its bottom down only as far as a trace
// needs. (The segment that joins one phase's last point to the next phase's
// first is the program's own and is not covered.) The built-in mechanism's
// plane is the design plane. m must be prepared.
UserScale planeFor(const Mechanism& m);

} // namespace zm
