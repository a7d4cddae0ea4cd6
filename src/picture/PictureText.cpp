#include "picture/PictureText.h"

#include "math/ShortestFloat.h"
#include "window/Form1.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

namespace zm::picture {

namespace {

// #rrggbb of a colour 0x00BBGGRR.
std::string hexColour(Colour c) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out = "#";
    for (const int shift : {0, 8, 16}) {
        out += digits[(c >> (shift + 4)) & 0xF];
        out += digits[(c >> shift) & 0xF];
    }
    return out;
}

// A page coordinate to a hundredth of a pixel, without trailing zeros: finer
// than any screen or print shows, and a third of the digits. The rounding is
// done on whole numbers, so every platform writes the same text.
void appendCoordinate(std::string& out, double v) {
    const long long hundredths = std::llround(v * 100);
    const long long magnitude = hundredths < 0 ? -hundredths : hundredths;
    if (hundredths < 0) {
        out += '-';
    }
    out += std::to_string(magnitude / 100);
    const long long fraction = magnitude % 100;
    if (fraction != 0) {
        out += '.';
        out += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0) {
            out += static_cast<char>('0' + fraction % 10);
        }
    }
}

// The caption as one line of text for a title: runs of spaces made one.
std::string titleText() {
    std::string out;
    bool space = false;
    for (const char c : design::caption) {
        if (c == ' ') {
            space = !out.empty();
            continue;
        }
        if (space) {
            out += ' ';
            space = false;
        }
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

std::string curveName(Colour c) {
    switch (c) {
    case colour::red:
        return "first profile";
    case colour::green:
        return "second profile";
    case colour::blue:
        return "moving trace";
    case colour::lightOrange:
        return "travel";
    case colour::orange:
        return "first profile velocity";
    case colour::magenta:
        return "first profile acceleration";
    case colour::lightBlue:
        return "moving trace velocity";
    case colour::teal:
        return "moving trace acceleration";
    case colour::olive:
        return "linkage shift";
    case colour::nearBlack:
        return "axes";
    default:
        return hexColour(c);
    }
}

std::string svgText(const SegmentPicture& picture, int pageWidth, int pageHeight) {
    const std::string w = std::to_string(pageWidth);
    const std::string h = std::to_string(pageHeight);
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      w + "\" height=\"" + h + "\" viewBox=\"0 0 " + w + " " + h + "\">\n<title>" +
                      titleText() + "</title>\n<rect width=\"" + w + "\" height=\"" + h +
                      "\" fill=\"#ffffff\"/>\n<g fill=\"none\" stroke-linecap=\"round\" "
                      "stroke-linejoin=\"round\">\n";
    // Runs of one colour and width share a group that carries the pen; each run
    // is one path.
    bool open = false;
    Colour colour = 0;
    int width = 0;
    for (const PagePath& p : picture.paths(pageWidth, pageHeight)) {
        if (!open || p.colour != colour || p.width != width) {
            if (open) {
                out += "</g>\n";
            }
            out += "<g stroke=\"" + hexColour(p.colour) + "\" stroke-width=\"" + std::to_string(p.width) +
                   "\">\n";
            open = true;
            colour = p.colour;
            width = p.width;
        }
        out += "<path d=\"M";
        for (std::size_t i = 0; i < p.points.size(); ++i) {
            if (i == 1) {
                out += 'L';
            } else if (i > 1) {
                out += ' ';
            }
            appendCoordinate(out, p.points[i].x);
            out += ' ';
            appendCoordinate(out, p.points[i].y);
        }
        out += "\"/>\n";
    }
    if (open) {
        out += "</g>\n";
    }
    out += "</g>\n</svg>\n";
    return out;
}

std::string csvText(const SegmentPicture& picture) {
    std::string out = "curve,path,x,y\n";
    int path = -1;
    bool any = false;
    Segment last;
    float endX = 0, endY = 0;
    const auto row = [&out, &path](const std::string& curve, float x, float y) {
        out += curve;
        out += ',';
        out += std::to_string(path);
        out += ',';
        out += cr::shortestFloat(x);
        out += ',';
        out += cr::shortestFloat(y);
        out += '\n';
    };
    for (const Segment& s : picture.segments()) {
        const bool sameRun = any && s.colour == last.colour && s.width == last.width;
        const std::string curve = curveName(s.colour);
        if (sameRun && endX == s.x1 && endY == s.y1) {
            row(curve, s.x2, s.y2);
            endX = s.x2;
            endY = s.y2;
        } else if (sameRun && endX == s.x2 && endY == s.y2) { // the same run, drawn the other way
            row(curve, s.x1, s.y1);
            endX = s.x1;
            endY = s.y1;
        } else {
            ++path;
            row(curve, s.x1, s.y1);
            row(curve, s.x2, s.y2);
            endX = s.x2;
            endY = s.y2;
        }
        last = s;
        any = true;
    }
    return out;
}

char* writeTraceLine(char* out, const Op& op) {
    const auto put = [&](const char* text, std::size_t n) {
        std::memcpy(out, text, n);
        out += n;
    };
    switch (op.kind) {
    case Op::Kind::cls:
        put("cls", 3);
        return out;
    case Op::Kind::wait:
        put("wait", 4);
        return out;
    case Op::Kind::end:
        put("end", 3);
        return out;
    case Op::Kind::line:
        break;
    }
    // "line" + 4 * (1 + 15) + " " + 11 + " 0x" + 8 = 91 characters at most.
    static_assert(traceLineMaxChars >= 4 + 4 * (1 + cr::shortestFloatMaxChars) + 1 + 11 + 3 + 8);
    put("line", 4);
    for (const float v : {op.x1, op.y1, op.x2, op.y2}) {
        *out++ = ' ';
        out = cr::writeShortestFloat(out, v);
    }
    *out++ = ' ';
    if (op.width >= 0 && op.width < 10) {
        *out++ = static_cast<char>('0' + op.width); // the usual widths, at once
    } else {
        out = std::to_chars(out, out + 11, op.width).ptr;
    }
    put(" 0x", 3);
    for (int shift = 28; shift >= 0; shift -= 4) {
        *out++ = "0123456789ABCDEF"[(op.colour >> shift) & 0xF];
    }
    return out;
}

std::string traceLine(const Op& op) {
    char buf[traceLineMaxChars];
    return std::string(buf, writeTraceLine(buf, op));
}

} // namespace zm::picture
