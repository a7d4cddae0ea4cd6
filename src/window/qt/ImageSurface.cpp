#include "window/qt/ImageSurface.h"

#include "window/Clip.h"
#include "window/UserScale.h"
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

Stroke ImageSurface::stroke(float x1, float y1, float x2, float y2, Colour c, int width, qreal dpr,
                            QSize device) {
    Stroke s;
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) {
        return s;
    }
    const double w = std::max(1, width) * dpr;
    double X1 = UserScale::pixelX(x1) * dpr;
    double Y1 = UserScale::pixelY(y1) * dpr;
    double X2 = UserScale::pixelX(x2) * dpr;
    double Y2 = UserScale::pixelY(y2) * dpr;
    const double margin = w + 2;
    if (!clipSegment(X1, Y1, X2, Y2, -margin, -margin, device.width() + margin, device.height() + margin)) {
        return s;
    }
    s.colour = toQColor(c);
    s.width = w;
    if (X1 == X2 || Y1 == Y2) {
        // Axis-aligned segments cover whole device pixels, their width rounded to
        // whole pixels (at least one), so lines redrawn over themselves (the axes,
        // at every row) stay crisp and even at every scale, 125 % included. Their
        // ends reach half the width beyond the end points, as a round cap would.
        const double across = std::max(1.0, std::floor(w + 0.5));
        const double half = across / 2;
        const auto pixel = [](double v) { return std::floor(v + 0.5); };
        const double left = pixel(std::min(X1, X2) - half);
        const double right = X1 == X2 ? left + across : pixel(std::max(X1, X2) + half);
        const double top = pixel(std::min(Y1, Y2) - half);
        const double bottom = Y1 == Y2 ? top + across : pixel(std::max(Y1, Y2) + half);
        s.kind = Stroke::Kind::fill;
        s.rect = QRect(static_cast<int>(left), static_cast<int>(top),
                       static_cast<int>(std::max(right - left, 1.0)),
                       static_cast<int>(std::max(bottom - top, 1.0)));
        return s;
    }
    s.kind = Stroke::Kind::line;
    s.line = QLineF(X1, Y1, X2, Y2);
    return s;
}

void ImageSurface::line(float x1, float y1, float x2, float y2, Colour c) {
    const Stroke s = stroke(x1, y1, x2, y2, c, width_, dpr_, image_.size());
    dirty_ = true;
    switch (s.kind) {
    case Stroke::Kind::none:
        return;
    case Stroke::Kind::fill:
        painter_.fillRect(s.rect, s.colour);
        releaseUpperVectorState();
        return;
    case Stroke::Kind::line:
        if (pen_.color() != s.colour || pen_.widthF() != s.width) {
            pen_.setColor(s.colour);
            pen_.setWidthF(s.width);
            painter_.setPen(pen_);
            releaseUpperVectorState();
        }
        painter_.drawLine(s.line);
        releaseUpperVectorState();
        return;
    }
}

QImage ImageSurface::picture(QSize logicalSize) const {
    QImage out = image_.copy(QRect(QPoint(0, 0), deviceSize(logicalSize, dpr_)));
    out.setDevicePixelRatio(dpr_);
    return out;
}

} // namespace zm
