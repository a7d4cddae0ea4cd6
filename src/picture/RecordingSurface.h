#pragma once

#include "window/Surface.h"

#include <string>
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

// The trace line of an operation, without a newline:
// "line X1 Y1 X2 Y2 W 0xBBGGRR00"-style with each coordinate the shortest decimal
// that reads back to the same float, or "cls", "wait", "end".
std::string traceLine(const Op& op);

// The same line written at out, which has room for traceLineMaxChars
// characters; returns the end of what was written.
inline constexpr int traceLineMaxChars = 96;
char* writeTraceLine(char* out, const Op& op);

// The shortest decimal that reads back to the same float, as written in traces:
// of the shortest, the nearest to v; in plain notation unless scientific is
// shorter ("165.6002", "-75", "1e-05", "123456792"); "inf", "nan" with their sign.
std::string shortestFloat(float v);

// The same text written at out, which has room for shortestFloatMaxChars
// characters; returns the end of what was written.
inline constexpr int shortestFloatMaxChars = 15;
char* writeShortestFloat(char* out, float v);

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
