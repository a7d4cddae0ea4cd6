#pragma once

#include "window/SegmentPicture.h"

#include <string>

namespace zm {

// The picture as an SVG document of a page of the given size in pixels: the
// page paths of the segment picture, with the window's colours, pen widths and
// round caps. The renderer and the page write the same bytes for the same keys.
std::string svgText(const SegmentPicture& picture, int pageWidth, int pageHeight);

// The picture as comma-separated values: the header "curve,path,x,y", then one
// row per point of each polyline, in drawing order; curve is the legend's name
// of the polyline's colour, path numbers the polylines from 0, and x and y are
// plane units written as in traces.
std::string csvText(const SegmentPicture& picture);

} // namespace zm
