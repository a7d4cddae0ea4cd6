#include "math/CorrectlyRounded.h"
#include "window/Form1.h"
#include "window/Phases.h"
#include "window/Sweep.h"
#include "window/TraceState.h"

namespace zm {

// The whole life of the program once the window is shown: fill the tables, set
// the constants, then draw one frame per control angle k from k0 to the sweep's
// last (see Sweep.h) and wait for a key after each.
void Form1::Form_Activate() {
    fillProfileTables();
    pi = cr::atan(1.0) * 4;
    ste = Sweep::step;
    ww = 65;
    k0 = Sweep::firstK;

    TraceState ts;
    // End and step are taken once; keys change k itself between frames.
    const double last = Sweep::lastK;
    const double step = ste;
    for (k = k0; k <= last; k = k + step) {
        ts.seg = 0;
        ts.idx = 1;
        traceSecondProfile(*this, ts);
        drawTravelCurve();
        ts.idx = 1;
        traceFirstProfile(*this, ts);
        ts.seg = 0;
        ts.idx = 1;
        startMovingTrace();
        traceShiftedProfile(*this, ts);

        recordFrameEvents();
        waitForContinue();
        if (ccllss == 0) {
            Cls();
        }
        drawTravelCurve();
    }
}

} // namespace zm
