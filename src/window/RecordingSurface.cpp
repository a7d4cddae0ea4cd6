#include "window/RecordingSurface.h"

#include <charconv>
#include <cstdio>

namespace zm {

namespace {

void appendFloat(std::string& out, float v) {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    out.push_back(' ');
    out.append(buf, res.ptr);
}

} // namespace

std::string traceLine(const Op& op) {
    switch (op.kind) {
    case Op::Kind::cls:
        return "cls";
    case Op::Kind::wait:
        return "wait";
    case Op::Kind::end:
        return "end";
    case Op::Kind::line:
        break;
    }
    std::string out = "line";
    appendFloat(out, op.x1);
    appendFloat(out, op.y1);
    appendFloat(out, op.x2);
    appendFloat(out, op.y2);
    char tail[32];
    std::snprintf(tail, sizeof tail, " %d 0x%08X", op.width, static_cast<unsigned>(op.colour));
    out += tail;
    return out;
}

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

} // namespace zm
