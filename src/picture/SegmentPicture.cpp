#include "picture/SegmentPicture.h"

#include "picture/StrokePlan.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zm::picture {

std::size_t SegmentPicture::hash(const Segment& s) {
    std::size_t h = 0;
    for (const float v : {s.x1, s.y1, s.x2, s.y2}) {
        std::uint32_t b = 0;
        std::memcpy(&b, &v, sizeof b);
        h = h * 1000003u ^ b;
    }
    return (h * 31u + static_cast<std::size_t>(s.width)) * 1000003u ^ s.colour;
}

std::size_t SegmentPicture::slotOf(const Segment& s) const {
    const std::size_t mask = table_.size() - 1;
    std::size_t i = hash(s) & mask;
    while (table_[i] != 0 && !(segments_[table_[i] - 1] == s)) {
        i = (i + 1) & mask;
    }
    return i;
}

void SegmentPicture::rebuild(std::size_t count) {
    std::size_t slots = 64;
    while (slots < 2 * count) {
        slots *= 2;
    }
    table_.assign(slots, 0);
    for (std::size_t i = 0; i < segments_.size(); ++i) {
        if (alive_[i] != 0) {
            table_[slotOf(segments_[i])] = i + 1;
        }
    }
}

void SegmentPicture::line(float x1, float y1, float x2, float y2, Colour c) {
    if (forward_ != nullptr) {
        forward_->line(x1, y1, x2, y2, c);
    }
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) {
        return; // no place on the plane
    }
    const Segment s{x1, y1, x2, y2, std::max(1, width_), c};
    if (2 * (size() + 1) > table_.size()) {
        rebuild(size() + 1);
    }
    std::size_t& slot = table_[slotOf(s)];
    if (slot != 0) {
        alive_[slot - 1] = 0;
        ++dead_;
    }
    segments_.push_back(s);
    alive_.push_back(1);
    slot = segments_.size();
    if (dead_ > 4096 && dead_ > segments_.size() / 2) {
        compact();
    }
}

void SegmentPicture::compact() {
    std::size_t n = 0;
    for (std::size_t i = 0; i < segments_.size(); ++i) {
        if (alive_[i] != 0) {
            segments_[n] = segments_[i];
            ++n;
        }
    }
    segments_.resize(n);
    alive_.assign(n, 1);
    dead_ = 0;
    rebuild(n);
}

void SegmentPicture::setDrawWidth(int pixels) {
    width_ = pixels;
    if (forward_ != nullptr) {
        forward_->setDrawWidth(pixels);
    }
}

void SegmentPicture::setForeColor(Colour c) {
    if (forward_ != nullptr) {
        forward_->setForeColor(c);
    }
}

void SegmentPicture::cls() {
    segments_.clear();
    alive_.clear();
    std::fill(table_.begin(), table_.end(), 0);
    dead_ = 0;
    if (forward_ != nullptr) {
        forward_->cls();
    }
}

std::vector<Segment> SegmentPicture::segments() const {
    std::vector<Segment> out;
    out.reserve(size());
    for (std::size_t i = 0; i < segments_.size(); ++i) {
        if (alive_[i] != 0) {
            out.push_back(segments_[i]);
        }
    }
    return out;
}

std::vector<PagePath> SegmentPicture::paths(int pageWidth, int pageHeight) const {
    std::vector<PagePath> out;
    for (std::size_t i = 0; i < segments_.size(); ++i) {
        if (alive_[i] == 0) {
            continue;
        }
        const Segment& s = segments_[i];
        DeviceSegment d;
        if (!toDevice(plane_, s.x1, s.y1, s.x2, s.y2, s.width, 1, pageWidth, pageHeight, d)) {
            continue;
        }
        double X1 = d.x1, Y1 = d.y1, X2 = d.x2, Y2 = d.y2;
        // Like the canvas, an axis-aligned segment lies on whole pixels across its
        // width, so the axes and ticks are as crisp as on the screen.
        const auto snap = [w = s.width](double c) { return std::floor(c - w / 2.0 + 0.5) + w / 2.0; };
        if (X1 == X2) {
            X1 = X2 = snap(X1);
        } else if (Y1 == Y2) {
            Y1 = Y2 = snap(Y1);
        }
        if (!out.empty()) {
            PagePath& p = out.back();
            const PagePath::Point last = p.points.back();
            if (p.colour == s.colour && p.width == s.width) {
                if (last.x == X1 && last.y == Y1) {
                    p.points.push_back({X2, Y2});
                    continue;
                }
                if (last.x == X2 && last.y == Y2) { // the same run, drawn the other way
                    p.points.push_back({X1, Y1});
                    continue;
                }
            }
        }
        out.push_back(PagePath{{{X1, Y1}, {X2, Y2}}, s.width, s.colour});
    }
    return out;
}

} // namespace zm::picture
