#pragma once

// What the frame benchmarks share: a host that keeps the sweep going, a
// surface that keeps nothing, and the arithmetic of their figures.

#include "window/Form1.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <functional>
#include <vector>

namespace zm::bench {

using Clock = std::chrono::steady_clock;

inline double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

inline double median(std::vector<double> v) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Stop {};

// Keeps the sweep going for ever: each end-of-frame wait is one iteration; an
// ordinary key steps on and Space starts again before the sweep would end.
struct FrameHost : zm::Host {
    zm::Form1* form = nullptr;
    bool overlays = false;
    bool first = true;
    std::function<bool()> atWait; // false ends the run

    void doEvents() override {
        if (first && overlays) {
            form->Form_KeyPress(8);
        }
        first = false;
    }
    void waitForEvents() override {
        if (!atWait()) {
            throw Stop{};
        }
        form->Form_KeyPress(form->k >= 19.75 ? ' ' : 'x');
    }
};

inline void runFrames(zm::Surface& surface, bool overlays, const std::function<bool()>& atWait,
                      const zm::Mechanism& mechanism = zm::Mechanism{}) {
    FrameHost host;
    host.overlays = overlays;
    host.atWait = atWait;
    zm::Form1 form(surface, host, mechanism);
    host.form = &form;
    try {
        form.run();
    } catch (const Stop&) {
    }
}

// A recorder that keeps nothing: the cost of the program's own computation.
struct NullSurface : zm::Surface {
    std::size_t n = 0;
    void line(float, float, float, float, zm::Colour) override { ++n; }
    void setDrawWidth(int) override {}
    void setForeColor(zm::Colour) override {}
    void cls() override {}
};

} // namespace zm::bench
