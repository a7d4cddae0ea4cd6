#include "cli/CommandLine.h"

#include "picture/PictureText.h"
#include "picture/RecordingSurface.h"
#include "picture/SegmentPicture.h"
#include "script/Quote.h"
#include "script/ScriptHost.h"
#include "window/Form1.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#endif

#ifndef ZM_VERSION
#define ZM_VERSION "0.0.0"
#endif

namespace zm::cli {

using script::quoted;

namespace {

constexpr int exitBadInput = 2;

using io::checkInterrupt;

const char* const scriptHelp = R"(
Script: steps separated by white space; a step is KEY, KEY@F.N or KEY*N.
  KEY       one non-blank character (x is 120, , is 44, / is 47; a character beyond
            U+FFFF is delivered as U+FFFD, as the window does), or one of space enter
            tab backspace comma slash esc dblclick, or #CODE (0 to 65535)
  KEY       alone is delivered when the program next blocks waiting for a key
  KEY*N     KEY at the next N waits (N from 1 to 1000000): x*3 is x x x
  KEY@F.N   is delivered at event pump N of frame F (frames counted from 1; the row
            pumps are 1-200, 201-400 and 401-600, and 601 starts the end-of-frame wait)
  The run ends when the program waits with no step left, or when it ends.
  A script file may hold up to 64 MiB.

Trace lines: "line X1 Y1 X2 Y2 W 0x00BBGGRR", "cls", "wait", "end".
CSV rows: the header "curve,path,x,y", then one row per point of each polyline of
  the picture, in drawing order, in plane units.

Exit status: 0 done, 2 bad input or an output that cannot be written,
128+N when stopped by signal N (130 SIGINT, 143 SIGTERM, 129 SIGHUP): nothing is
left behind.
)";

const char* const renderHelp = R"(Usage: zebo-morlix-render [options]

Runs the valve-lift geometry program headless on an offscreen canvas, plays a
key script in place of a user, and writes the drawing operations and pictures.

Options:
  --keys SCRIPT     the keys to play (default: none: the run ends at the first wait)
  --keys-file FILE  read the script from FILE (- for standard input) instead
  --sweep           then step through the rest of the sweep: 62 ordinary keys, one for
                    each frame after the first (the same as adding "x*62"; those
                    not needed when the program ends first are dropped)
  --trace FILE      write one line per operation to FILE
  --png FILE        write the picture as it stands when the run ends
  --svg FILE        the same picture as SVG vector graphics
  --pdf FILE        the same picture as a one-page PDF (96 pixels to the inch)
  --csv FILE        the points of the picture's polylines as comma-separated values
  --frames DIR      write DIR/frame-0001.png, ... each time the program waits for a key
                    (more digits when there are more than 9999 frames); afterwards DIR
                    holds exactly this run's frames: frame-NNNN.png files of an earlier
                    run are removed, other files are left alone
  --size WxH        client size in logical pixels (default 962x688)
  --scale S         device pixel ratio of the PNG pictures (default 1)
  -h, --help        show this help
  --version         show the version
  FILE may be - for standard output. A device or a pipe is written into, never
  replaced. Outputs are written only when the whole run succeeds, all together.
)";

const char* const renderExamples = R"(
Examples:
  zebo-morlix-render --keys "backspace tab@2.300 x" --trace - --png frame.png
  zebo-morlix-render --keys "backspace x" --svg frame.svg --pdf frame.pdf --csv frame.csv
  zebo-morlix-render --keys slash --sweep --frames frames/ --scale 2
)";

const char* const traceHelp = R"(Usage: zebo-morlix-trace [options]

Runs the valve-lift geometry program with no window, plays a key script in
place of a user, and writes the drawing operations, the SVG picture and its
points. The PNG, PDF and frame pictures are zebo-morlix-render's.

Options:
  --keys SCRIPT     the keys to play (default: none: the run ends at the first wait)
  --keys-file FILE  read the script from FILE (- for standard input) instead
  --sweep           then step through the rest of the sweep: 62 ordinary keys, one for
                    each frame after the first (the same as adding "x*62"; those
                    not needed when the program ends first are dropped)
  --trace FILE      write one line per operation to FILE
  --svg FILE        the picture as it stands when the run ends, as SVG vector graphics
  --csv FILE        the points of the picture's polylines as comma-separated values
  --size WxH        client size in logical pixels of the SVG page (default 962x688)
  -h, --help        show this help
  --version         show the version
  FILE may be - for standard output. A device or a pipe is written into, never
  replaced. Outputs are written only when the whole run succeeds, all together.
)";

