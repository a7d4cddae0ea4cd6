#pragma once

#include "picture/RecordingSurface.h"
#include "picture/SegmentPicture.h"

#include <string>

namespace zm::picture {

// The trace line of an operation, without a newline:
// "line X1 Y1 X2 Y2 W 0x00BBGGRR" with each coordinate the shortest decimal
// that reads back to the same float (cr::shortestFloat), or "cls", "wait", "end".
std::string traceLine(const Op& op);

// The same line written at out, which has room for traceLineMaxChars
// characters; returns the end of what was written.
inline constexpr int traceLineMaxChars = 96;
char* writeTraceLine(char* out, const Op& op);

// The picture as an SVG document of a page of the given size in pixels (the
// segment picture's plane mapped onto it from its top-left corner): the
// caption as its title, a white page, and the page paths of the segment picture
// (one path element each, coordinates to a hundredth of a pixel) in groups that
// carry the window's colour and pen width, with round caps and joins. The
// renderer and the page write the same bytes for the same keys.
std::string svgText(const SegmentPicture& picture, int pageWidth, int pageHeight);

// The picture as comma-separated values: the header "curve,path,x,y", then one
// row per point of each polyline, in drawing order; curve is the legend's name
// of the polyline's colour, path numbers the polylines from 0, and x and y are
// plane units written as in traces. A polyline is a run of consecutive segments
// of one colour and width, each starting (or ending) where the one before ended.
std::string csvText(const SegmentPicture& picture);

// The legend's name of a curve's colour ("first profile", "axes", ...); a colour
// the legend does not know is written as #rrggbb.
std::string curveName(Colour c);

} // namespace zm::picture
