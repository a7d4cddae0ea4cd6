#include "cli/Options.h"

#include "cli/MechanismOptions.h"
#include "script/Quote.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>

#ifndef ZM_VERSION
#define ZM_VERSION "0.0.0"
#endif

namespace zm::cli {

using script::quoted;

namespace {

void fail(const std::string& message) {
    throw UsageError(message);
}

void setKeys(Options& o, const Option&, const std::string& value) {
    o.keys = value;
    o.keysGiven = true;
}

// After --keys in the table, which has set keysGiven when it is given too.
void setKeysFile(Options& o, const Option&, const std::string& value) {
    if (o.keysGiven) {
        fail("give the script with --keys or with --keys-file, not both");
    }
    if (value.empty()) {
        fail("--keys-file needs a file name, or - for standard input");
    }
    o.keysFile = value;
}

void setSweep(Options& o, const Option&, const std::string&) {
    o.sweep = true;
}

void setFile(Options& o, const Option& self, const std::string& value) {
    if (value.empty()) {
        fail("--" + std::string(self.name) + " needs a file name, or - for standard output");
    }
    o.*self.output = value;
}

void setFolder(Options& o, const Option& self, const std::string& value) {
    if (value.empty()) {
        fail("--" + std::string(self.name) + " needs a folder");
    }
    o.*self.output = value;
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

void setSize(Options& o, const Option&, const std::string& s) {
    const std::size_t x = s.find('x');
    int w = 0;
    int h = 0;
    if (x == std::string::npos || !sizePart(std::string_view(s).substr(0, x), w) ||
        !sizePart(std::string_view(s).substr(x + 1), h) || w < 1 || h < 1 || w > 8192 || h > 8192) {
        fail("--size " + quoted(s) + " is out of range: give WxH with W and H from 1 to 8192");
    }
    o.width = w;
    o.height = h;
    o.sizeGiven = true;
}

void setScale(Options& o, const Option&, const std::string& s) {
    char* end = nullptr;
    const double v = s.empty() ? 0 : std::strtod(s.c_str(), &end);
    if (s.empty() || end != s.c_str() + s.size() || !std::isfinite(v) || v < 0.25 || v > 8) {
        fail("--scale " + quoted(s) + " is out of range: give a number from 0.25 to 8");
    }
    o.scale = v;
}

// Qt reads its options from the command line it is given: the window hands
// these on as they came.
void setQtOption(Options& o, const Option& self, const std::string& value) {
    o.qtArguments.push_back("-" + std::string(self.name));
    o.qtArguments.push_back(value);
}

constexpr auto run = Options::Action::run;

// clang-format off
constexpr Option table[] = {
    {"keys", "", "SCRIPT",
     "the keys to play (default: none: the run ends at the first wait)", "",
     scriptPrograms, false, run, nullptr, setKeys},
    {"keys-file", "", "FILE",
     "read the script from FILE (- for standard input) instead", "",
     scriptPrograms, false, run, nullptr, setKeysFile},
    {"sweep", "", "",
     "then step through the rest of the sweep: 62 ordinary keys, one for\n"
     "each frame after the first (the same as adding \"x*62\"; those\n"
     "not needed when the program ends first are dropped)", "",
     scriptPrograms, false, run, nullptr, setSweep},
    {"linkage", "", "GROUND,CRANK,COUPLER,ROCKER",
     "the four-bar linkage's lengths in one unit (default\n"
     "31.5,7,25,31): the ground between the crank and rocker\n"
     "pivots, the crank, the coupler from the crank tip to the\n"
     "rocker tip, and the rocker; the crank must turn all the\n"
     "way round", "",
     everyProgram, false, run, nullptr, setLinkage},
    {"slider-crank", "", "RADIUS,ROD",
     "the slider-crank's crank radius and rod (default\n"
     "25.5,100), the rod the longer", "",
     everyProgram, false, run, nullptr, setSliderCrank},
    {"profile", "", "FILE",
     "the first lift profile from FILE (- for standard input)\n"
     "in place of the built-in one (see Profile file below);\n"
     "the second profile is worked out from it by the linkage", "",
     everyProgram, false, run, nullptr, setProfile},
    {"checking-lift", "", "L",
     "the lift at which a valve opens and closes (default: a\n"
     "tenth of the first profile's greatest lift)", "",
     everyProgram, false, run, nullptr, setCheckingLift},
    {"trace", "", "FILE",
     "write one line per operation to FILE", "",
     scriptPrograms, false, run, &Options::trace, setFile},
    {"png", "", "FILE",
     "write the picture as it stands when the run ends", "",
     renderOnly, false, run, &Options::png, setFile},
    {"svg", "", "FILE",
     "the same picture as SVG vector graphics",
     "the picture as it stands when the run ends, as SVG vector graphics",
     scriptPrograms, false, run, &Options::svg, setFile},
    {"pdf", "", "FILE",
     "the same picture as a one-page PDF (96 pixels to the inch)", "",
     renderOnly, false, run, &Options::pdf, setFile},
    {"csv", "", "FILE",
     "the points of the picture's polylines as comma-separated values", "",
     scriptPrograms, false, run, &Options::csv, setFile},
    {"events", "", "FILE",
     "the valve events of the first profile and of each\n"
     "frame's moving trace as comma-separated values (see\n"
     "Events below)", "",
     scriptPrograms, false, run, &Options::events, setFile},
    {"frames", "", "DIR",
     "write DIR/frame-0001.png, ... each time the program waits for a key\n"
     "(more digits when there are more than 9999 frames); afterwards DIR\n"
     "holds exactly this run's frames: frame-NNNN.png files of an earlier\n"
     "run are removed, other files are left alone", "",
     renderOnly, false, run, &Options::frames, setFolder},
    {"size", "", "WxH",
     "client size in logical pixels (default 962x688)",
     "client size in logical pixels of the SVG page (default 962x688)",
     scriptPrograms, false, run, nullptr, setSize},
    {"scale", "", "S",
     "device pixel ratio of the PNG pictures (default 1)", "",
     renderOnly, false, run, nullptr, setScale},
    {"help", "h", "", "show this help", "", everyProgram, false, Options::Action::help, nullptr, nullptr},
    {"version", "", "", "show the version", "", everyProgram, false, Options::Action::version, nullptr,
     nullptr},
    {"display", "", "NAME",
     "the X display to open the window on (default: $DISPLAY)", "",
     windowOnly, true, run, nullptr, setQtOption},
    {"platform", "", "NAME",
     "the Qt platform: xcb or wayland", "",
     windowOnly, true, run, nullptr, setQtOption},
};
// clang-format on

const char* const renderHeading = R"(Usage: zebo-morlix-render [options]

Runs the valve-lift geometry program headless on an offscreen canvas, plays a
key script in place of a user, and writes the drawing operations and pictures.

Options:
)";

const char* const traceHeading = R"(Usage: zebo-morlix-trace [options]

Runs the valve-lift geometry program with no window, plays a key script in
place of a user, and writes the drawing operations, the SVG picture and its
points. The PNG, PDF and frame pictures are zebo-morlix-render's.

Options:
)";

const char* const outputRules =
    R"(  FILE may be - for standard output. A device or a pipe is written into, never
  replaced. Outputs are written only when the whole run succeeds, all together.
)";