const char* const traceExamples = R"(
Examples:
  zebo-morlix-trace --keys "backspace tab@2.300 x" --trace -
  zebo-morlix-trace --keys "backspace x" --svg frame.svg --csv frame.csv
)";

enum class Opt { keys, keysFile, sweep, trace, png, svg, pdf, csv, frames, size, scale, help, version };

struct OptInfo {
    std::string_view name;
    Opt opt;
    bool takesValue;
    bool renderOnly;
};

constexpr OptInfo optionTable[] = {
    {"keys", Opt::keys, true, false},    {"keys-file", Opt::keysFile, true, false},
    {"sweep", Opt::sweep, false, false}, {"trace", Opt::trace, true, false},
    {"png", Opt::png, true, true},       {"svg", Opt::svg, true, false},
    {"pdf", Opt::pdf, true, true},       {"csv", Opt::csv, true, false},
    {"frames", Opt::frames, true, true}, {"size", Opt::size, true, false},
    {"scale", Opt::scale, true, true},   {"h", Opt::help, false, false},
    {"help", Opt::help, false, false},   {"version", Opt::version, false, false},
};

const OptInfo* findOption(std::string_view name) {
    for (const OptInfo& o : optionTable) {
        if (o.name == name) {
            return &o;
        }
    }
    return nullptr;
}

// A number of one to five digits.
bool sizePart(std::string_view s, int& out) {
    if (s.empty() || s.size() > 5) {
        return false;
    }
    out = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
        out = out * 10 + (c - '0');
    }
    return true;
}

void fail(const std::string& message) {
    throw UsageError(message);
}

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

// Draws nowhere: the trace program's canvas.
class NoCanvas : public Canvas {};

class NoSurface : public Surface {
  public:
    void line(float, float, float, float, Colour) override {}
    void setDrawWidth(int) override {}
    void setForeColor(Colour) override {}
    void cls() override {}
};

#ifdef _WIN32
// Windows reads files as text unless told otherwise, and has no close-on-exec.
constexpr int scriptOpenFlags = O_RDONLY | O_BINARY;
#else
constexpr int scriptOpenFlags = O_RDONLY | O_CLOEXEC;
#endif

// The whole script file, or standard input; a blocked open or read gives way
// to an interrupt.
std::string readScriptFile(const std::string& name) {
    const auto cannot = [&name](int err) {
        fail("cannot read --keys-file " + (name == "-" ? std::string("from standard input") : quoted(name)) +
             ": " + io::errorText(err));
    };
    int fd = 0;
#ifdef _WIN32
    _setmode(0, _O_BINARY);
#endif
    if (name != "-") {
        // A FIFO with no writer blocks the open until an interrupt ends it.
        for (;;) {
            checkInterrupt();
            fd = io::openMayBlock(name.c_str(), scriptOpenFlags);
            if (fd >= 0) {
                break;
            }
            if (errno != EINTR) {
                cannot(errno);
            }
        }
    }
    struct Closer {
        int fd;
        ~Closer() {
            if (fd > 0) {
                ::close(fd);
            }
        }
    } closer{fd};
    const auto tooLarge = [&name] {
        fail("--keys-file " + (name == "-" ? std::string("from standard input") : quoted(name)) +
             " is larger than 64 MiB: split the script");
    };
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        cannot(EISDIR);
    }
    if (S_ISREG(st.st_mode) && static_cast<std::uintmax_t>(st.st_size) > maxScriptBytes) {
        tooLarge();
    }
    // Read in pieces and joined once into a string of exactly the script's
    // size: no growing string copies itself in one long step that an interrupt
    // would wait for, or keeps twice the room it needs.
    constexpr std::size_t piece = 1 << 20;
    std::vector<std::string> pieces;
    std::size_t total = 0;
    for (bool end = false; !end;) {
        std::string& p = pieces.emplace_back(piece, '\0');
        std::size_t got = 0;
        while (got < piece) {
            checkInterrupt();
            const long n = io::readSome(fd, p.data() + got, piece - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                cannot(errno);
            }
            if (n == 0) {
                end = true;
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        p.resize(got);
        total += got;
        if (total > maxScriptBytes) {
            tooLarge();
        }
    }
    std::string text;
    text.reserve(total);
    for (std::string& p : pieces) {
        checkInterrupt();
        text += p;
        std::string().swap(p);
    }
    return text;
}

} // namespace

const char* programName(Program p) {
    return p == Program::render ? "zebo-morlix-render" : "zebo-morlix-trace";
}

