#include "window/ValveEvents.h"

#include "math/ShortestFloat.h"

#include <cmath>
#include <limits>

namespace zm {

namespace {

// The x where the lift passes level between points a and b, on the line between them.
double crossing(double xa, double la, double xb, double lb, double level) {
    if (la == lb) {
        return xa;
    }
    return xa + (level - la) * (xb - xa) / (lb - la);
}

} // namespace

ValveEvent valveEvent(const double* x, const double* lift, std::size_t n, double checkingLift) {
    const double none = std::numeric_limits<double>::quiet_NaN();
    ValveEvent e{none, none, none, x[0], lift[0]};
    for (std::size_t i = 1; i < n; ++i) {
        if (lift[i] > e.peakLift) {
            e.peakLift = lift[i];
            e.peakX = x[i];
        }
    }
    std::size_t first = n;
    std::size_t last = n;
    for (std::size_t i = 0; i < n; ++i) {
        if (lift[i] >= checkingLift) {
            if (first == n) {
                first = i;
            }
            last = i;
        }
    }
    if (first == n) {
        return e;
    }
    e.opens =
        first == 0 ? x[0] : crossing(x[first - 1], lift[first - 1], x[first], lift[first], checkingLift);
    e.closes =
        last == n - 1 ? x[last] : crossing(x[last], lift[last], x[last + 1], lift[last + 1], checkingLift);
    e.duration = std::fabs(e.closes - e.opens);
    return e;
}

namespace {

std::string number(double v) {
    return std::isnan(v) ? std::string() : cr::shortestDouble(v);
}

void addRow(std::string& out, int frame, double k, const char* curve, const ValveEvent& e) {
    out += std::to_string(frame);
    out += ',';
    out += number(k);
    out += ',';
    out += curve;
    for (double v : {e.opens, e.closes, e.duration, e.peakX, e.peakLift}) {
        out += ',';
        out += number(v);
    }
    out += '\n';
}

} // namespace

std::string eventsCsv(const ValveEvent& firstProfile, const std::vector<FrameEvents>& frames) {
    std::string out = "frame,k,curve,opens,closes,duration,peak_x,peak_lift\n";
    for (const FrameEvents& f : frames) {
        addRow(out, f.frame, f.k, "first profile", firstProfile);
        addRow(out, f.frame, f.k, "moving trace", f.movingTrace);
    }
    return out;
}

} // namespace zm
