// The command line of the renderer and the trace program: the options read into
// the options, the refused command lines with their messages and status, and
// the help made from the same table the parser reads.

#include "cli/Main.h"
#include "cli/Options.h"
#include "cli/ScriptFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace zm::test {
namespace {

using cli::Options;
using cli::Program;
using Args = std::vector<std::string>;

Options parse(Program p, const Args& args) {
    return cli::parseArguments(p, args);
}

// The message of a refused command line, or "accepted".
std::string refusal(Program p, const Args& args) {
    try {
        cli::parseArguments(p, args);
        return "accepted";
    } catch (const cli::UsageError& e) {
        return e.what();
    }
}

std::string joined(const Args& args) {
    std::string s;
    for (const std::string& a : args) {
        s += (s.empty() ? "" : " ") + a;
    }
    return s;
}

TEST(CommandLine, ReadsEveryOptionIntoTheOptions) {
    const Options none = parse(Program::render, {});
    EXPECT_EQ(none.action, Options::Action::run);
    EXPECT_FALSE(none.keysGiven);
    EXPECT_FALSE(none.sweep);
    EXPECT_TRUE(none.keys.empty() && none.keysFile.empty() && none.trace.empty() && none.png.empty() &&
                none.svg.empty() && none.pdf.empty() && none.csv.empty() && none.frames.empty());
    EXPECT_EQ(none.width, 962);
    EXPECT_EQ(none.height, 688);
    EXPECT_EQ(none.scale, 1);

    const Options o = parse(Program::render, {"--keys", "x tab", "--sweep", "--trace", "t", "--png", "p",
                                              "--svg", "s", "--pdf", "d", "--csv", "c", "--frames", "f",
                                              "--size", "300x200", "--scale", "2.5"});
    EXPECT_EQ(o.program, Program::render);
    EXPECT_EQ(o.action, Options::Action::run);
    EXPECT_EQ(o.keys, "x tab");
    EXPECT_TRUE(o.keysGiven);
    EXPECT_TRUE(o.sweep);
    EXPECT_EQ(o.trace, "t");
    EXPECT_EQ(o.png, "p");
    EXPECT_EQ(o.svg, "s");
    EXPECT_EQ(o.pdf, "d");
    EXPECT_EQ(o.csv, "c");
    EXPECT_EQ(o.frames, "f");
    EXPECT_EQ(o.width, 300);
    EXPECT_EQ(o.height, 200);
    EXPECT_EQ(o.scale, 2.5);

    const Options t = parse(Program::trace, {"--keys-file", "-", "--svg", "-", "--size", "1x8192"});
    EXPECT_EQ(t.program, Program::trace);
    EXPECT_EQ(t.keysFile, "-");
    EXPECT_FALSE(t.keysGiven);
    EXPECT_EQ(t.svg, "-");
    EXPECT_EQ(t.width, 1);
    EXPECT_EQ(t.height, 8192);

    // An empty script is a script given: it ends the run at the first wait.
    EXPECT_TRUE(parse(Program::trace, {"--keys", ""}).keysGiven);
    // Leading zeros and the bounds of the ranges.
    EXPECT_EQ(parse(Program::render, {"--size", "00008x08192"}).width, 8);
    EXPECT_EQ(parse(Program::render, {"--scale", "0.25"}).scale, 0.25);
    EXPECT_EQ(parse(Program::render, {"--size", "1024x1024", "--scale", "8"}).scale, 8);
}

TEST(CommandLine, TakesEveryFormOfAnOption) {
    for (const Args& args : {Args{"--keys", "x"}, Args{"--keys=x"}, Args{"-keys", "x"}, Args{"-keys=x"}}) {
        const Options o = parse(Program::trace, args);
        EXPECT_EQ(o.keys, "x") << joined(args);
        EXPECT_TRUE(o.keysGiven) << joined(args);
    }
    // After '=' everything is the value, another '=' too; a separate value is
    // taken as it is, even when it looks like an option.
    EXPECT_EQ(parse(Program::trace, {"--trace=a=b"}).trace, "a=b");
    EXPECT_EQ(parse(Program::trace, {"--trace", "--svg"}).trace, "--svg");
    EXPECT_TRUE(parse(Program::trace, {"--trace", "--svg"}).svg.empty());
    EXPECT_EQ(parse(Program::trace, {"--keys", "-h"}).action, Options::Action::run);
    EXPECT_EQ(parse(Program::trace, {"--keys=", "--trace", "-"}).keys, "");
    // "-" alone is a file name, not an option.
    EXPECT_EQ(parse(Program::trace, {"--trace", "-"}).trace, "-");
    EXPECT_EQ(refusal(Program::trace, {"-"}), "unexpected argument '-' (see zebo-morlix-trace --help)");

    for (const char* help : {"-h", "--h", "-help", "--help"}) {
        EXPECT_EQ(parse(Program::render, {help}).action, Options::Action::help) << help;
    }
    EXPECT_EQ(parse(Program::trace, {"-version"}).action, Options::Action::version);
    // Help wins over version and over what would refuse a run.
    EXPECT_EQ(parse(Program::trace, {"--version", "--help"}).action, Options::Action::help);
    EXPECT_EQ(parse(Program::trace, {"extra", "--help"}).action, Options::Action::help);
    EXPECT_EQ(parse(Program::trace, {"--keys", "x", "--keys", "y", "--version"}).action,
              Options::Action::version);
    EXPECT_EQ(parse(Program::trace, {"--size", "0x0", "--help"}).action, Options::Action::help);

    // "--" ends the options: what follows is an argument, even "--help".
    EXPECT_EQ(refusal(Program::render, {"--keys", "x", "--", "--help"}),
              "unexpected argument '--help' (see zebo-morlix-render --help)");
    EXPECT_EQ(refusal(Program::render, {"--", "--", "x"}),
              "unexpected argument '--' (see zebo-morlix-render --help)");
    EXPECT_EQ(parse(Program::render, {"--keys", "x", "--"}).keys, "x");
}

TEST(CommandLine, RepeatedOptions) {
    // An option without a value may be given again; one with a value may not,
    // even with the same value, and the message names it by its long name.
    EXPECT_TRUE(parse(Program::trace, {"--sweep", "-sweep"}).sweep);
    EXPECT_EQ(parse(Program::trace, {"-h", "--help", "-h"}).action, Options::Action::help);
    EXPECT_EQ(refusal(Program::trace, {"--keys", "x", "-keys=x"}), "option --keys is given more than once");
    EXPECT_EQ(refusal(Program::trace, {"--trace", "-", "--trace", "-"}),
              "option --trace is given more than once");
    EXPECT_EQ(refusal(Program::render, {"--scale", "1", "--scale", "1"}),
              "option --scale is given more than once");
    // The first option of the table that is repeated is the one named.
    EXPECT_EQ(refusal(Program::render, {"--csv", "a", "--csv", "b", "--trace", "c", "--trace", "d"}),
              "option --trace is given more than once");
    // A repeat is found before what is wrong with the values.
    EXPECT_EQ(refusal(Program::render, {"--size", "0x0", "--keys", "a", "--keys", "b"}),
              "option --keys is given more than once");
}

TEST(CommandLine, RefusesWhatCannotBeRun) {
    struct Case {
        Program p;
        Args args;
        const char* message;
    };
    const Program r = Program::render;
    const Program t = Program::trace;
    const Case cases[] = {
        {r, {"--bogus"}, "unknown option '--bogus' (see zebo-morlix-render --help)"},
        {t, {"--bogus=1"}, "unknown option '--bogus' (see zebo-morlix-trace --help)"},
        {r, {"-platform", "xcb"}, "unknown option '-platform' (see zebo-morlix-render --help)"},
        {r, {"--keys"}, "'--keys' needs a value (see zebo-morlix-render --help)"},
        {t, {"--keys", "x", "-trace"}, "'-trace' needs a value (see zebo-morlix-trace --help)"},
        {r, {"--sweep=1"}, "'--sweep' takes no value (see zebo-morlix-render --help)"},
        {r, {"--sweep="}, "'--sweep' takes no value (see zebo-morlix-render --help)"},
        {t, {"-h=x"}, "'-h' takes no value (see zebo-morlix-trace --help)"},
        {r, {"extra"}, "unexpected argument 'extra' (see zebo-morlix-render --help)"},
        {r, {"--keys", "x", "--keys-file", "f"}, "give the script with --keys or with --keys-file, not both"},
        {r, {"--keys-file=", "--keys", "x"}, "give the script with --keys or with --keys-file, not both"},
        {t, {"--keys-file="}, "--keys-file needs a file name, or - for standard input"},
        {r, {"--trace="}, "--trace needs a file name, or - for standard output"},
        {r, {"--png="}, "--png needs a file name, or - for standard output"},
        {t, {"--svg="}, "--svg needs a file name, or - for standard output"},
        {r, {"--pdf="}, "--pdf needs a file name, or - for standard output"},
        {t, {"--csv="}, "--csv needs a file name, or - for standard output"},
        {r, {"--frames="}, "--frames needs a folder"},
        {r, {"--size", "10"}, "--size '10' is out of range: give WxH with W and H from 1 to 8192"},
        {t, {"--size=0x0"}, "--size '0x0' is out of range: give WxH with W and H from 1 to 8192"},
        {r, {"--size", "1x8193"}, "--size '1x8193' is out of range: give WxH with W and H from 1 to 8192"},
        {r,
         {"--size", "100000x1"},
         "--size '100000x1' is out of range: give WxH with W and H from 1 to 8192"},
        {r, {"--size", "+1x1"}, "--size '+1x1' is out of range: give WxH with W and H from 1 to 8192"},
        {r, {"--size", "1x1x1"}, "--size '1x1x1' is out of range: give WxH with W and H from 1 to 8192"},
        {r, {"--scale", "0"}, "--scale '0' is out of range: give a number from 0.25 to 8"},
        {r, {"--scale", "abc"}, "--scale 'abc' is out of range: give a number from 0.25 to 8"},
        {r, {"--scale", "2x"}, "--scale '2x' is out of range: give a number from 0.25 to 8"},
        {r, {"--scale", "inf"}, "--scale 'inf' is out of range: give a number from 0.25 to 8"},
        {r, {"--scale", "nan"}, "--scale 'nan' is out of range: give a number from 0.25 to 8"},
        {r, {"--scale="}, "--scale '' is out of range: give a number from 0.25 to 8"},
        {r, {"--scale", "8.01"}, "--scale '8.01' is out of range: give a number from 0.25 to 8"},
        {r,
         {"--size", "8192x8192", "--scale", "1.01"},
         "--size and --scale give a picture of more than 64 million pixels"},
        {t, {"--size", "8192x8192", "--keys", "x"}, "accepted"},
        // The first error in the order of the arguments is the one told.
        {r, {"--keys", "x", "--bogus", "--png"}, "unknown option '--bogus' (see zebo-morlix-render --help)"},
        {r, {"--sweep=1", "--bogus"}, "'--sweep' takes no value (see zebo-morlix-render --help)"},
        // Errors in the arguments come before help, which comes before the rest.
        {r,
         {"-h", "--bogus-after-help"},
         "unknown option '--bogus-after-help' (see zebo-morlix-render --help)"},
        {t,
         {"--help", "--png", "x"},
         "--png is for pictures that zebo-morlix-trace does not make: use "
         "zebo-morlix-render"},
        // Then arguments, then repeats, then the values in the order of the table.
        {r,
         {"extra", "--keys", "a", "--keys", "b"},
         "unexpected argument 'extra' (see zebo-morlix-render --help)"},
        {r,
         {"--scale", "0", "--size", "0x0"},
         "--size '0x0' is out of range: give WxH with W and H from 1 to 8192"},
        {r, {"--frames=", "--trace="}, "--trace needs a file name, or - for standard output"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(refusal(c.p, c.args), c.message) << cli::programName(c.p) << " " << joined(c.args);
    }
}

TEST(CommandLine, TheTraceProgramRefusesTheRendererPictures) {
    for (const char* opt : {"png", "pdf", "frames", "scale"}) {
        const std::string message =
            std::string("--") + opt +
            " is for pictures that zebo-morlix-trace does not make: use zebo-morlix-render";
        EXPECT_EQ(refusal(Program::trace, {std::string("--") + opt, "1"}), message);
        EXPECT_EQ(refusal(Program::trace, {std::string("-") + opt + "=x", "--keys", "x"}), message);
        // Whether the option has its value is told first, as for any option.
        EXPECT_EQ(refusal(Program::trace, {std::string("--") + opt}),
                  std::string("'--") + opt + "' needs a value (see zebo-morlix-trace --help)");
        EXPECT_EQ(refusal(Program::render, {std::string("--") + opt, "1"}), "accepted");
    }
}

// The rows of the help's option list: "  -h, --help  ..." is {"h", "help"}
// with no value; "  --size WxH  ..." is {"size"} with the value WxH.
struct HelpRow {
    std::vector<std::string> names;
    std::string value;
};

// The help's rows of options, whose help starts in one column: two spaces, the
// label in width columns, two spaces; a longer label stands alone on its line,
// above its help.
std::vector<HelpRow> helpRows(const std::string& help, std::size_t width = 16) {
    std::vector<HelpRow> rows;
    const std::size_t start = help.find("\nOptions:\n");
    EXPECT_NE(start, std::string::npos);
    const std::size_t column = width + 4;
    std::size_t at = start + 10;
    while (at < help.size()) {
        const std::size_t nl = help.find('\n', at);
        const std::string line = help.substr(at, nl - at);
        at = nl + 1;
        if (line.empty()) {
            break;
        }
        if (line.compare(0, 3, "  -") != 0) {
            continue; // a continuation, or the rules under the list
        }
        std::string label;
        if (line.size() > column && line.compare(width + 2, 2, "  ") == 0) {
            EXPECT_NE(line[column], ' ') << line;
            label = line.substr(2, width);
            label.erase(label.find_last_not_of(' ') + 1);
        } else {
            label = line.substr(2);
            EXPECT_GT(label.size(), width) << line;
            const std::string next = help.substr(at, help.find('\n', at) - at);
            EXPECT_EQ(next.find_first_not_of(' '), column) << line << "\n" << next;
        }
        HelpRow row;
        std::size_t i = 0;
        while (i < label.size()) {
            const std::size_t end = std::min(label.find(' ', i), label.size());
            std::string word = label.substr(i, end - i);
            i = end + 1;
            if (word.back() == ',') {
                word.pop_back();
            }
            if (word[0] == '-') {
                row.names.push_back(word.substr(word.find_first_not_of('-')));
            } else {
                row.value = word;
            }
        }
        rows.push_back(row);
    }
    return rows;
}

TEST(CommandLine, EachHelpListsExactlyTheOptionsItsProgramTakes) {
    for (const Program p : {Program::render, Program::trace, Program::window}) {
        const std::string help = cli::helpText(p);
        std::set<std::string> listed;
        for (const HelpRow& row : helpRows(help, p == Program::window ? 17 : 16)) {
            for (const std::string& name : row.names) {
                EXPECT_TRUE(listed.insert(name).second) << name << " listed twice";
                // What the help shows is what the parser reads: a name it knows,
                // with a value exactly when the help shows one.
                const std::string alone = refusal(p, {"--" + name});
                const bool needsValue = alone.find("needs a value") != std::string::npos;
                EXPECT_EQ(alone.find("unknown option"), std::string::npos) << name;
                EXPECT_EQ(alone.find("does not make"), std::string::npos) << name;
                EXPECT_EQ(needsValue, !row.value.empty()) << cli::programName(p) << " --" << name;
            }
        }
        std::set<std::string> taken;
        for (const cli::Option& opt : cli::optionTable()) {
            if (opt.takenBy(p)) {
                taken.insert(std::string(opt.name));
                if (!opt.shortName.empty()) {
                    taken.insert(std::string(opt.shortName));
                }
            } else {
                EXPECT_EQ(help.find("--" + std::string(opt.name) + " "), std::string::npos) << opt.name;
            }
        }
        EXPECT_EQ(listed, taken) << cli::programName(p);
        EXPECT_EQ(help.compare(0, 7, "Usage: "), 0);
        EXPECT_NE(help.find(std::string("Usage: ") + cli::programName(p) + " [options]\n"),
                  std::string::npos);
    }
    // The renderer's list is the trace program's and its own pictures; the
    // window's is the mechanism, help, version and Qt's display and platform.
    EXPECT_EQ(helpRows(cli::helpText(Program::render)).size(), 18u);
    EXPECT_EQ(helpRows(cli::helpText(Program::trace)).size(), 14u);
    EXPECT_EQ(helpRows(cli::helpText(Program::window), 17).size(), 8u);
    EXPECT_EQ(cli::outputList(Program::render), "--trace, --png, --svg, --pdf, --csv, --events or --frames");
    EXPECT_EQ(cli::outputList(Program::trace), "--trace, --svg, --csv or --events");
    EXPECT_EQ(cli::versionText(Program::trace).rfind("zebo-morlix-trace ", 0), 0u);
}

// The whole program, for what it prints and the status it returns.
struct Ran {
    int status;
    std::string out;
    std::string err;
};

Ran runMain(Program p, Args args) {
    args.insert(args.begin(), cli::programName(p));
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = cli::main(p, static_cast<int>(args.size()), argv.data());
    std::fflush(stdout);
    Ran r{status, testing::internal::GetCapturedStdout(), ""};
    r.err = testing::internal::GetCapturedStderr();
    return r;
}

TEST(CommandLine, TheProgramTellsARefusalOnOneLineWithStatusTwo) {
    struct Case {
        Program p;
        Args args;
        const char* err;
    };
    const Case cases[] = {
        {Program::render,
         {"--bogus"},
         "zebo-morlix-render: unknown option '--bogus' (see zebo-morlix-render --help)\n"},
        {Program::trace,
         {"--keys"},
         "zebo-morlix-trace: '--keys' needs a value (see zebo-morlix-trace --help)\n"},
        {Program::trace,
         {"--sweep=1"},
         "zebo-morlix-trace: '--sweep' takes no value (see zebo-morlix-trace --help)\n"},
        {Program::render,
         {"--keys", "x"},
         "zebo-morlix-render: nothing to write: give --trace, --png, --svg, --pdf, --csv, --events or "
         "--frames "
         "(see "
         "zebo-morlix-render --help)\n"},
        {Program::trace,
         {},
         "zebo-morlix-trace: nothing to write: give --trace, --svg, --csv or --events (see "
         "zebo-morlix-trace --help)\n"},
        // The script is read before the outputs are looked at.
        {Program::trace, {"--keys", "frob"}, nullptr},
        {Program::trace,
         {"--keys-file", "/nonexistent/keys"},
         "zebo-morlix-trace: cannot read --keys-file '/nonexistent/keys': No such file or directory\n"},
    };
    for (const Case& c : cases) {
        const Ran r = runMain(c.p, c.args);
        EXPECT_EQ(r.status, 2) << joined(c.args);
        EXPECT_EQ(r.out, "") << joined(c.args);
        if (c.err != nullptr) {
            EXPECT_EQ(r.err, c.err);
        } else {
            EXPECT_EQ(r.err.find("nothing to write"), std::string::npos) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
    }
    for (const Program p : {Program::render, Program::trace}) {
        const Ran help = runMain(p, {"-h"});
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out, cli::helpText(p));
        EXPECT_EQ(help.err, "");
        const Ran version = runMain(p, {"--version"});
        EXPECT_EQ(version.status, 0);
        EXPECT_EQ(version.out, cli::versionText(p));
    }
}

TEST(CommandLine, ReadsTheScriptFromAFile) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("zm-test-cli-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    const std::string bom = (dir / "bom.keys").string();
    std::ofstream(bom, std::ios::binary) << "\xEF\xBB\xBFx\ntab x*2\n";
    Options o = parse(Program::trace, {"--keys-file", bom});
    const std::vector<script::Step> fromFile = cli::readSteps(o, script::builtInPumpsPerFrame);
    const std::vector<script::Step> inline_ =
        cli::readSteps(parse(Program::trace, {"--keys", "x tab x*2"}), script::builtInPumpsPerFrame);
    ASSERT_EQ(fromFile.size(), inline_.size());
    for (std::size_t i = 0; i < fromFile.size(); ++i) {
        EXPECT_EQ(fromFile[i].code, inline_[i].code);
    }
    o.sweep = true;
    EXPECT_EQ(cli::readSteps(o, script::builtInPumpsPerFrame).size(), inline_.size() + 1); // x*62
    try {
        cli::readSteps(parse(Program::trace, {"--keys-file", dir.string()}), script::builtInPumpsPerFrame);
        ADD_FAILURE() << "a folder was read as a script";
    } catch (const cli::UsageError& e) {
        EXPECT_EQ(std::string(e.what()), "cannot read --keys-file '" + dir.string() + "': Is a directory");
    }
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace zm::test
