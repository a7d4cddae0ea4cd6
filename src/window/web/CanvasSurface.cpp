#include "window/web/CanvasSurface.h"

#include "window/StrokePlan.h"

#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>

#include <algorithm>

namespace zm {

namespace {

// The page's drawing side lives in `zm.canvas` (see the page).
// It draws on its target: the page's canvas, or for a copy (a saved picture at
// the design size) another canvas of the page's choosing.
EM_JS(double, canvasRatio, (), { return zm.canvas.scale(); });
EM_JS(int, canvasWidth, (), { return zm.canvas.width(); });
EM_JS(int, canvasHeight, (), { return zm.canvas.height(); });
EM_JS(void, canvasDraw, (const double* strokes, int count),
      { zm.canvas.draw(HEAPF64, strokes >> 3, count); });

constexpr double clearStroke = 0;
constexpr double fillStroke = 1;
constexpr double lineStroke = 2;

} // namespace

CanvasSurface::CanvasSurface() {
    measure();
    batch_.reserve(7 * 16384);
}

void CanvasSurface::measure() {
    dpr_ = canvasRatio();
    deviceWidth_ = canvasWidth();
    deviceHeight_ = canvasHeight();
}

void CanvasSurface::redraw(const std::vector<Segment>& picture) {
    measure();
    const int width = width_;
    cls();
    for (const Segment& s : picture) {
        width_ = s.width;
        line(s.x1, s.y1, s.x2, s.y2, s.colour);
    }
    width_ = width;
    flush();
}

void CanvasSurface::drawCopy(const std::vector<Segment>& picture) {
    // The strokes kept for the page's canvas and its measures wait aside.
    const double dpr = dpr_;
    const int deviceWidth = deviceWidth_;
    const int deviceHeight = deviceHeight_;
    std::vector<double> kept;
    kept.swap(batch_);
    batch_.reserve(7 * 16384);
    redraw(picture);
    batch_.swap(kept);
    dpr_ = dpr;
    deviceWidth_ = deviceWidth;
    deviceHeight_ = deviceHeight;
}

void CanvasSurface::line(float x1, float y1, float x2, float y2, Colour c) {
    const StrokePlan p = planStroke(x1, y1, x2, y2, width_, dpr_, deviceWidth_, deviceHeight_);
    switch (p.kind) {
    case StrokePlan::Kind::none:
        return;
    case StrokePlan::Kind::fill:
        add(fillStroke, p.left, p.top, p.across, p.down, 0, c);
        return;
    case StrokePlan::Kind::line:
        // On a store smaller than the design size a pen keeps at least one device
        // pixel, so that thin curves stay as dark as the axes beside them.
        add(lineStroke, p.x1, p.y1, p.x2, p.y2, std::max(p.width, 1.0), c);
        return;
    }
}

void CanvasSurface::add(double kind, double a, double b, double c, double d, double width, double colour) {
    const std::size_t n = batch_.size();
    batch_.resize(n + 7);
    double* s = batch_.data() + n;
    s[0] = kind;
    s[1] = a;
    s[2] = b;
    s[3] = c;
    s[4] = d;
    s[5] = width;
    s[6] = colour;
}

void CanvasSurface::cls() {
    batch_.clear(); // nothing drawn before a clear shows
    add(clearStroke, 0, 0, 0, 0, 0, 0);
}

void CanvasSurface::flush() {
    if (!batch_.empty()) {
        canvasDraw(batch_.data(), static_cast<int>(batch_.size() / 7));
        batch_.clear();
    }
}

} // namespace zm