Options parseArguments(Program p, const std::vector<std::string>& args) {
    Options o;
    o.program = p;
    std::vector<int> given(std::size(optionTable), 0);
    std::vector<std::string> values(std::size(optionTable));
    std::vector<std::string> positional;
    std::string firstError;
    const auto error = [&firstError](const std::string& m) {
        if (firstError.empty()) {
            firstError = m;
        }
    };
    // Usage errors name the option as typed, and where to read more.
    const std::string seeHelp = std::string(" (see ") + programName(p) + " --help)";
    bool optionsEnd = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnd || a.size() < 2 || a[0] != '-') {
            positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnd = true;
            continue;
        }
        const std::string_view body = std::string_view(a).substr(a[1] == '-' ? 2 : 1);
        const std::size_t eq = body.find('=');
        const std::string_view name = body.substr(0, eq);
        const std::string written =
            a.substr(0, a.size() - (eq == std::string_view::npos ? 0 : body.size() - eq));
        const OptInfo* info = findOption(name);
        if (info == nullptr) {
            error("unknown option " + quoted(written) + seeHelp);
            continue;
        }
        const auto index = static_cast<std::size_t>(info - std::begin(optionTable));
        std::string value;
        if (info->takesValue) {
            if (eq != std::string_view::npos) {
                value = std::string(body.substr(eq + 1));
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                error(quoted(written) + " needs a value" + seeHelp);
                continue;
            }
        } else if (eq != std::string_view::npos) {
            error(quoted(written) + " takes no value" + seeHelp);
            continue;
        }
        if (p == Program::trace && info->renderOnly) {
            error("--" + std::string(info->name) +
                  " is for pictures that zebo-morlix-trace does not make: use zebo-morlix-render");
            continue;
        }
        // -h and --help are one option, counted in the first entry of the two.
        std::size_t slot = index;
        while (slot > 0 && optionTable[slot - 1].opt == info->opt) {
            --slot;
        }
        if (given[slot]++ == 0) {
            values[slot] = std::move(value);
        }
    }
    if (!firstError.empty()) {
        fail(firstError);
    }
    const auto isSet = [&](Opt opt) {
        for (std::size_t k = 0; k < std::size(optionTable); ++k) {
            if (optionTable[k].opt == opt && given[k] > 0) {
                return true;
            }
        }
        return false;
    };
    const auto value = [&](Opt opt) -> const std::string& {
        for (std::size_t k = 0; k < std::size(optionTable); ++k) {
            if (optionTable[k].opt == opt && given[k] > 0) {
                return values[k];
            }
        }
        static const std::string none;
        return none;
    };
    if (isSet(Opt::help)) {
        o.action = Options::Action::help;
        return o;
    }
    if (isSet(Opt::version)) {
        o.action = Options::Action::version;
        return o;
    }
    if (!positional.empty()) {
        fail("unexpected argument " + quoted(positional.front()) + seeHelp);
    }
    for (std::size_t k = 0; k < std::size(optionTable); ++k) {
        if (optionTable[k].takesValue && given[k] > 1) {
            fail("option --" + std::string(optionTable[k].name) + " is given more than once");
        }
    }
    o.keys = value(Opt::keys);
    o.keysGiven = isSet(Opt::keys);
    o.keysFile = value(Opt::keysFile);
    o.sweep = isSet(Opt::sweep);
    if (o.keysGiven && isSet(Opt::keysFile)) {
        fail("give the script with --keys or with --keys-file, not both");
    }
    if (isSet(Opt::keysFile) && o.keysFile.empty()) {
        fail("--keys-file needs a file name, or - for standard input");
    }
    const auto file = [&](Opt opt, const char* option, std::string& out) {
        out = value(opt);
        if (isSet(opt) && out.empty()) {
            fail(std::string(option) + " needs a file name, or - for standard output");
        }
    };
    file(Opt::trace, "--trace", o.trace);
    file(Opt::png, "--png", o.png);
    file(Opt::svg, "--svg", o.svg);
    file(Opt::pdf, "--pdf", o.pdf);
    file(Opt::csv, "--csv", o.csv);
    o.frames = value(Opt::frames);
    if (isSet(Opt::frames) && o.frames.empty()) {
        fail("--frames needs a folder");
    }
    if (isSet(Opt::size)) {
        const std::string& s = value(Opt::size);
        const std::size_t x = s.find('x');
        int w = 0;
        int h = 0;
        if (x == std::string::npos || !sizePart(std::string_view(s).substr(0, x), w) ||
            !sizePart(std::string_view(s).substr(x + 1), h) || w < 1 || h < 1 || w > 8192 || h > 8192) {
            fail("--size " + quoted(s) + " is out of range: give WxH with W and H from 1 to 8192");
        }
        o.width = w;
        o.height = h;
    }
    if (isSet(Opt::scale)) {
        const std::string& s = value(Opt::scale);
        char* end = nullptr;
        const double v = s.empty() ? 0 : std::strtod(s.c_str(), &end);
        if (s.empty() || end != s.c_str() + s.size() || !std::isfinite(v) || v < 0.25 || v > 8) {
            fail("--scale " + quoted(s) + " is out of range: give a number from 0.25 to 8");
        }
        o.scale = v;
    }
    const double devicePixels = static_cast<double>(o.width) * o.height * o.scale * o.scale;
    if (devicePixels > 64.0 * 1024 * 1024) {
        fail("--size and --scale give a picture of more than 64 million pixels");
    }
    return o;
}