const char* const scriptHelp = R"(
Script: steps separated by white space; a step is KEY, KEY@F.N or KEY*N.
  KEY       one non-blank character (x is 120, , is 44, / is 47; a character beyond
            U+FFFF is delivered as U+FFFD, as the window does), or one of space enter
            tab backspace comma slash esc dblclick, or #CODE (0 to 65535)
  KEY       alone is delivered when the program next blocks waiting for a key
  KEY*N     KEY at the next N waits (N from 1 to 1000000): x*3 is x x x
  KEY@F.N   is delivered at event pump N of frame F (frames counted from 1; the row
            pumps are 1-200, 201-400 and 401-600, and 601 starts the end-of-frame wait)
            A frame has 3 pumps per profile row plus one: with a --profile of R rows
            the row pumps are 1-R, R+1-2R and 2R+1-3R, and 3R+1 starts the wait.
  The run ends when the program waits with no step left, or when it ends.
  A script file may hold up to 64 MiB.

Trace lines: "line X1 Y1 X2 Y2 W 0x00BBGGRR", "cls", "wait", "end".
CSV rows: the header "curve,path,x,y", then one row per point of each polyline of
  the picture, in drawing order, in plane units.
Events: the header "frame,k,curve,opens,closes,duration,peak_x,peak_lift", then
  for each frame that reached its wait (counted from 1, k its control angle) a
  "first profile" row and a "moving trace" row: where the lift first reaches the
  checking lift, where it last falls below it (both interpolated in x), their
  distance, and the greatest lift with its x; an event that does not happen is
  empty. Numbers are the shortest text that reads back to the same double.
)";

const char* const runExit = R"(
Exit status: 0 done, 2 bad input or an output that cannot be written,
128+N when stopped by signal N (130 SIGINT, 143 SIGTERM, 129 SIGHUP): nothing is
left behind.
)";

