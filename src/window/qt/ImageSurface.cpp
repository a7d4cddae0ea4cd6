#include "window/qt/ImageSurface.h"

#include "picture/StrokePlan.h"
#include "window/qt/VectorState.h"

#include <QPen>
#include <algorithm>
#include <cmath>

namespace zm {

namespace {

QColor toQColor(Colour c) {
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}

QSize deviceSize(QSize logical, qreal dpr) {
    return QSize(static_cast<int>(std::ceil(logical.width() * dpr)),
                 static_cast<int>(std::ceil(logical.height() * dpr)))
        .boundedTo(QSize(ImageSurface::maxDeviceSide, ImageSurface::maxDeviceSide));
}

} // namespace

ImageSurface::ImageSurface(QSize logicalSize, qreal devicePixelRatio)
    : logical_(logicalSize), dpr_(devicePixelRatio) {
    resizeImage(deviceSize(logicalSize, dpr_));
}

ImageSurface::~ImageSurface() {
    painter_.end();
}

void ImageSurface::resizeImage(QSize device) {
    QImage next(device, QImage::Format_RGB32);
    next.fill(toQColor(colour::white));
    if (painter_.isActive()) {
        painter_.end();
    }
    if (!image_.isNull()) {
        QPainter copy(&next);
        copy.drawImage(0, 0, image_);
    }
    image_ = std::move(next);
    painter_.begin(&image_);
    painter_.setRenderHint(QPainter::Antialiasing, true);
    pen_ = QPen(Qt::black, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    penColour_ = 0;
    penWidth_ = 1;
    painter_.setPen(pen_);
    releaseUpperVectorState();
    dirty_ = true;
}

void ImageSurface::ensureLogicalSize(QSize logicalSize) {
    const QSize grown = logical_.expandedTo(logicalSize);
    if (grown == logical_) {
        return;
    }
    logical_ = grown;
    const QSize device = deviceSize(grown, dpr_);
    if (device.width() > image_.width() || device.height() > image_.height()) {
        resizeImage(device.expandedTo(image_.size()));
    }
}

void ImageSurface::cls() {
    image_.fill(toQColor(colour::white));
    dirty_ = true;
    releaseUpperVectorState();
}

void ImageSurface::line(float x1, float y1, float x2, float y2, Colour c) {
    const picture::StrokePlan p =
        picture::planStroke(plane_, x1, y1, x2, y2, width_, dpr_, image_.width(), image_.height());
    dirty_ = true;
    if (p.kind == picture::StrokePlan::Kind::none) {
        return;
    }
    // A frame draws thousands of strokes in a handful of colours: the colour
    // and the pen are compared as the program's own values and made again
    // only when they change.
    if (c != colourOf_) {
        colourOf_ = c;
        colour_ = toQColor(c);
    }
    if (p.kind == picture::StrokePlan::Kind::fill) {
        painter_.fillRect(QRect(p.left, p.top, p.across, p.down), colour_);
        releaseUpperVectorState();
        return;
    }
    if (c != penColour_ || p.width != penWidth_) {
        penColour_ = c;
        penWidth_ = p.width;
        pen_.setColor(colour_);
        pen_.setWidthF(p.width);
        painter_.setPen(pen_);
        releaseUpperVectorState();
    }
    painter_.drawLine(QLineF(p.x1, p.y1, p.x2, p.y2));
    releaseUpperVectorState();
}

QImage ImageSurface::picture(QSize logicalSize) const {
    QImage out = image_.copy(QRect(QPoint(0, 0), deviceSize(logicalSize, dpr_)));
    out.setDevicePixelRatio(dpr_);
    return out;
}

} // namespace zm
