#pragma once

// The canvas and surface of a run that draws nowhere.

#include "cli/Run.h"
#include "window/Surface.h"

namespace zm::cli {

// The trace program's canvas.
class NoCanvas : public Canvas {};

// What the program draws on when no output takes its operations: the script
// is still played, to check it.
class NoSurface : public Surface {
  public:
    void line(float, float, float, float, Colour) override {}
    void setDrawWidth(int) override {}
    void setForeColor(Colour) override {}
    void cls() override {}
};

} // namespace zm::cli
