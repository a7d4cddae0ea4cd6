#include "window/Form1.h"

#include "window/Plane.h"

#include <cmath>
#include <stdexcept>

namespace zm {

namespace {

Mechanism prepared(const Mechanism& m) {
    if (m.profile.second.size() == m.profile.rows() && m.profile.rows() > 0) {
        return m;
    }
    Mechanism p = m;
    if (std::string fault = prepareMechanism(p); !fault.empty()) {
        throw std::invalid_argument(fault);
    }
    return p;
}

} // namespace

Form1::Form1(Surface& surface, Host& host, const Mechanism& mechanism)
    : surface_(surface), host_(host), mechanism_(prepared(mechanism)), plane_(planeFor(mechanism_)),
      tableEnd_(static_cast<int>(mechanism_.profile.rows()) + 1) {
    const std::size_t size = static_cast<std::size_t>(tableEnd_);
    ang1.assign(size, 0);
    lift1.assign(size, 0);
    ang2.assign(size, 0);
    lift2.assign(size, 0);
    checkingLift_ = zm::checkingLift(mechanism_);
    // The first profile is drawn at x = ww + angle, ww being 65 in every frame.
    const LiftProfile& p = mechanism_.profile;
    std::vector<double> x(p.rows());
    for (std::size_t i = 0; i < p.rows(); ++i) {
        x[i] = 65 + p.angle[i];
    }
    firstProfileEvent_ = valveEvent(x.data(), p.lift.data(), p.rows(), checkingLift_);
    movingX_.reserve(p.rows());
    movingLift_.reserve(p.rows());
}

void Form1::startMovingTrace() {
    movingX_.clear();
    movingLift_.clear();
}

void Form1::addMovingPoint(double x, double lift) {
    movingX_.push_back(x);
    movingLift_.push_back(lift);
}

void Form1::recordFrameEvents() {
    if (movingX_.empty()) {
        return;
    }
    const int frame = static_cast<int>(frameEvents_.size()) + 1;
    frameEvents_.push_back(
        {frame, k, valveEvent(movingX_.data(), movingLift_.data(), movingX_.size(), checkingLift_)});
}

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
