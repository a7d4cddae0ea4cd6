#pragma once

#include "picture/SegmentPicture.h"
#include "window/Surface.h"
#include "window/UserScale.h"

#include <cstddef>
#include <string>
#include <vector>

namespace zm {

// The drawing surface in the browser: the page's canvas, whose backing store
// follows the canvas's displayed size times the screen's device pixel ratio; the
// plane's client area is mapped onto the whole store. It follows the same stroke plan as the
// offscreen canvas (round caps; axis-aligned segments as whole pixels), and the
// canvas keeps its picture until the next clear, so frames pile up.
//
// The strokes are kept in order and handed to the canvas in one call whenever
// the browser is about to get control (the only times it can show them): one
// crossing into JavaScript per batch instead of one per segment.
//
// The picture the program draws is also kept as segments (a SegmentPicture that
// hands its operations on to this surface), so that the page can draw it again
// at a new size and write it as SVG or CSV. Frames that pile up without end
// would make that picture grow without end: once it holds `pileBound` segments,
// the canvas's pixels are kept by the page in their place, at the store's size,
// and the segments are let go; a new size then scales those pixels and draws
// the later segments over them, and SVG and CSV of such a pile are left to the
// renderer. The program's next clear ends that.
class CanvasSurface : public Surface {
  public:
    // About 100 piled frames of the sweep (a frame is 700 to 1,200 segments): the
    // whole sweep piled, overlays on (some 78,000), stays segments, and drawing
    // the picture again takes a second or so at most, a part at a time.
    static constexpr std::size_t pileBound = 100000;
    // Strokes handed to the browser in one turn at most. The browser rasterizes
    // them after the turn (some 10 microseconds a stroke where it has no GPU, ten
    // times what drawing them here takes), so that a turn and its painting stay
    // well inside a display refresh; strokes covered by a clear are never painted.
    static constexpr std::size_t strokesPerTurn = 1500;

    CanvasSurface();

    void line(float x1, float y1, float x2, float y2, Colour c) override;
    void setDrawWidth(int pixels) override { width_ = pixels; }
    void setForeColor(Colour) override {}
    void cls() override;

    // The picture kept as segments, which hands its operations on to this surface.
    void keep(picture::SegmentPicture& picture);

    // The plane the program draws on (the form's): the page sizes its canvas to
    // the plane's client size (zmPlaneWidth, zmPlaneHeight), the kept picture
    // maps to it, and the page's readout reads it (zmPlaneX, zmPlaneY).
    void setPlane(const UserScale& plane);
    const UserScale& plane() const { return plane_; }

    // Draws what has been kept on the canvas.
    void flush();
    // Whether the picture holds `pileBound` segments: then the page is to keep
    // the canvas's pixels in their place (keepPile).
    bool pileFull() const { return picture_ != nullptr && picture_->size() >= pileBound; }
    // Has the page keep the canvas's pixels in place of the segments drawn so far
    // (any strokes still kept are drawn first). Copying the pixels first paints
    // every stroke not yet painted, so the host does it in a turn of its own,
    // after the browser has had control and with no other drawing.
    void keepPile();
    // The strokes kept, not yet drawn on the canvas.
    std::size_t pending() const { return batch_.size() / 7; }

    // Drawing the given picture afresh, a part at a time: begin takes the size of
    // the page's current target (its canvas, or a copy at the design size) and
    // clears it to the page (with the pixels kept of a pile); more draws for about
    // `ms` milliseconds (and `strokesPerTurn` strokes) and says whether it is done. On a copy the canvas's
    // own scale and strokes are left as they were once it is done.
    void beginDrawing(std::vector<picture::Segment> picture, bool onCopy);
    bool drawMore(double ms);

  private:
    void measure();
    // Adds one stroke to the batch.
    void add(double kind, double a, double b, double c, double d, double width, double colour);
    void drawBatch();

    UserScale plane_;
    int width_ = 1;
    double dpr_ = 1;
    int deviceWidth_ = 0;
    int deviceHeight_ = 0;
    // Seven numbers a stroke: kind (0 clear, 1 fill, 2 line, 3 the page afresh),
    // four coordinates, width, colour.
    std::vector<double> batch_;
    picture::SegmentPicture* picture_ = nullptr;
    // The picture's own clear, when it lets its segments go, is not the program's.
    bool lettingGo_ = false;

    // A drawing in parts: its segments, the next one, and what a copy sets aside.
    std::vector<picture::Segment> drawing_;
    std::size_t next_ = 0;
    bool onCopy_ = false;
    struct Aside {
        double dpr = 1;
        int deviceWidth = 0, deviceHeight = 0, width = 1;
        std::vector<double> batch;
    } aside_;
};

// The picture's SVG (as the renderer's --svg writes it at the plane's size) or CSV
// (as its --csv), written a part at a time so that a large pile never holds up
// the page. The segments are split where the colour or pen changes between two
// segments that both show: nothing joins across such a place, so the text of
// the parts, put together, is byte for byte the text of the whole.
class PictureWriter {
  public:
    PictureWriter(std::vector<picture::Segment> segments, bool csv, const UserScale& plane);
    // Writes for about `ms` milliseconds; true once the text is whole.
    bool more(double ms);
    const std::string& text() const { return out_; }

  private:
    // The end of the part that starts at `from`: a place to split at least
    // `least` segments on, or the end.
    std::size_t partEnd(std::size_t from, std::size_t least) const;
    void writePart(std::size_t from, std::size_t to);

    std::vector<picture::Segment> segments_;
    bool csv_;
    UserScale plane_;
    std::size_t next_ = 0;
    int paths_ = 0; // CSV: the polylines written so far
    std::string out_;
    bool whole_ = false;
};

} // namespace zm
