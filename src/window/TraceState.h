#pragma once

namespace zm {

// Point, slope and acceleration history shared by the three drawing phases of a
// frame and carried on from frame to frame. Every field starts at 0 and is never
// reset as a whole; each phase overwrites only its own fields.
struct TraceState {
    int idx = 0; // table row, from 1
    int seg = 0; // rows handled since last set to 0; 0 marks a first point

    double cx = 0, px = 0, ppx = 0, pppx = 0; // current and earlier table angles
    double cy = 0, py = 0, ppy = 0;           // current and earlier lifts
    double sl = 0, slp = 0, slpp = 0;         // current and earlier slopes, lift per degree
    double ffp = 0;                           // ff at the previous row of the shifted trace
    double accx = 0, accy = 0;                // end of the shifted trace's acceleration curve
    double accxp = 0, accyp = 0;              // and the end before it
};

} // namespace zm
