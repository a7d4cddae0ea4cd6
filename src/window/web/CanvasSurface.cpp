#include "window/web/CanvasSurface.h"

#include "picture/PictureText.h"
#include "picture/StrokePlan.h"
#include "window/Form1.h"
#include "window/UserScale.h"

#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <string_view>

namespace zm {

namespace {

// The page's drawing side lives in `zm.canvas` (see the page).
// It draws on its target: the page's canvas, or for a copy (a saved picture at
// the design size) another canvas of the page's choosing.
EM_JS(double, canvasRatio, (), { return zm.canvas.scale(); });
EM_JS(int, canvasWidth, (), { return zm.canvas.width(); });
EM_JS(int, canvasHeight, (), { return zm.canvas.height(); });
// The page sizes its canvas to the plane's client size (zmPlaneWidth, zmPlaneHeight).
EM_JS(void, canvasPlane, (), { zm.canvas.plane(); });
EM_JS(void, canvasDraw, (const double* strokes, int count),
      { zm.canvas.draw(HEAPF64, strokes >> 3, count); });
// The canvas's pixels, as they stand, kept by the page in place of the segments.
EM_JS(void, canvasKeep, (), { zm.canvas.keep(); });
// The picture's text, whole, handed to the page as bytes.
EM_JS(void, takeText, (const char* text, int length), { zm.takeText(HEAPU8.slice(text, text + length)); });

constexpr double clearStroke = 0;
constexpr double fillStroke = 1;
constexpr double lineStroke = 2;
constexpr double pageStroke = 3; // white, then the pixels kept of a pile, if any
// Segments drawn between two looks at the clock.
constexpr std::size_t partSegments = 250;

CanvasSurface* pageCanvas = nullptr;
picture::SegmentPicture* pagePicture = nullptr;
UserScale pagePlane;

const std::string_view svgEnd = "</g>\n</svg>\n";

} // namespace

CanvasSurface::CanvasSurface() {
    measure();
    batch_.reserve(7 * 16384);
}

void CanvasSurface::keep(picture::SegmentPicture& picture) {
    picture_ = &picture;
    pageCanvas = this;
    pagePicture = &picture;
}

void CanvasSurface::setPlane(const UserScale& plane) {
    plane_ = plane;
    pagePlane = plane;
    if (picture_ != nullptr) {
        picture_->setPlane(plane);
    }
    canvasPlane();
    measure();
}

void CanvasSurface::measure() {
    dpr_ = canvasRatio();
    deviceWidth_ = canvasWidth();
    deviceHeight_ = canvasHeight();
}

void CanvasSurface::beginDrawing(std::vector<picture::Segment> picture, bool onCopy) {
    if (onCopy) {
        // The strokes kept for the page's canvas and its measures wait aside.
        aside_.dpr = dpr_;
        aside_.deviceWidth = deviceWidth_;
        aside_.deviceHeight = deviceHeight_;
        aside_.width = width_;
        aside_.batch.swap(batch_);
        batch_.reserve(7 * 16384);
    }
    onCopy_ = onCopy;
    drawing_ = std::move(picture);
    next_ = 0;
    measure();
    batch_.clear(); // the strokes not yet shown are in the picture too
    add(pageStroke, 0, 0, 0, 0, 0, 0);
}

bool CanvasSurface::drawMore(double ms) {
    const double until = emscripten_get_now() + ms;
    const int width = width_;
    std::size_t strokes = 0;
    while (next_ < drawing_.size()) {
        for (const std::size_t end = std::min(drawing_.size(), next_ + partSegments); next_ < end; ++next_) {
            const picture::Segment& s = drawing_[next_];
            width_ = s.width;
            line(s.x1, s.y1, s.x2, s.y2, s.colour);
        }
        strokes += pending();
        drawBatch();
        if (emscripten_get_now() >= until || strokes >= strokesPerTurn) {
            break;
        }
    }
    width_ = width;
    if (next_ < drawing_.size()) {
        return false;
    }
    drawBatch();
    std::vector<picture::Segment>().swap(drawing_);
    if (onCopy_) {
        dpr_ = aside_.dpr;
        deviceWidth_ = aside_.deviceWidth;
        deviceHeight_ = aside_.deviceHeight;
        width_ = aside_.width;
        batch_.swap(aside_.batch);
        std::vector<double>().swap(aside_.batch);
        onCopy_ = false;
    }
    return true;
}

void CanvasSurface::line(float x1, float y1, float x2, float y2, Colour c) {
    const picture::StrokePlan p =
        picture::planStroke(plane_, x1, y1, x2, y2, width_, dpr_, deviceWidth_, deviceHeight_);
    switch (p.kind) {
    case picture::StrokePlan::Kind::none:
        return;
    case picture::StrokePlan::Kind::fill:
        add(fillStroke, p.left, p.top, p.across, p.down, 0, c);
        return;
    case picture::StrokePlan::Kind::line:
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
    if (lettingGo_) {
        return;
    }
    batch_.clear(); // nothing drawn before a clear shows
    add(clearStroke, 0, 0, 0, 0, 0, 0);
}

void CanvasSurface::drawBatch() {
    if (!batch_.empty()) {
        canvasDraw(batch_.data(), static_cast<int>(batch_.size() / 7));
        batch_.clear();
    }
}

void CanvasSurface::flush() {
    drawBatch();
}

void CanvasSurface::keepPile() {
    // Everything the picture holds is on the canvas now: its pixels take the
    // segments' place, and the picture starts again from nothing (its clear is
    // handed on here, and is not the program's).
    drawBatch();
    canvasKeep();
    lettingGo_ = true;
    picture_->cls();
    lettingGo_ = false;
}

PictureWriter::PictureWriter(std::vector<picture::Segment> segments, bool csv, const UserScale& plane)
    : segments_(std::move(segments)), csv_(csv), plane_(plane) {
    const picture::SegmentPicture none(nullptr, plane_);
    if (csv_) {
        out_ = picture::csvText(none); // the header
    } else {
        out_ = picture::svgText(none, plane_.width, plane_.height);
        out_.resize(out_.size() - svgEnd.size()); // the head, up to the paths
    }
}

std::size_t PictureWriter::partEnd(std::size_t from, std::size_t least) const {
    const auto shows = [this](const picture::Segment& s) {
        picture::DeviceSegment d;
        return picture::toDevice(plane_, s.x1, s.y1, s.x2, s.y2, s.width, 1, plane_.width, plane_.height, d);
    };
    for (std::size_t i = from + least; i < segments_.size(); ++i) {
        const picture::Segment& a = segments_[i - 1];
        const picture::Segment& b = segments_[i];
        // In CSV every segment counts; in SVG a segment that does not show is left
        // out, and the ones either side of it could join.
        if ((a.colour != b.colour || a.width != b.width) && (csv_ || (shows(a) && shows(b)))) {
            return i;
        }
    }
    return segments_.size();
}

void PictureWriter::writePart(std::size_t from, std::size_t to) {
    picture::SegmentPicture part(nullptr, plane_);
    for (std::size_t i = from; i < to; ++i) {
        const picture::Segment& s = segments_[i];
        part.setDrawWidth(s.width);
        part.line(s.x1, s.y1, s.x2, s.y2, s.colour);
    }
    const picture::SegmentPicture none(nullptr, plane_);
    if (!csv_) {
        // The part's paths and groups, between the document's head and its end.
        const std::string text = picture::svgText(part, plane_.width, plane_.height);
        const std::size_t head = picture::svgText(none, plane_.width, plane_.height).size() - svgEnd.size();
        out_.append(text, head, text.size() - head - svgEnd.size());
        return;
    }
    // The part's rows, its polylines numbered on from those written before.
    const std::string text = picture::csvText(part);
    int last = -1;
    for (std::size_t at = picture::csvText(none).size(); at < text.size();) {
        const std::size_t path = text.find(',', at) + 1;
        const std::size_t after = text.find(',', path);
        const std::size_t end = text.find('\n', after) + 1;
        std::from_chars(text.data() + path, text.data() + after, last);
        out_.append(text, at, path - at);
        out_ += std::to_string(paths_ + last);
        out_.append(text, after, end - after);
        at = end;
    }
    paths_ += last + 1;
}

bool PictureWriter::more(double ms) {
    const double until = emscripten_get_now() + ms;
    while (next_ < segments_.size()) {
        const std::size_t to = partEnd(next_, 2048);
        writePart(next_, to);
        next_ = to;
        if (emscripten_get_now() >= until) {
            break;
        }
    }
    if (next_ < segments_.size()) {
        return false;
    }
    if (!whole_) {
        if (!csv_) {
            out_ += svgEnd;
        }
        whole_ = true;
    }
    return true;
}

} // namespace zm

namespace {
std::unique_ptr<zm::PictureWriter> theWriter;
} // namespace

// The page's work on the whole picture, a part at a time (the page gives the
// browser control between the parts, and holds the program until it is done).

// Draws the picture afresh on the page's current target: its canvas at the
// store's size, or (copy) the page's copy target.
extern "C" EMSCRIPTEN_KEEPALIVE void zmDrawBegin(int copy) {
    if (zm::pageCanvas != nullptr) {
        zm::pageCanvas->beginDrawing(zm::pagePicture->segments(), copy != 0);
    }
}
// Draws for about `ms` milliseconds; 1 once the drawing is whole.
extern "C" EMSCRIPTEN_KEEPALIVE int zmDrawMore(double ms) {
    return zm::pageCanvas == nullptr || zm::pageCanvas->drawMore(ms) ? 1 : 0;
}

// Writes the picture as SVG (csv 0) or CSV (csv 1): begin, then more until it
// says 1, having handed the text's bytes to the page.
extern "C" EMSCRIPTEN_KEEPALIVE void zmTextBegin(int csv) {
    theWriter = std::make_unique<zm::PictureWriter>(
        zm::pagePicture != nullptr ? zm::pagePicture->segments() : std::vector<zm::picture::Segment>{},
        csv != 0, zm::pagePlane);
}
extern "C" EMSCRIPTEN_KEEPALIVE int zmTextMore(double ms) {
    if (theWriter == nullptr || !theWriter->more(ms)) {
        return theWriter == nullptr ? 1 : 0;
    }
    const std::string& text = theWriter->text();
    zm::takeText(text.data(), static_cast<int>(text.size()));
    theWriter.reset();
    return 1;
}

// The plane point under the page's pointer, for its readout: `across` and
// `down` are the pointer's place in the canvas as shown, from 0 at the left and
// top edges to 1 at the right and bottom, which the window's mapping takes at
// the plane's client size.
extern "C" EMSCRIPTEN_KEEPALIVE double zmPlaneX(double across) {
    return zm::pagePlane.planeX(across * zm::pagePlane.width);
}
extern "C" EMSCRIPTEN_KEEPALIVE double zmPlaneY(double down) {
    return zm::pagePlane.planeY(down * zm::pagePlane.height);
}
// The plane's client size in logical pixels, which the page gives its canvas.
extern "C" EMSCRIPTEN_KEEPALIVE int zmPlaneWidth() {
    return zm::pagePlane.width;
}
extern "C" EMSCRIPTEN_KEEPALIVE int zmPlaneHeight() {
    return zm::pagePlane.height;
}
