#pragma once

namespace zm {

// The fixed user plane of the window: its top-left corner is (-50, 10), x grows
// to the right and y upward. At the design client size (962 x 688 pixels) the
// window shows x from -50 to 180 and y from 10 down to -3. The mapping never
// depends on the window's current size: a larger window shows more of the plane
// to the right and below.
struct UserScale {
    static constexpr double left = -50;
    static constexpr double top = 10;
    static constexpr double designWidth = 962;  // pixels across 230 x units
    static constexpr double designHeight = 688; // pixels down 13 y units
    static constexpr double unitsAcross = 230;
    static constexpr double unitsDown = 13;

    // Logical pixels from the left and top edges of the client area.
    static constexpr double pixelX(double x) { return (x - left) * designWidth / unitsAcross; }
    static constexpr double pixelY(double y) { return (top - y) * designHeight / unitsDown; }

    // The plane point at a logical pixel position.
    static constexpr double planeX(double px) { return px * unitsAcross / designWidth + left; }
    static constexpr double planeY(double py) { return top - py * unitsDown / designHeight; }
};

} // namespace zm
