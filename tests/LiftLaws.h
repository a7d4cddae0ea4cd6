#pragma once

#include "window/Mechanism.h"

#include <cstddef>
#include <utility>

namespace zm::test {

// A first profile of n rows from the 3-4-5 polynomial law, as
// data/mechanisms/make-polynomial.py writes it at its own step: no lift at 90
// degrees, rising to `peak` at 0 and returning to no lift at -90, the angle
// falling by 180 / (n - 1) degrees from row to row.
inline LiftProfile polynomialProfile(std::size_t n, double peak = 9.5) {
    LiftProfile p;
    p.angle.reserve(n);
    p.lift.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double angle = 90 - (180.0 * static_cast<double>(i)) / static_cast<double>(n - 1);
        const double u = angle >= 0 ? (90 - angle) / 90 : (angle + 90) / 90;
        p.angle.push_back(angle);
        p.lift.push_back(peak * (u * u * u * (10.0 + u * (-15.0 + 6.0 * u))));
    }
    return p;
}

// The linkage with the profile (the built-in rows unless given), not yet
// prepared: the second profile is to be worked out.
inline Mechanism with(const Linkage& l, LiftProfile p = LiftProfile::builtIn()) {
    Mechanism m;
    m.linkage = l;
    m.profile = std::move(p);
    m.profile.second.clear();
    return m;
}

} // namespace zm::test
