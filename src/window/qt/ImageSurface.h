#pragma once

#include "window/Surface.h"
#include "window/UserScale.h"

#include <QImage>
#include <QLineF>
#include <QPainter>
#include <QPen>
#include <QRect>
#include <QSize>

namespace zm {

// The retained canvas: every segment is drawn into an image that holds the
// picture until the next clear, whatever happens to the window that shows it.
// The image is kept at the device pixel ratio so that a high-density screen gets
// the same logical picture drawn sharp.
class ImageSurface : public Surface {
  public:
    ImageSurface(QSize logicalSize, qreal devicePixelRatio);
    ~ImageSurface() override;
    ImageSurface(const ImageSurface&) = delete;
    ImageSurface& operator=(const ImageSurface&) = delete;

    void line(float x1, float y1, float x2, float y2, Colour c) override;
    void setDrawWidth(int pixels) override { width_ = pixels; }
    void setForeColor(Colour c) override { fore_ = c; }
    void cls() override;

    // The plane mapped onto the canvas from its top-left corner; the design
    // plane unless set.
    void setPlane(const UserScale& plane) { plane_ = plane; }
    const UserScale& plane() const { return plane_; }

    // No side of the canvas grows past this many device pixels.
    static constexpr int maxDeviceSide = 16384;

    // Grows the canvas to cover at least this logical size, keeping the picture;
    // it never shrinks, so a window made smaller and then larger again keeps it.
    void ensureLogicalSize(QSize logicalSize);
    QSize logicalSize() const { return logical_; }
    qreal devicePixelRatio() const { return dpr_; }

    // The picture in device pixels, with the device pixel ratio set.
    const QImage& image() const { return image_; }
    // The picture cut to a logical size, as a window of that size would show it.
    QImage picture(QSize logicalSize) const;

    // True if something was drawn or cleared since the last call.
    bool takeDirty() {
        const bool d = dirty_;
        dirty_ = false;
        return d;
    }

  private:
    void resizeImage(QSize device);

    UserScale plane_;
    QImage image_;
    QPainter painter_;
    QPen pen_;
    Colour penColour_ = 0; // the pen's colour and width, as last set
    double penWidth_ = 1;
    Colour colourOf_ = 0; // colour_ is this colour as Qt's
    QColor colour_ = Qt::black;
    QSize logical_;
    qreal dpr_;
    int width_ = 1;
    Colour fore_ = 0;
    bool dirty_ = true;
};

} // namespace zm