// The profile file's format, which every program's help describes.
const char* const profileHelp = R"(
Profile file: rows of "angle, lift" (cam angle in degrees), the two numbers
  separated by a comma, a semicolon, tabs or spaces; one header line, # comments,
  blank lines, CRLF line ends and a UTF-8 byte-order mark are allowed. The angles
  may rise or fall from row to row, in one direction, no two the same; from 3 to
  100000 rows, and at most 64 MiB.
)";

const char* const windowHeading = R"(Usage: zebo-morlix [options]

Opens a window that animates the geometry of a valve-lift mechanism: two lift
profiles, a slider-crank travel curve and the second profile shifted by a
four-bar linkage at a control angle that steps with the keyboard.

Keys:
  Space         back to the first frame
  ,             one step back
  /             the same frame again, with frames piling up or cleared
  Enter, Tab    a tenth of a step forward, back
  Backspace     the same frame again, with the velocity and acceleration overlays
                on or off
  any other key one step forward (after the last frame it ends the program)
  Escape, a double click, or closing the window: quit

Options:
)";

const char* const windowExit = R"(
Exit status: 0 when the program ends, 1 when no display can be opened or the
display goes away, 2 for an option it does not know.
A mechanism the program cannot use is refused with status 2 as well.
)";

const char* const renderExamples = R"(
Examples:
  zebo-morlix-render --keys "backspace tab@2.300 x" --trace - --png frame.png
  zebo-morlix-render --keys "backspace x" --svg frame.svg --pdf frame.pdf --csv frame.csv
  zebo-morlix-render --keys slash --sweep --frames frames/ --scale 2
  zebo-morlix-render --linkage 31.5,7,25,28 --profile lift.csv --sweep --events events.csv
)";

const char* const traceExamples = R"(
Examples:
  zebo-morlix-trace --keys "backspace tab@2.300 x" --trace -
  zebo-morlix-trace --keys "backspace x" --svg frame.svg --csv frame.csv
  zebo-morlix-trace --profile lift.csv --sweep --events -
)";

// The names and value of an option as the help shows them, and the column
// where the help of every option starts: the window's help has always been a
// column further to the right.
std::size_t labelWidth(Program p) {
    return p == Program::window ? 17 : 16;
}

std::string label(const Option& opt) {
    std::string s;
    if (!opt.shortName.empty()) {
        s += "-" + std::string(opt.shortName) + ", ";
    }
    s += (opt.forQt ? "-" : "--") + std::string(opt.name);
    if (opt.takesValue()) {
        s += " " + std::string(opt.valueName);
    }
    return s;
}

// "  LABEL  first line", then the other lines under the first; a label too
// long for its column stands on a line of its own, above its help.
std::string helpRows(Program p, const Option& opt) {
    std::string_view help = p == Program::trace && !opt.traceHelp.empty() ? opt.traceHelp : opt.help;
    const std::size_t width = labelWidth(p);
    std::string name = label(opt);
    std::string out;
    if (name.size() > width) {
        out += "  " + name + "\n";
        name.clear();
    }
    name.resize(width, ' ');
    for (bool first = true; !help.empty(); first = false) {
        const std::size_t nl = help.find('\n');
        out += "  " + (first ? name : std::string(width, ' ')) + "  ";
        out += help.substr(0, nl);
        out += '\n';
        help.remove_prefix(nl == std::string_view::npos ? help.size() : nl + 1);
    }
    return out;
}

} // namespace

const char* programName(Program p) {
    switch (p) {
    case Program::render:
        return "zebo-morlix-render";
    case Program::trace:
        return "zebo-morlix-trace";
    case Program::window:
        break;
    }
    return "zebo-morlix";
}

std::span<const Option> optionTable() {
    return table;
}

std::string helpText(Program p) {
    const bool window = p == Program::window;
    std::string text = window ? windowHeading : p == Program::render ? renderHeading : traceHeading;
    for (const Option& opt : table) {
        if (opt.takenBy(p)) {
            text += helpRows(p, opt);
        }
    }
    if (window) {
        return text + profileHelp + windowExit;
    }
    text += outputRules;
    text += scriptHelp;
    text += profileHelp;
    text += runExit;
    text += p == Program::render ? renderExamples : traceExamples;
    return text;
}

std::string versionText(Program p) {
    return std::string(programName(p)) + " " + ZM_VERSION + "\n";
}

std::string outputList(Program p) {
    std::vector<std::string_view> names;
    for (const Option& opt : table) {
        if (opt.output != nullptr && opt.takenBy(p)) {
            names.push_back(opt.name);
        }
    }
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        out += i == 0 ? "" : i + 1 == names.size() ? " or " : ", ";
        out += "--" + std::string(names[i]);
    }
    return out;
}

} // namespace zm::cli
