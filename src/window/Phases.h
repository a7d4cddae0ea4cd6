#pragma once

#include "window/TraceState.h"

namespace zm {

class Form1;

// The three drawing phases of one frame. Each walks the tables from ts.idx
// while it is below tableEnd() and yields to events once per row. The driver sets idx
// (and seg) before each.

// Phase A: the second profile, mirrored about ww, in green.
void traceSecondProfile(Form1& form, TraceState& ts);
// Phase B: the first profile in red, with its velocity and acceleration while acc is 1.
void traceFirstProfile(Form1& form, TraceState& ts);
// Phase C: the second profile shifted row by row by the linkage at the control
// angle k, its velocity and acceleration (acc = 1) or the shift itself (acc = 0),
// and the axes after every row.
void traceShiftedProfile(Form1& form, TraceState& ts);
// The horizontal axis, the two markers at x = 15 and 105 and 32 tick marks.
void drawAxes(Form1& form);

} // namespace zm
