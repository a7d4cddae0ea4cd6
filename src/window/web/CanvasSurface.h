#pragma once

#include "window/SegmentPicture.h"
#include "window/Surface.h"

#include <vector>

namespace zm {

// The drawing surface in the browser: the page's canvas, whose backing store
// follows the canvas's displayed size times the screen's device pixel ratio; the
// design client area is mapped onto the whole store. It follows the same stroke plan as the
// offscreen canvas (round caps; axis-aligned segments as whole pixels), and the
// canvas keeps its picture until the next clear, so frames pile up.
//
// The strokes are kept in order and handed to the canvas in one call whenever
// the browser is about to get control (the only times it can show them): one
// crossing into JavaScript per batch instead of one per segment.
class CanvasSurface : public Surface {
  public:
    CanvasSurface();

    void line(float x1, float y1, float x2, float y2, Colour c) override;
    void setDrawWidth(int pixels) override { width_ = pixels; }
    void setForeColor(Colour) override {}
    void cls() override;

    // Draws what has been kept on the canvas.
    void flush();

    // Takes the backing store's current size, and draws the given picture on it
    // afresh (the pen width in force is kept).
    void redraw(const std::vector<Segment>& picture);

    // Draws the given picture afresh on the page's copy target (its size taken
    // as redraw takes it), and leaves the canvas's own scale and strokes as they
    // were.
    void drawCopy(const std::vector<Segment>& picture);

  private:
    void measure();
    // Adds one stroke to the batch.
    void add(double kind, double a, double b, double c, double d, double width, double colour);

    int width_ = 1;
    double dpr_ = 1;
    int deviceWidth_ = 0;
    int deviceHeight_ = 0;
    // Seven numbers a stroke: kind (0 clear, 1 fill, 2 line), four coordinates,
    // width, colour.
    std::vector<double> batch_;
};

} // namespace zm
