#include "window/PictureText.h"

#include "window/RecordingSurface.h"

#include <cstdio>

namespace zm {

// First versions; the page's writer replaces them.
std::string svgText(const SegmentPicture& picture, int pageWidth, int pageHeight) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
        std::to_string(pageWidth) + "\" height=\"" + std::to_string(pageHeight) + "\">\n";
    for (const PagePath& p : picture.paths(pageWidth, pageHeight)) {
        char colour[8];
        std::snprintf(colour, sizeof colour, "#%02x%02x%02x", p.colour & 0xFF, (p.colour >> 8) & 0xFF,
                      (p.colour >> 16) & 0xFF);
        out += "<polyline fill=\"none\" stroke=\"" + std::string(colour) + "\" stroke-width=\"" +
               std::to_string(p.width) + "\" stroke-linecap=\"round\" stroke-linejoin=\"round\" points=\"";
        for (const PagePath::Point& q : p.points) {
            out +=
                shortestFloat(static_cast<float>(q.x)) + "," + shortestFloat(static_cast<float>(q.y)) + " ";
        }
        out += "\"/>\n";
    }
    out += "</svg>\n";
    return out;
}

std::string csvText(const SegmentPicture& picture) {
    std::string out = "curve,path,x,y\n";
    int n = 0;
    for (const Segment& s : picture.segments()) {
        for (const auto& [x, y] : {std::pair{s.x1, s.y1}, std::pair{s.x2, s.y2}}) {
            out += "segment," + std::to_string(n) + "," + shortestFloat(x) + "," + shortestFloat(y) + "\n";
        }
        ++n;
    }
    return out;
}

} // namespace zm
