#pragma once

namespace zm {

// The sweep the program steps through: one frame per control angle k, from
// firstK to lastK in steps of `step`, its frames numbered 0 to lastFrame in the
// order of the sweep (k = firstK + step n). The activation handler takes k0, ste
// and the end of the sweep from here; the key scripts' --sweep adds a plain step
// for each frame after the first; the page's jump slider and its words about the
// sweep count frames the same way (apps/web/assemble.js writes these numbers
// into the page, so each stays a plain literal).
struct Sweep {
    static constexpr double firstK = 4.5;
    static constexpr double step = 0.25;
    static constexpr double lastK = 20;
    static constexpr int lastFrame = 62;
};

// The steps are exact in binary, so the sweep's k lands on lastK.
static_assert(Sweep::firstK + Sweep::step * Sweep::lastFrame == Sweep::lastK);

} // namespace zm