std::string helpText(Program p) {
    return p == Program::render ? std::string(renderHelp) + scriptHelp + renderExamples
                                : std::string(traceHelp) + scriptHelp + traceExamples;
}

std::string versionText(Program p) {
    return std::string(programName(p)) + " " + ZM_VERSION + "\n";
}

std::vector<script::Step> readSteps(const Options& o) {
    std::string file;
    std::string_view script = o.keys;
    if (!o.keysFile.empty()) {
        file = readScriptFile(o.keysFile);
        script = file;
        // A byte-order mark that an editor put at the start says nothing.
        if (script.substr(0, 3) == "\xEF\xBB\xBF") {
            script.remove_prefix(3);
        }
    }
    std::vector<script::Step> steps;
    try {
        steps = script::parseScript(script, checkInterrupt);
    } catch (const script::ScriptError& e) {
        fail(e.what());
    }
    if (o.sweep) {
        script::appendSweep(steps);
    }
    return steps;
}

void put(io::Output& out, const std::string& bytes, const char* option) {
    if (bytes.empty()) {
        fail(std::string("cannot make the ") + option + " picture");
    }
    out.write(bytes);
}

namespace {

int run(const Options& o, const CanvasMaker& makeCanvas) {
    std::vector<script::Step> steps = readSteps(o);
    // The script is checked first; a run that would write nothing is a mistake.
    if (o.trace.empty() && o.png.empty() && o.svg.empty() && o.pdf.empty() && o.csv.empty() &&
        o.frames.empty()) {
        fail(o.program == Program::render
                 ? "nothing to write: give --trace, --png, --svg, --pdf, --csv or --frames (see "
                   "zebo-morlix-render --help)"
                 : "nothing to write: give --trace, --svg or --csv (see zebo-morlix-trace --help)");
    }

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
    if (!o.frames.empty()) {
        out.set.makeFolder(o.frames, "--frames", io::isFrameName);
    }

    // The operations pass through the trace and the segment picture on their
    // way to the canvas.
    std::unique_ptr<Canvas> canvas = makeCanvas ? makeCanvas(o, out) : std::make_unique<NoCanvas>();
    Surface* surface = canvas->surface();
    std::unique_ptr<picture::SegmentPicture> vectors;
    if (out.svg != nullptr || out.pdf != nullptr || out.csv != nullptr) {
        vectors = std::make_unique<picture::SegmentPicture>(surface);
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
    Form1 form(*surface, host);
    host.attach(form);
    host.play();

    canvas->finish(out, vectors.get());
    if (out.svg != nullptr) {
        put(*out.svg, picture::svgText(*vectors, o.width, o.height), "--svg");
    }
    if (out.csv != nullptr) {
        put(*out.csv, picture::csvText(*vectors), "--csv");
    }
    checkInterrupt();
    out.set.commit();
    return 0;
}

// Help and version go to standard output; a failure to write them is reported.
int print(Program p, const std::string& text) {
    const bool ok =
        std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
    if (!ok) {
        std::fprintf(stderr, "%s: cannot write to standard output: %s\n", programName(p),
                     io::errorText(errno));
        return exitBadInput;
    }
    return 0;
}

} // namespace

int main(Program p, int argc, char** argv, const CanvasMaker& makeCanvas) {
    // SIGINT, SIGTERM and a hang-up (the terminal closed) stop the run and clean up.
    io::catchInterrupts();
    io::guardStandardDescriptors();
    const char* name = programName(p);
    try {
        const Options o = parseArguments(p, std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
        if (o.action == Options::Action::help) {
            return print(p, helpText(p));
        }
        if (o.action == Options::Action::version) {
            return print(p, versionText(p));
        }
        return run(o, makeCanvas);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
    } catch (const script::ScriptError& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
    } catch (const io::OutputError& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr,
                     "%s: not enough memory for this run: use a shorter script or a smaller picture\n", name);
    } catch (const io::Interrupted& e) {
        std::fprintf(stderr, "%s: %s\n", name, io::interruptedMessage(e.signal).c_str());
        io::dieOf(e.signal);
    }
    return exitBadInput;
}

} // namespace zm::cli
