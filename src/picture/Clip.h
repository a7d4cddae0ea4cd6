#pragma once

#include <algorithm>

namespace zm::picture {

// Clips the segment to the box; false if nothing of it is inside. Keeps the
// rasterizer and the vector writers away from coordinates far outside the page.
// End points inside the box are kept exactly as they were.
inline bool clipSegment(double& x1, double& y1, double& x2, double& y2, double lo_x, double lo_y, double hi_x,
                        double hi_y) {
    double t0 = 0, t1 = 1;
    const double dx = x2 - x1, dy = y2 - y1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x1 - lo_x, hi_x - x1, y1 - lo_y, hi_y - y1};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) {
                return false;
            }
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
        if (t0 > t1) {
            return false;
        }
    }
    const double ox = x1, oy = y1;
    if (t0 > 0) {
        x1 = ox + t0 * dx;
        y1 = oy + t0 * dy;
    }
    if (t1 < 1) {
        x2 = ox + t1 * dx;
        y2 = oy + t1 * dy;
    }
    return true;
}

} // namespace zm::picture
