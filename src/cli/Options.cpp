#include "cli/Options.h"

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
}

void setScale(Options& o, const Option&, const std::string& s) {
    char* end = nullptr;
    const double v = s.empty() ? 0 : std::strtod(s.c_str(), &end);
    if (s.empty() || end != s.c_str() + s.size() || !std::isfinite(v) || v < 0.25 || v > 8) {
        fail("--scale " + quoted(s) + " is out of range: give a number from 0.25 to 8");
    }
    o.scale = v;
}

constexpr auto run = Options::Action::run;

// clang-format off
constexpr Option table[] = {
    {"keys", "", "SCRIPT",
     "the keys to play (default: none: the run ends at the first wait)", "",
     false, run, nullptr, setKeys},
    {"keys-file", "", "FILE",
     "read the script from FILE (- for standard input) instead", "",
     false, run, nullptr, setKeysFile},
    {"sweep", "", "",
     "then step through the rest of the sweep: 62 ordinary keys, one for\n"
     "each frame after the first (the same as adding \"x*62\"; those\n"
     "not needed when the program ends first are dropped)", "",
     false, run, nullptr, setSweep},
    {"trace", "", "FILE",
     "write one line per operation to FILE", "",
     false, run, &Options::trace, setFile},
    {"png", "", "FILE",
     "write the picture as it stands when the run ends", "",
     true, run, &Options::png, setFile},
    {"svg", "", "FILE",
     "the same picture as SVG vector graphics",
     "the picture as it stands when the run ends, as SVG vector graphics",
     false, run, &Options::svg, setFile},
    {"pdf", "", "FILE",
     "the same picture as a one-page PDF (96 pixels to the inch)", "",
     true, run, &Options::pdf, setFile},
    {"csv", "", "FILE",
     "the points of the picture's polylines as comma-separated values", "",
     false, run, &Options::csv, setFile},
    {"frames", "", "DIR",
     "write DIR/frame-0001.png, ... each time the program waits for a key\n"
     "(more digits when there are more than 9999 frames); afterwards DIR\n"
     "holds exactly this run's frames: frame-NNNN.png files of an earlier\n"
     "run are removed, other files are left alone", "",
     true, run, &Options::frames, setFolder},
    {"size", "", "WxH",
     "client size in logical pixels (default 962x688)",
     "client size in logical pixels of the SVG page (default 962x688)",
     false, run, nullptr, setSize},
    {"scale", "", "S",
     "device pixel ratio of the PNG pictures (default 1)", "",
     true, run, nullptr, setScale},
    {"help", "h", "", "show this help", "", false, Options::Action::help, nullptr, nullptr},
    {"version", "", "", "show the version", "", false, Options::Action::version, nullptr, nullptr},
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
  The run ends when the program waits with no step left, or when it ends.
  A script file may hold up to 64 MiB.

Trace lines: "line X1 Y1 X2 Y2 W 0x00BBGGRR", "cls", "wait", "end".
CSV rows: the header "curve,path,x,y", then one row per point of each polyline of
  the picture, in drawing order, in plane units.

Exit status: 0 done, 2 bad input or an output that cannot be written,
128+N when stopped by signal N (130 SIGINT, 143 SIGTERM, 129 SIGHUP): nothing is
left behind.
)";

const char* const renderExamples = R"(
Examples:
  zebo-morlix-render --keys "backspace tab@2.300 x" --trace - --png frame.png
  zebo-morlix-render --keys "backspace x" --svg frame.svg --pdf frame.pdf --csv frame.csv
  zebo-morlix-render --keys slash --sweep --frames frames/ --scale 2
)";

const char* const traceExamples = R"(
Examples:
  zebo-morlix-trace --keys "backspace tab@2.300 x" --trace -
  zebo-morlix-trace --keys "backspace x" --svg frame.svg --csv frame.csv
)";

// The names and value of an option as the help shows them, and the column
// where the help of every option starts.
constexpr std::size_t labelWidth = 16;

std::string label(const Option& opt) {
    std::string s;
    if (!opt.shortName.empty()) {
        s += "-" + std::string(opt.shortName) + ", ";
    }
    s += "--" + std::string(opt.name);
    if (opt.takesValue()) {
        s += " " + std::string(opt.valueName);
    }
    return s;
}

// "  LABEL  first line", then the other lines under the first.
std::string helpRows(Program p, const Option& opt) {
    std::string_view help = p == Program::trace && !opt.traceHelp.empty() ? opt.traceHelp : opt.help;
    std::string name = label(opt);
    name.resize(std::max(name.size(), labelWidth), ' ');
    std::string out;
    for (bool first = true; !help.empty(); first = false) {
        const std::size_t nl = help.find('\n');
        out += "  " + (first ? name : std::string(labelWidth, ' ')) + "  ";
        out += help.substr(0, nl);
        out += '\n';
        help.remove_prefix(nl == std::string_view::npos ? help.size() : nl + 1);
    }
    return out;
}

} // namespace

const char* programName(Program p) {
    return p == Program::render ? "zebo-morlix-render" : "zebo-morlix-trace";
}

std::span<const Option> optionTable() {
    return table;
}

std::string helpText(Program p) {
    std::string text = p == Program::render ? renderHeading : traceHeading;
    for (const Option& opt : table) {
        if (opt.takenBy(p)) {
            text += helpRows(p, opt);
        }
    }
    text += outputRules;
    text += scriptHelp;
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
