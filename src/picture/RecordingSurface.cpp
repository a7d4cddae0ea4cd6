#include "picture/RecordingSurface.h"

namespace zm::picture {

void RecordingSurface::line(float x1, float y1, float x2, float y2, Colour c) {
    record(Op{Op::Kind::line, x1, y1, x2, y2, width_, c});
    if (forward_ != nullptr) {
        forward_->line(x1, y1, x2, y2, c);
    }
}

void RecordingSurface::setDrawWidth(int pixels) {
    width_ = pixels;
    if (forward_ != nullptr) {
        forward_->setDrawWidth(pixels);
    }
}

void RecordingSurface::setForeColor(Colour c) {
    fore_ = c;
    if (forward_ != nullptr) {
        forward_->setForeColor(c);
    }
}

void RecordingSurface::cls() {
    record(Op{Op::Kind::cls});
    if (forward_ != nullptr) {
        forward_->cls();
    }
}

} // namespace zm::picture
