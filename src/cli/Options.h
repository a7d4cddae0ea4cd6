#pragma once

// The options of the programs, as one table: the renderer, the trace program
// and the window read their command lines from it and print their help from it;
// the programs that play key scripts name their outputs from it. Each row says
// which programs take it: the pictures that need a raster or a PDF writer are
// the renderer's own, the display and platform the window's, and the
// mechanism is everyone's.

#include "window/Mechanism.h"

#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zm::cli {

enum class Program { render, trace, window };

// A set of programs, one bit each.
constexpr unsigned programBit(Program p) {
    return 1u << static_cast<unsigned>(p);
}
inline constexpr unsigned renderOnly = programBit(Program::render);
inline constexpr unsigned scriptPrograms = renderOnly | programBit(Program::trace);
inline constexpr unsigned windowOnly = programBit(Program::window);
inline constexpr unsigned everyProgram = scriptPrograms | windowOnly;

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
    std::string events; // the valve events
    std::string frames; // a folder
    // The client size: the design's unless --size gives one; a run whose
    // mechanism needs a larger plane takes the plane's size when none is given.
    int width = 962;
    int height = 688;
    bool sizeGiven = false;
    double scale = 1;
    // The user's mechanism as the command line gives it, not yet prepared; the
    // profile is the built-in one until the file named by --profile is read.
    Mechanism mechanism;
    std::string profile; // the profile file; empty: the built-in profile
    // The window's options for Qt, each as "-NAME" and its value.
    std::vector<std::string> qtArguments;
};

// One option of the table.
struct Option {
    std::string_view name;      // --NAME
    std::string_view shortName; // -NAME as well, shown before it in the help; or empty
    std::string_view valueName; // in the help; empty for an option without a value
    // The lines of its help, one '\n' between two; traceHelp is the trace
    // program's when its words differ.
    std::string_view help;
    std::string_view traceHelp;
    unsigned programs; // the programs that take it (programBit)
    // One of Qt's own options: written with one dash in the help, handed to
    // Qt as -NAME VALUE.
    bool forQt;
    // Help and version answer instead of running; the rest leave it run.
    Options::Action action;
    // The file or folder the run writes, or null.
    std::string Options::*output;
    // Stores the value (empty for an option without one) in the options, or
    // throws UsageError. Called in the table's order, after every argument is
    // read, once for each option given; null for help and version.
    void (*set)(Options& o, const Option& self, const std::string& value);

    bool takesValue() const { return !valueName.empty(); }
    bool takenBy(Program p) const { return (programs & programBit(p)) != 0; }
};

// Every option, in the order of the help.
std::span<const Option> optionTable();

// Reads the arguments after the program's name. Options are --NAME VALUE,
// --NAME=VALUE or the same with one dash; "--" ends them. Throws UsageError.
Options parseArguments(Program p, const std::vector<std::string>& args);

std::string helpText(Program p);
std::string versionText(Program p);

// "--trace, --svg or --csv": the outputs the program can write.
std::string outputList(Program p);

} // namespace zm::cli
