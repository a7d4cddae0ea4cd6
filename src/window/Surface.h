#pragma once

#include <cstdint>

namespace zm {

// A colour as the program writes it: 0x00BBGGRR, red in the low byte.
using Colour = std::uint32_t;

namespace colour {
inline constexpr Colour green = 0x0000FF00;
inline constexpr Colour red = 0x000000FF;
inline constexpr Colour orange = 0x000080FF;
inline constexpr Colour magenta = 0x00FF00FF;
inline constexpr Colour blue = 0x00FF0000;
inline constexpr Colour lightBlue = 0x00FF8080;
inline constexpr Colour teal = 0x00808000;
inline constexpr Colour olive = 0x0000C0C0;
inline constexpr Colour lightOrange = 0x0080C0FF;
inline constexpr Colour grey = 0x00808080;
inline constexpr Colour nearBlack = 7; // red 7, green and blue 0
inline constexpr Colour white = 0x00FFFFFF;
inline constexpr Colour black = 0x00000000;
} // namespace colour

// The drawing operations the picture is made of. Coordinates are points of the
// fixed user plane (x = angle in degrees, y = lift), already narrowed to single
// precision. The surface keeps the pen state between calls.
class Surface {
  public:
    virtual ~Surface() = default;

    // One straight segment with the current draw width and the given colour.
    virtual void line(float x1, float y1, float x2, float y2, Colour c) = 0;
    // Line width in pixels for every later segment.
    virtual void setDrawWidth(int pixels) = 0;
    // Stored only: every segment carries its own colour.
    virtual void setForeColor(Colour c) = 0;
    // Erase everything to the background colour.
    virtual void cls() = 0;
};

} // namespace zm
