#pragma once

#include "picture/Clip.h"
#include "window/UserScale.h"

#include <algorithm>
#include <cmath>

namespace zm::picture {

// How one segment of the plane reaches a raster of device pixels: nothing (not
// finite, or wholly outside), a rectangle of whole pixels, or a stroke with round
// caps. Every raster of the program (the offscreen canvas, the browser's canvas)
// follows it, so they draw the same picture.
struct StrokePlan {
    enum class Kind { none, fill, line };
    Kind kind = Kind::none;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;       // line: end points in device pixels
    int left = 0, top = 0, across = 0, down = 0; // fill: the rectangle
    double width = 1;                            // line: pen width in device pixels
};

// A segment of the plane in device pixels at the given ratio (dpr 1: logical
// pixels of the page) by the plane's mapping, clipped to the device with a margin of the pen's width;
// false if it is not finite or lies wholly outside.
struct DeviceSegment {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};
inline bool toDevice(const UserScale& plane, float x1, float y1, float x2, float y2, double penWidth,
                     double dpr, int deviceWidth, int deviceHeight, DeviceSegment& out) {
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) {
        return false;
    }
    out = {plane.pixelX(x1) * dpr, plane.pixelY(y1) * dpr, plane.pixelX(x2) * dpr, plane.pixelY(y2) * dpr};
    const double margin = penWidth + 2;
    return clipSegment(out.x1, out.y1, out.x2, out.y2, -margin, -margin, deviceWidth + margin,
                       deviceHeight + margin);
}

inline StrokePlan planStroke(const UserScale& plane, float x1, float y1, float x2, float y2, int width,
                             double dpr, int deviceWidth, int deviceHeight) {
    StrokePlan s;
    const double w = std::max(1, width) * dpr;
    DeviceSegment d;
    if (!toDevice(plane, x1, y1, x2, y2, w, dpr, deviceWidth, deviceHeight, d)) {
        return s;
    }
    const double X1 = d.x1, Y1 = d.y1, X2 = d.x2, Y2 = d.y2;
    s.width = w;
    if (X1 == X2 || Y1 == Y2) {
        // Axis-aligned segments cover whole device pixels, their width rounded to
        // whole pixels (at least one), so lines redrawn over themselves (the axes,
        // at every row) stay crisp and even at every scale, 125 % included. Their
        // ends reach half the width beyond the end points, as a round cap would.
        const double across = std::max(1.0, std::floor(w + 0.5));
        const double half = across / 2;
        const auto pixel = [](double v) { return std::floor(v + 0.5); };
        const double left = pixel(std::min(X1, X2) - half);
        const double right = X1 == X2 ? left + across : pixel(std::max(X1, X2) + half);
        const double top = pixel(std::min(Y1, Y2) - half);
        const double bottom = Y1 == Y2 ? top + across : pixel(std::max(Y1, Y2) + half);
        s.kind = StrokePlan::Kind::fill;
        s.left = static_cast<int>(left);
        s.top = static_cast<int>(top);
        s.across = static_cast<int>(std::max(right - left, 1.0));
        s.down = static_cast<int>(std::max(bottom - top, 1.0));
        return s;
    }
    s.kind = StrokePlan::Kind::line;
    s.x1 = X1;
    s.y1 = Y1;
    s.x2 = X2;
    s.y2 = Y2;
    return s;
}

} // namespace zm::picture
