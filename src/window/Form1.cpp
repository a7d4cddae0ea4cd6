#include "window/Form1.h"

#include <cmath>

namespace zm {

void Form1::run() {
    try {
        Form_Activate();
    } catch (const ProgramEnded&) {
        // A handler ended the program; the animation has been left.
    }
}

void Form1::Line(double x1, double y1, double x2, double y2, Colour c) {
    const float fx1 = static_cast<float>(x1);
    const float fy1 = static_cast<float>(y1);
    const float fx2 = static_cast<float>(x2);
    const float fy2 = static_cast<float>(y2);
    // A zero divisor in an overlay gives an infinite or undefined end point:
    // such a segment has no place on the plane and is skipped.
    if (!std::isfinite(fx1) || !std::isfinite(fy1) || !std::isfinite(fx2) || !std::isfinite(fy2)) {
        return;
    }
    surface_.line(fx1, fy1, fx2, fy2, c);
}

void Form1::leaveIfEnded() const {
    if (ended_) {
        throw ProgramEnded{};
    }
}

void Form1::DoEvents() {
    leaveIfEnded();
    host_.doEvents();
    leaveIfEnded();
}

void Form1::waitForContinue() {
    DoEvents();
    while (kk != 1) {
        host_.waitForEvents();
        leaveIfEnded();
    }
    kk = 0;
}

} // namespace zm
