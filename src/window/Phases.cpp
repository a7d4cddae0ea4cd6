#include "window/Phases.h"

#include "window/Form1.h"

// Every expression below is evaluated left to right with the grouping written,
// in double precision; Line narrows to single precision. acc, k and ww are read
// from the window at every use, since a key handled at the last DoEvents may
// have changed them.

namespace zm {

void traceSecondProfile(Form1& form, TraceState& ts) {
    while (ts.idx < form.tableEnd()) {
        ts.px = ts.cx;
        ts.py = ts.cy;
        ts.cx = form.ang2[static_cast<std::size_t>(ts.idx)];
        ts.cy = form.lift2[static_cast<std::size_t>(ts.idx)];
        form.DrawWidth(3);
        if (ts.seg > 0 && ts.cx > ts.px) {
            form.Line(form.ww - ts.px, ts.py, form.ww - ts.cx, ts.cy, colour::green);
        }
        form.DrawWidth(1);
        ts.seg = ts.seg + 1;
        ts.idx = ts.idx + 1;
        form.DoEvents();
    }
}

void traceFirstProfile(Form1& form, TraceState& ts) {
    while (ts.idx < form.tableEnd()) {
        ts.pppx = ts.ppx;
        ts.ppx = ts.px;
        ts.px = ts.cx;
        ts.ppy = ts.py;
        ts.py = ts.cy;
        ts.cx = form.ang1[static_cast<std::size_t>(ts.idx)];
        ts.cy = form.lift1[static_cast<std::size_t>(ts.idx)];
        form.DrawWidth(4);
        // The first row follows the last row of the second profile; its angle
        // (104) is not below that one, so nothing is drawn for it.
        if (ts.seg > 0 && ts.cx < ts.px) {
            form.Line(form.ww + ts.px, ts.py, form.ww + ts.cx, ts.cy, colour::red);
            if (form.acc == 1) {
                form.DrawWidth(2);
                ts.slpp = ts.slp;
                ts.slp = ts.sl;
                ts.sl = (ts.cy - ts.py) / (ts.cx - ts.px);
                // Velocity, both ends from the point history.
                form.Line(form.ww + ts.px, 11 * (ts.py - ts.ppy) / (ts.px - ts.ppx), form.ww + ts.cx,
                          11 * (ts.cy - ts.py) / (ts.cx - ts.px), colour::orange);
                // Acceleration: slope differences over two angle steps.
                form.Line(form.ww + ts.px, 600 * (ts.slp - ts.slpp) / (ts.px - ts.pppx), form.ww + ts.cx,
                          600 * (ts.sl - ts.slp) / (ts.cx - ts.ppx), colour::magenta);
            }
        }
        form.DrawWidth(1);
        ts.seg = ts.seg + 1;
        form.DoEvents();
        ts.idx = ts.idx + 1;
    }
}

void drawAxes(Form1& form) {
    form.ForeColor(colour::grey);
    form.Line(-98, 0, 360, 0, colour::nearBlack);
    form.Line(15, -2, 15, 11.5, colour::nearBlack);
    form.Line(105, -2, 105, 11.5, colour::nearBlack);
    // -97.5 + 22.5 n is exact, so the last tick is at 600 itself.
    for (double t = -97.5; t <= 600; t = t + 22.5) {
        form.Line(t, -0.25, t, 0.25, colour::nearBlack);
    }
}

void traceShiftedProfile(Form1& form, TraceState& ts) {
    while (ts.idx < form.tableEnd()) {
        ts.ppx = ts.px;
        ts.px = ts.cx;
        ts.py = ts.cy;
        ts.ffp = form.ff;
        ts.cx = form.ang2[static_cast<std::size_t>(ts.idx)];
        ts.cy = form.lift2[static_cast<std::size_t>(ts.idx)];
        // The control angle minus the row's cam angle in radians.
        form.solveLinkage(form.k - ts.cx * form.pi / 180);
        form.addMovingPoint(form.ww - ts.cx + form.ff, ts.cy);
        form.DrawWidth(2);
        if (ts.px < ts.cx) {
            form.DrawWidth(3);
            form.Line(form.ww - ts.px + ts.ffp, ts.py, form.ww - ts.cx + form.ff, ts.cy, colour::blue);
            if (form.acc == 1) {
                ts.slpp = ts.slp;
                ts.slp = ts.sl;
                // The divisor is the blue segment's horizontal run, sign reversed.
                ts.sl = (ts.cy - ts.py) / ((ts.cx - ts.px) - form.ff + ts.ffp);
                form.DrawWidth(2);
                form.Line(form.ww - ts.px + ts.ffp, -11 * ts.slp, form.ww - ts.cx + form.ff, -11 * ts.sl,
                          colour::lightBlue);
                ts.accxp = ts.accx;
                ts.accyp = ts.accy;
                ts.accx = form.ww - ts.cx + form.ff;
                ts.accy = 300 * (ts.sl - ts.slp) / ((ts.cx - ts.px) - form.ff + ts.ffp);
                if (ts.accx < ts.accxp) {
                    form.Line(ts.accxp, ts.accyp, ts.accx, ts.accy, colour::teal);
                }
            }
        }
        form.DoEvents();
        form.DrawWidth(2);
        if (ts.seg > 0 && ts.px < ts.cx && form.acc == 0) {
            form.Line(form.ww - ts.px, ts.ffp / 13, form.ww - ts.cx, form.ff / 13, colour::olive);
        }
        form.DrawWidth(1);
        ts.seg = ts.seg + 1;
        drawAxes(form);
        ts.px = ts.cx;
        ts.idx = ts.idx + 1;
    }
}

} // namespace zm
