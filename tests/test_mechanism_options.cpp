// The mechanism on the command line: the options read into the mechanism, each
// refusal with its line, the profile file under the input rules, the pumps of a
// longer profile's frame, and the valve events a run writes.

#include "cli/MechanismOptions.h"
#include "cli/Options.h"
#include "cli/ScriptFile.h"
#include "math/ReadDouble.h"
#include "picture/RecordingSurface.h"
#include "profiles/ProfileText.h"
#include "script/KeyScript.h"
#include "script/ScriptHost.h"
#include "window/Form1.h"
#include "window/ValveEvents.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace zm::test {
namespace {

using cli::Options;
using cli::Program;
using Args = std::vector<std::string>;

// The message of a refused command line or mechanism, or "accepted".
std::string refusal(Program p, const Args& args) {
    try {
        cli::mechanismOf(cli::parseArguments(p, args));
        return "accepted";
    } catch (const cli::UsageError& e) {
        return e.what();
    }
}

// A folder of the test's own, removed after it.
struct Folder {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("zm-test-mechanism-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    Folder() { std::filesystem::create_directories(path); }
    ~Folder() { std::filesystem::remove_all(path); }
    std::string file(const std::string& name, const std::string& text) const {
        const std::string f = (path / name).string();
        std::ofstream(f, std::ios::binary) << text;
        return f;
    }
};

TEST(MechanismOptions, ReadTheMechanismIntoTheOptions) {
    for (const Program p : {Program::render, Program::trace, Program::window}) {
        const Options o = cli::parseArguments(p, {"--linkage", "31.5,7,25,28", "--slider-crank=30,110.5",
                                                  "--checking-lift", "0.25", "--profile", "lift.csv"});
        EXPECT_EQ(o.mechanism.linkage.ground, 31.5);
        EXPECT_EQ(o.mechanism.linkage.crank, 7);
        EXPECT_EQ(o.mechanism.linkage.coupler, 25);
        EXPECT_EQ(o.mechanism.linkage.rocker, 28);
        EXPECT_EQ(o.mechanism.sliderCrank.radius, 30);
        EXPECT_EQ(o.mechanism.sliderCrank.rod, 110.5);
        ASSERT_TRUE(o.mechanism.checkingLift.has_value());
        EXPECT_EQ(*o.mechanism.checkingLift, 0.25);
        EXPECT_EQ(o.profile, "lift.csv");
    }
    // Without the options, the built-in mechanism, prepared as Form1 would.
    const Options none = cli::parseArguments(Program::trace, {});
    EXPECT_TRUE(none.profile.empty());
    EXPECT_FALSE(none.mechanism.checkingLift.has_value());
    const Mechanism m = cli::mechanismOf(none);
    const LiftProfile builtIn = LiftProfile::builtIn();
    EXPECT_EQ(m.profile.angle, builtIn.angle);
    EXPECT_EQ(m.profile.second, builtIn.second);
    EXPECT_EQ(m.linkage.ground, Linkage{}.ground);
}

TEST(MechanismOptions, EachRefusalSaysWhatToChange) {
    struct Case {
        Args args;
        const char* message;
    };
    const Case cases[] = {
        // Values that are not the numbers they must be.
        {{"--linkage", "1,2"}, "--linkage wants four lengths GROUND,CRANK,COUPLER,ROCKER, not '1,2'"},
        {{"--linkage", "1,2,3,4,5"},
         "--linkage wants four lengths GROUND,CRANK,COUPLER,ROCKER, not '1,2,3,4,5'"},
        {{"--linkage", "31.5,,25,31"},
         "--linkage wants four lengths GROUND,CRANK,COUPLER,ROCKER, not '31.5,,25,31'"},
        {{"--linkage", "31.5,7,25,31,"},
         "--linkage wants four lengths GROUND,CRANK,COUPLER,ROCKER, not '31.5,7,25,31,'"},
        {{"--linkage="}, "--linkage wants four lengths GROUND,CRANK,COUPLER,ROCKER, not ''"},
        {{"--slider-crank", "30"}, "--slider-crank wants two lengths RADIUS,ROD, not '30'"},
        {{"--slider-crank", "30;110"}, "--slider-crank wants two lengths RADIUS,ROD, not '30;110'"},
        {{"--checking-lift", "abc"}, "--checking-lift wants a lift, one number, not 'abc'"},
        {{"--checking-lift", "1,2"}, "--checking-lift wants a lift, one number, not '1,2'"},
        {{"--profile="}, "--profile needs a file name, or - for standard input"},
        {{"--keys-file", "-", "--profile", "-"},
         "--keys-file and --profile cannot both read standard input: give one of them a file"},
        {{"--linkage", "1,2,3,4", "--linkage", "1,2,3,4"}, "option --linkage is given more than once"},
        // Numbers the mechanism cannot use: the option, then the mechanism's words.
        {{"--linkage", "31.5,-7,25,31"},
         "--linkage: the linkage's crank must be a positive finite length, not -7"},
        {{"--linkage", "0,7,25,31"},
         "--linkage: the linkage's ground must be a positive finite length, not 0"},
        {{"--linkage", "31.5,40,25,31"},
         "--linkage: the crank (40) must be shorter than the ground (31.5) to turn all the way round; the "
         "linkage cannot follow it at crank angle 38\xc2\xb0"},
        {{"--linkage", "31.5,7,25,60"},
         "--linkage: the rocker (60) is too long for the coupler (25) to meet it across ground - crank (31.5 "
         "- "
         "7) at crank angle 0\xc2\xb0; make the rocker shorter than coupler + ground - crank"},
        {{"--slider-crank", "0,100"},
         "--slider-crank: the slider-crank's radius must be a positive finite length, not 0"},
        {{"--slider-crank", "30,20"},
         "--slider-crank: the slider-crank's rod (20) must be longer than its radius (30)"},
        {{"--checking-lift", "0"},
         "--checking-lift: the checking lift must be a positive finite lift, not 0"},
        {{"--checking-lift", "-1"},
         "--checking-lift: the checking lift must be a positive finite lift, not -1"},
        // The linkage is checked before the slider-crank, both before the lift.
        {{"--checking-lift", "0", "--slider-crank", "30,20", "--linkage", "31.5,-7,25,31"},
         "--linkage: the linkage's crank must be a positive finite length, not -7"},
        // A mechanism that can be used.
        {{"--linkage", "31.5,7,25,28", "--slider-crank", "30,110", "--checking-lift", "1e-3"}, "accepted"},
    };
    for (const Case& c : cases) {
        for (const Program p : {Program::render, Program::trace, Program::window}) {
            if (p == Program::window && c.args.front() == "--keys-file") {
                continue;
            }
            EXPECT_EQ(refusal(p, c.args), c.message) << cli::programName(p) << " " << c.args.front();
        }
    }
    // The window takes the mechanism but plays no script and writes nothing;
    // the renderer and the trace program know nothing of Qt's options.
    EXPECT_EQ(refusal(Program::window, {"--trace", "-"}),
              "unknown option '--trace' (see zebo-morlix --help)");
    EXPECT_EQ(refusal(Program::window, {"--keys", "x"}), "unknown option '--keys' (see zebo-morlix --help)");
    EXPECT_EQ(refusal(Program::window, {"--png", "p.png"}),
              "unknown option '--png' (see zebo-morlix --help)");
    EXPECT_EQ(refusal(Program::trace, {"-display", ":1"}),
              "unknown option '-display' (see zebo-morlix-trace --help)");
    const Options w =
        cli::parseArguments(Program::window, {"-platform", "xcb", "--display=:3", "--linkage=1,2,3,4"});
    EXPECT_EQ(w.qtArguments, (Args{"-display", ":3", "-platform", "xcb"}));
}

TEST(MechanismOptions, ReadTheProfileUnderTheInputRules) {
    const Folder dir;
    const std::string folder = dir.path.string();
    EXPECT_EQ(refusal(Program::trace, {"--profile", folder}),
              "cannot read --profile '" + folder + "': Is a directory");
    const std::string missing = (dir.path / "none.csv").string();
    EXPECT_EQ(refusal(Program::render, {"--profile", missing}),
              "cannot read --profile '" + missing + "': No such file or directory");
    // Over the limit: refused by its size, before a byte is read.
    const std::string big = dir.file("big.csv", "");
    std::filesystem::resize_file(big, maxProfileTextBytes + 1);
    EXPECT_EQ(refusal(Program::window, {"--profile", big}),
              "the profile '" + big + "' is over 64 MiB: give at most 100000 rows");
    // A row that does not read is named with the file it is in.
    const std::string bad = dir.file("bad.csv", "angle,lift\n10,0\n5,x\n0,0\n");
    EXPECT_EQ(refusal(Program::trace, {"--profile", bad}).rfind("--profile '" + bad + "': ", 0), 0u);
    // Rows that read, rising, are drawn falling; the second profile is worked
    // out for them.
    const std::string rising = dir.file("rising.csv", "# a triangle\n-40,0\n-20,2\n0,4\n20,2\n40,0\n");
    const Mechanism m = cli::mechanismOf(cli::parseArguments(Program::trace, {"--profile", rising}));
    EXPECT_EQ(m.profile.angle, (std::vector<double>{40, 20, 0, -20, -40}));
    EXPECT_EQ(m.profile.lift, (std::vector<double>{0, 2, 4, 2, 0}));
    EXPECT_EQ(m.profile.second.size(), 5u);
    // Three rows of one angle: the profile's own fault, named with the file.
    const std::string same = dir.file("same.csv", "10,0\n10,1\n0,0\n");
    EXPECT_EQ(refusal(Program::trace, {"--profile", same}).rfind("--profile '" + same + "': ", 0), 0u);
}

TEST(MechanismOptions, ATimedStepReachesEveryPumpOfALongerProfilesFrame) {
    const int pumps = script::pumpsPerFrame(300);
    ASSERT_EQ(pumps, 901);
    const Options o = cli::parseArguments(Program::trace, {"--keys", "x@1.300 x@1.901"});
    EXPECT_EQ(cli::readSteps(o, pumps).size(), 2u);
    try {
        cli::readSteps(cli::parseArguments(Program::trace, {"--keys", "x@1.902"}), pumps);
        ADD_FAILURE() << "a pump beyond the frame was taken";
    } catch (const script::ScriptError& e) {
        EXPECT_EQ(std::string(e.what()), "step 'x@1.902': the event pump of a frame must be 1 to 901");
    } catch (const cli::UsageError& e) {
        EXPECT_EQ(std::string(e.what()), "step 'x@1.902': the event pump of a frame must be 1 to 901");
    }
    // The built-in frame's 601 pumps stay the limit without a profile.
    EXPECT_THROW(cli::readSteps(cli::parseArguments(Program::trace, {"--keys", "x@1.602"}),
                                script::builtInPumpsPerFrame),
                 std::exception);
}

// The program played with a mechanism and a script, as a run plays it.
struct Played {
    picture::RecordingSurface rec;
    std::unique_ptr<script::ScriptHost> host;
    std::unique_ptr<Form1> form;
    Played(const Mechanism& m, const std::string& keys) {
        const int pumps = script::pumpsPerFrame(static_cast<int>(m.profile.rows()));
        host = std::make_unique<script::ScriptHost>(script::parseScript(keys, {}, pumps), &rec);
        form = std::make_unique<Form1>(rec, *host, m);
        host->attach(*form);
        host->play();
    }
    std::string csv() const { return eventsCsv(form->firstProfileEvent(), form->frameEvents()); }
};

// The rows of a CSV, each split at its commas.
std::vector<std::vector<std::string>> rows(const std::string& csv) {
    std::vector<std::vector<std::string>> out;
    std::size_t at = 0;
    while (at < csv.size()) {
        const std::size_t nl = csv.find('\n', at);
        const std::string line = csv.substr(at, nl - at);
        at = nl == std::string::npos ? csv.size() : nl + 1;
        std::vector<std::string> cells;
        std::size_t from = 0;
        for (std::size_t comma; (comma = line.find(',', from)) != std::string::npos; from = comma + 1) {
            cells.push_back(line.substr(from, comma - from));
        }
        cells.push_back(line.substr(from));
        out.push_back(cells);
    }
    return out;
}

double value(const std::string& cell) {
    double v = 0;
    EXPECT_TRUE(cr::readDouble(cell, v)) << cell;
    return v;
}

// A triangle of five rows, 20 degrees apart, lift 0 to 4 and back, with the
// built-in linkage. The first profile is drawn at x = 65 + angle: the points
// (105, 0) (85, 2) (65, 4) (45, 2) (25, 0). At a checking lift L the valve
// opens on the first side at 105 - 20 L / 2 and closes on the last at
// 45 - 20 (2 - L) / 2.
TEST(MechanismOptions, TheEventsOfASmallProfileAreTheHandWorkedOnes) {
    Mechanism m;
    m.profile.angle = {40, 20, 0, -20, -40};
    m.profile.lift = {0, 2, 4, 2, 0};
    m.profile.second.clear();
    ASSERT_EQ(prepareMechanism(m), "");

    // At the lift 1: opens at 95, closes at 35, 60 apart; all exact.
    Mechanism one = m;
    one.checkingLift = 1;
    const Played at1(one, "x tab");
    const auto r1 = rows(at1.csv());
    ASSERT_EQ(r1.size(), 7u); // the header, then two rows for each of three frames
    EXPECT_EQ(r1[0], (std::vector<std::string>{"frame", "k", "curve", "opens", "closes", "duration", "peak_x",
                                               "peak_lift"}));
    for (std::size_t f = 0; f < 3; ++f) {
        EXPECT_EQ(r1[1 + 2 * f], (std::vector<std::string>{std::to_string(f + 1), r1[1 + 2 * f][1],
                                                           "first profile", "95", "35", "60", "65", "4"}));
        EXPECT_EQ(r1[2 + 2 * f][2], "moving trace");
        EXPECT_EQ(r1[2 + 2 * f][1], r1[1 + 2 * f][1]); // one k for both rows of a frame
        // The moving trace has the first profile's lifts: its peak is the top row's.
        EXPECT_EQ(r1[2 + 2 * f][7], "4");
        const double opens = value(r1[2 + 2 * f][3]);
        const double closes = value(r1[2 + 2 * f][4]);
        EXPECT_EQ(value(r1[2 + 2 * f][5]), std::fabs(closes - opens));
    }
    // The frames' control angles: the first, a step on, a tenth of a step back.
    EXPECT_EQ(r1[1][1], "4.5");
    EXPECT_EQ(r1[3][1], "4.75");
    EXPECT_EQ(r1[5][1], "4.725");
    // At the first control angle the moving trace lies on the first profile.
    EXPECT_NEAR(value(r1[2][3]), 95, 1e-6);
    EXPECT_NEAR(value(r1[2][4]), 35, 1e-6);
    EXPECT_NEAR(value(r1[2][5]), 60, 1e-6);
    EXPECT_NEAR(value(r1[2][6]), 65, 1e-6);
    // A step on, the linkage shifts the trace: it opens elsewhere.
    EXPECT_GT(std::fabs(value(r1[4][3]) - 95), 1e-3);

    // The default checking lift is a tenth of the greatest: 0.4. Then it opens
    // at 105 - 4 = 101 and closes at 45 - 16 = 29, 72 apart.
    const Played byDefault(m, "");
    EXPECT_EQ(byDefault.form->checkingLift(), 0.4);
    const auto r = rows(byDefault.csv());
    ASSERT_EQ(r.size(), 3u);
    EXPECT_NEAR(value(r[1][3]), 101, 1e-12);
    EXPECT_NEAR(value(r[1][4]), 29, 1e-12);
    EXPECT_NEAR(value(r[1][5]), 72, 1e-12);
    EXPECT_NEAR(value(r[2][3]), 101, 1e-6);
    EXPECT_NEAR(value(r[2][4]), 29, 1e-6);

    // A checking lift above the top: the valve never opens, its cells empty.
    Mechanism high = m;
    high.checkingLift = 5;
    const auto rh = rows(Played(high, "").csv());
    ASSERT_EQ(rh.size(), 3u);
    EXPECT_EQ(rh[1], (std::vector<std::string>{"1", "4.5", "first profile", "", "", "", "65", "4"}));
    EXPECT_EQ(rh[2][3], "");
}

} // namespace
} // namespace zm::test
