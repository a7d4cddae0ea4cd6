#pragma once

#include "window/Surface.h"

#include <vector>

namespace zm::picture {

// One entry of the record of a run: a drawing operation as the surface got it,
// or a point where the program blocked waiting for a key or ended.
struct Op {
    enum class Kind { line, cls, wait, end };
    Kind kind = Kind::line;
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    int width = 0;
    Colour colour = 0;

    bool operator==(const Op&) const = default;
};

// A surface that records every operation, with the pen width in force for each
// segment, and hands it on to another surface if one is given.
class RecordingSurface : public Surface {
  public:
    explicit RecordingSurface(Surface* forward = nullptr) : forward_(forward) {}

    void line(float x1, float y1, float x2, float y2, Colour c) override;
    void setDrawWidth(int pixels) override;
    void setForeColor(Colour c) override;
    void cls() override;

    // Marks a point of the run that is not a drawing operation.
    void mark(Op::Kind kind) { record(Op{kind}); }

    int drawWidth() const { return width_; }
    Colour foreColor() const { return fore_; }

    std::vector<Op> ops;

  protected:
    // Where each entry goes; by default it is kept in ops.
    virtual void record(const Op& op) { ops.push_back(op); }

  private:
    Surface* forward_;
    int width_ = 1;
    Colour fore_ = 0;
};

} // namespace zm::picture
