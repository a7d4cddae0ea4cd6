#include "window/web/CanvasSurface.h"

#include "window/StrokePlan.h"

#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>

namespace zm {

namespace {

// The page's drawing side lives in `zm.canvas` (see the page): it keeps the last
// colour and width so that a run of segments of one kind sets them once.
EM_JS(double, canvasRatio, (), { return zm.canvas.ratio(); });
EM_JS(int, canvasWidth, (), { return zm.canvas.element.width; });
EM_JS(int, canvasHeight, (), { return zm.canvas.element.height; });
EM_JS(void, canvasFill, (int left, int top, int across, int down, unsigned colour),
      { zm.canvas.fill(left, top, across, down, colour); });
EM_JS(void, canvasLine, (double x1, double y1, double x2, double y2, double width, unsigned colour),
      { zm.canvas.line(x1, y1, x2, y2, width, colour); });
EM_JS(void, canvasClear, (), { zm.canvas.clear(); });

} // namespace

CanvasSurface::CanvasSurface()
    : dpr_(canvasRatio()), deviceWidth_(canvasWidth()), deviceHeight_(canvasHeight()) {}

void CanvasSurface::line(float x1, float y1, float x2, float y2, Colour c) {
    const StrokePlan p = planStroke(x1, y1, x2, y2, width_, dpr_, deviceWidth_, deviceHeight_);
    switch (p.kind) {
    case StrokePlan::Kind::none:
        return;
    case StrokePlan::Kind::fill:
        canvasFill(p.left, p.top, p.across, p.down, c);
        return;
    case StrokePlan::Kind::line:
        canvasLine(p.x1, p.y1, p.x2, p.y2, p.width, c);
        return;
    }
}

void CanvasSurface::cls() {
    canvasClear();
}

} // namespace zm
