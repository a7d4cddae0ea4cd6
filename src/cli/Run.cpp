#include "cli/Run.h"

#include "cli/MechanismOptions.h"
#include "cli/NullSurfaces.h"
#include "cli/ScriptFile.h"
#include "picture/PictureText.h"
#include "picture/RecordingSurface.h"
#include "picture/SegmentPicture.h"
#include "script/ScriptHost.h"
#include "window/Form1.h"
#include "window/Plane.h"
#include "window/ValveEvents.h"

#include <string>
#include <utility>
#include <vector>

namespace zm::cli {

using io::checkInterrupt;

namespace {

// Writes each trace line as it comes to the trace output.
class TraceWriter : public picture::RecordingSurface {
  public:
    TraceWriter(Surface* forward, io::Output& out) : picture::RecordingSurface(forward), out_(out) {}

  protected:
    void record(const picture::Op& op) override {
        char* const line = out_.room(picture::traceLineMaxChars + 1);
        char* end = picture::writeTraceLine(line, op);
        *end++ = '\n';
        out_.wrote(static_cast<std::size_t>(end - line));
    }

  private:
    io::Output& out_;
};

// The replay host of a run that may be interrupted: a signal stops it at the
// next event pump (under Node, at the next wait for a key, where Node gets its
// turn; the pumps of a frame then see it).
class RunHost : public script::ScriptHost {
  public:
    using ScriptHost::ScriptHost;
    void doEvents() override {
        io::checkInterruptTaken();
        ScriptHost::doEvents();
    }
    void waitForEvents() override {
        checkInterrupt();
        ScriptHost::waitForEvents();
    }
};

// The options with the run's client size: the one --size gives, else the
// plane's (the design size for the built-in mechanism).
Options sizedFor(const Options& o, const UserScale& plane) {
    Options sized = o;
    if (o.sizeGiven) {
        return sized;
    }
    sized.width = plane.width;
    sized.height = plane.height;
    const double devicePixels = static_cast<double>(sized.width) * sized.height * o.scale * o.scale;
    if (sized.width > 8192 || sized.height > 8192 || devicePixels > 64.0 * 1024 * 1024) {
        throw UsageError("the mechanism's picture is " + std::to_string(sized.width) + "x" +
                         std::to_string(sized.height) +
                         " pixels, more than a picture may have: give --size (up to 8192x8192, 64 million "
                         "pixels with --scale) to show its top-left part");
    }
    return sized;
}

} // namespace

void put(io::Output& out, const std::string& bytes, const char* option) {
    if (bytes.empty()) {
        throw UsageError(std::string("cannot make the ") + option + " picture");
    }
    out.write(bytes);
}

int run(const Options& o, const CanvasMaker& makeCanvas) {
    // The mechanism comes first: a timed step may name any pump of its frames.
    const Mechanism mechanism = mechanismOf(o);
    std::vector<script::Step> steps =
        readSteps(o, script::pumpsPerFrame(static_cast<int>(mechanism.profile.rows())));
    // The script is checked first; a run that would write nothing is a mistake.
    bool writes = false;
    for (const Option& opt : optionTable()) {
        writes = writes || (opt.output != nullptr && !(o.*opt.output).empty());
    }
    if (!writes) {
        throw UsageError("nothing to write: give " + outputList(o.program) + " (see " +
                         programName(o.program) + " --help)");
    }
    // The plane that shows the whole of the mechanism.
    const UserScale plane = planeFor(mechanism);
    const Options sized = sizedFor(o, plane);

    // Every output is opened before the run, so an unwritable one is found at
    // once; none appears unless the whole run succeeds.
    RunOutputs out;
    const auto open = [&out](const std::string& name, const char* option) -> io::Output* {
        return name.empty() ? nullptr : &out.set.add(name, option);
    };
    out.trace = open(o.trace, "--trace");
    out.png = open(o.png, "--png");
    out.svg = open(o.svg, "--svg");
    out.pdf = open(o.pdf, "--pdf");
    out.csv = open(o.csv, "--csv");
    out.events = open(o.events, "--events");
    if (!o.frames.empty()) {
        out.set.makeFolder(o.frames, "--frames", io::isFrameName);
    }

    // The operations pass through the trace and the segment picture on their
    // way to the canvas.
    std::unique_ptr<Canvas> canvas =
        makeCanvas ? makeCanvas(sized, plane, out) : std::make_unique<NoCanvas>();
    Surface* surface = canvas->surface();
    std::unique_ptr<picture::SegmentPicture> vectors;
    if (out.svg != nullptr || out.pdf != nullptr || out.csv != nullptr) {
        vectors = std::make_unique<picture::SegmentPicture>(surface, plane);
        surface = vectors.get();
    }
    std::unique_ptr<TraceWriter> tracer;
    if (out.trace != nullptr) {
        tracer = std::make_unique<TraceWriter>(surface, *out.trace);
        surface = tracer.get();
    }
    // With no output at all, the script is still played, to check it.
    NoSurface nowhere;
    if (surface == nullptr) {
        surface = &nowhere;
    }

    RunHost host(std::move(steps), tracer.get(), [&] { canvas->atWait(out); });
    Form1 form(*surface, host, mechanism);
    host.attach(form);
    host.play();

    canvas->finish(out, vectors.get());
    if (out.svg != nullptr) {
        put(*out.svg, picture::svgText(*vectors, sized.width, sized.height), "--svg");
    }
    if (out.csv != nullptr) {
        put(*out.csv, picture::csvText(*vectors), "--csv");
    }
    if (out.events != nullptr) {
        out.events->write(eventsCsv(form.firstProfileEvent(), form.frameEvents()));
    }
    checkInterrupt();
    out.set.commit();
    return 0;
}

} // namespace zm::cli
