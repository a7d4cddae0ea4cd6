#pragma once

namespace zm {

// The user plane of the window: x grows to the right and y upward, at the
// design's units per pixel (962 pixels across 230 x units, 688 down 13 y
// units) whatever the plane's extent. The design plane has its top-left corner
// at (-50, 10) and a client area of 962 x 688 pixels, which shows x from -50 to
// 180 and y from 10 down to -3; a mechanism that needs more room gets a plane
// that starts further left or higher up, or a larger client area (planeFor).
// The mapping never depends on the window's current size: a larger window shows
// more of the plane to the right and below.
struct UserScale {
    static constexpr double designLeft = -50;
    static constexpr double designTop = 10;
    static constexpr double designRight = 180;
    static constexpr double designBottom = -3;
    static constexpr double designWidth = 962;  // pixels across 230 x units
    static constexpr double designHeight = 688; // pixels down 13 y units
    static constexpr double unitsAcross = 230;
    static constexpr double unitsDown = 13;

    double left = designLeft; // the plane point at the client area's top-left corner
    double top = designTop;
    int width = static_cast<int>(designWidth); // the client area in logical pixels
    int height = static_cast<int>(designHeight);

    // Logical pixels from the left and top edges of the client area.
    constexpr double pixelX(double x) const { return (x - left) * designWidth / unitsAcross; }
    constexpr double pixelY(double y) const { return (top - y) * designHeight / unitsDown; }

    // The plane point at a logical pixel position.
    constexpr double planeX(double px) const { return px * unitsAcross / designWidth + left; }
    constexpr double planeY(double py) const { return top - py * unitsDown / designHeight; }

    constexpr bool operator==(const UserScale&) const = default;
};

} // namespace zm
