#pragma once

// One run of a key script: its outputs, opened before it starts and written
// all together after it, and the canvas it draws on.

#include "cli/Options.h"
#include "io/Outputs.h"
#include "window/Surface.h"
#include "window/UserScale.h"

#include <functional>
#include <memory>
#include <string>

namespace zm::picture {
class SegmentPicture;
}

namespace zm::cli {

// The outputs of a run, opened before it starts (null when not asked for).
struct RunOutputs {
    io::OutputSet set;
    io::Output* trace = nullptr;
    io::Output* png = nullptr;
    io::Output* svg = nullptr;
    io::Output* pdf = nullptr;
    io::Output* csv = nullptr;
    io::Output* events = nullptr;
};

// Where a run draws, and the pictures only one program makes: the renderer's
// raster canvas, PNG, PDF and frames. The trace program draws nowhere.
class Canvas {
  public:
    virtual ~Canvas() = default;
    virtual Surface* surface() { return nullptr; }
    // Each time the program waits for a key.
    virtual void atWait(RunOutputs&) {}
    // After the run, before the commit; vectors is the segment picture when
    // --svg, --pdf or --csv asked for it.
    virtual void finish(RunOutputs&, const picture::SegmentPicture*) {}
};

// Makes the canvas once the script has been read and the outputs opened: its
// client size is the options' width and height, and the plane is mapped onto
// it from its top-left corner.
using CanvasMaker = std::function<std::unique_ptr<Canvas>(const Options&, const UserScale&, RunOutputs&)>;

// Writes a finished picture to its output; an empty one is a picture that could
// not be made.
void put(io::Output& out, const std::string& bytes, const char* option);

// Reads the mechanism and the script, opens the outputs, plays the script and
// writes the outputs.
// Returns 0; throws UsageError, script::ScriptError, io::OutputError and
// io::Interrupted.
int run(const Options& o, const CanvasMaker& makeCanvas);

} // namespace zm::cli
