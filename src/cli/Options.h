#pragma once

// The options of the programs that play key scripts, as one table: the
// renderer and the trace program read their command lines from it, print their
// help from it, and name their outputs from it. Only the pictures that need a
// raster or a PDF writer are the renderer's own.

#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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

// One option of the table.
struct Option {
    std::string_view name;      // --NAME
    std::string_view shortName; // -NAME as well, shown before it in the help; or empty
    std::string_view valueName; // in the help; empty for an option without a value
    // The lines of its help, one '\n' between two; traceHelp is the trace
    // program's when its words differ.
    std::string_view help;
    std::string_view traceHelp;
    bool renderOnly; // a picture the trace program does not make
    // Help and version answer instead of running; the rest leave it run.
    Options::Action action;
    // The file or folder the run writes, or null.
    std::string Options::*output;
    // Stores the value (empty for an option without one) in the options, or
    // throws UsageError. Called in the table's order, after every argument is
    // read, once for each option given; null for help and version.
    void (*set)(Options& o, const Option& self, const std::string& value);

    bool takesValue() const { return !valueName.empty(); }
    bool takenBy(Program p) const { return p == Program::render || !renderOnly; }
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
