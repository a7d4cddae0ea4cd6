#pragma once

// The command line of the programs that play key scripts: the renderer and the
// trace program take the same options, give the same messages and statuses, and
// follow the same output rules. Only the pictures that need a raster or a PDF
// writer are the renderer's own.

#include "io/Outputs.h"
#include "script/KeyScript.h"
#include "window/Surface.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace zm::picture {
class SegmentPicture;
}

namespace zm::cli {

enum class Program { render, trace };

// The program's name in messages and in --help.
const char* programName(Program p);

// A command line that cannot be run; the message is one line.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Options {
    enum class Action { run, help, version };
    Action action = Action::run;
    Program program = Program::render;
    std::string keys;
    bool keysGiven = false;
    std::string keysFile; // empty: not given
    bool sweep = false;
    // The files to write, empty when not given; "-" is standard output.
    std::string trace;
    std::string png;
    std::string svg;
    std::string pdf;
    std::string csv;
    std::string frames; // a folder
    int width = 962;
    int height = 688;
    double scale = 1;
};

// Reads the arguments after the program's name. Options are --NAME VALUE,
// --NAME=VALUE or the same with one dash; "--" ends them. Throws UsageError.
Options parseArguments(Program p, const std::vector<std::string>& args);

std::string helpText(Program p);
std::string versionText(Program p);

// The largest script file read, and the reason for the limit: the steps of a
// script this size take about 16 bytes each.
inline constexpr std::size_t maxScriptBytes = std::size_t{64} << 20;

// The steps of the run: from --keys, or from --keys-file (a file, or - for
// standard input; a UTF-8 byte-order mark at its start is skipped), then the
// sweep's. Stops for an interrupt while reading or parsing. Throws UsageError.
std::vector<script::Step> readSteps(const Options& o);

// The outputs of a run, opened before it starts (null when not asked for).
struct RunOutputs {
    io::OutputSet set;
    io::Output* trace = nullptr;
    io::Output* png = nullptr;
    io::Output* svg = nullptr;
    io::Output* pdf = nullptr;
    io::Output* csv = nullptr;
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

// Makes the canvas once the script has been read and the outputs opened.
using CanvasMaker = std::function<std::unique_ptr<Canvas>(const Options&, RunOutputs&)>;

// Writes a finished picture to its output; an empty one is a picture that could
// not be made.
void put(io::Output& out, const std::string& bytes, const char* option);

// The whole program: parses the arguments, runs, and reports. Returns the exit
// status: 0 done, 2 bad input or an output that cannot be written; an interrupt
// ends the process as the signal would (status 128 + N) after cleaning up.
int main(Program p, int argc, char** argv, const CanvasMaker& makeCanvas = {});

} // namespace zm::cli
