#include "Harness.h"
#include "script/KeyScript.h"

#include <gtest/gtest.h>

namespace zm::test {
namespace {

using script::parseScript;
using script::ScriptError;
using script::Step;

TEST(Script, ParsesKeysNamesCodesAndTimes) {
    const auto steps = parseScript("  x , / space\tenter\ntab backspace comma slash esc #0 #65535 dblclick @ "
                                   "x@3.601 @@1.2 #7@12.1");
    std::vector<int> codes;
    for (const Step& s : steps) {
        codes.push_back(s.kind == Step::Kind::dblclick ? -1 : s.code);
    }
    EXPECT_EQ(codes, (std::vector<int>{120, 44, 47, 32, 13, 9, 8, 44, 47, 27, 0, 65535, -1, 64, 120, 64, 7}));
    EXPECT_FALSE(steps[0].timed);
    EXPECT_TRUE(steps[14].timed);
    EXPECT_EQ(steps[14].frame, 3);
    EXPECT_EQ(steps[14].pump, 601);
    EXPECT_EQ(steps[16].frame, 12);
    EXPECT_EQ(steps[16].pump, 1);
    EXPECT_TRUE(parseScript("").empty());
    EXPECT_TRUE(parseScript(" \n\t ").empty());
}

TEST(Script, RejectsMalformedSteps) {
    for (const char* bad : {"xx",       "Space",        "#70000",
                            "#-1",      "#1x",          "x@0.1",
                            "x@1.0",    "x@1.602",      "x@",
                            "x@1",      "x@1.",         "x@.5",
                            "x@a.b",    "x@1.5.5",      "foo@1.1",
                            "\xe9",     "\xc3",         "\xc3\xa9\xc3\xa9",
                            "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80",
                            "\xe2\x82"}) {
        EXPECT_THROW(parseScript(bad), ScriptError) << bad;
    }
    try {
        parseScript("x #70000");
        FAIL();
    } catch (const ScriptError& e) {
        EXPECT_NE(std::string(e.what()).find("#70000"), std::string::npos);
    }
}

TEST(Script, AKeyIsOneCharacterInAnyScript) {
    // What the window delivers for the same typed character: itself, or U+FFFD
    // beyond 16 bits (one press, a plain step).
    std::vector<int> codes;
    for (const Step& s : parseScript("\xc3\xa9 \xe4\xb8\xad \xf0\x9f\x98\x80 \xef\xbf\xbf \xc2\x80@2.7")) {
        codes.push_back(s.code);
    }
    EXPECT_EQ(codes, (std::vector<int>{0xE9, 0x4E2D, 0xFFFD, 0xFFFF, 0x80}));
    // An emoji steps a frame like any plain key.
    Replay emoji("\xf0\x9f\x98\x80");
    Replay plain("x");
    EXPECT_EQ(emoji.frameK, plain.frameK);
}

TEST(Script, AWrittenKeyReadsBackAsTheSameStep) {
    Step click;
    click.kind = Step::Kind::dblclick;
    EXPECT_EQ(parseScript(script::scriptKey(click)).front().kind, Step::Kind::dblclick);
    for (int code = 0; code <= 0xFFFF; ++code) {
        Step s;
        s.code = static_cast<std::uint16_t>(code);
        const std::vector<Step> back = parseScript(script::scriptKey(s));
        ASSERT_EQ(back.size(), 1u) << code;
        ASSERT_EQ(back.front().code, code) << script::scriptKey(s);
    }
}

TEST(Script, ARepeatIsThatManyPlainStepsInOneStep) {
    const auto steps = parseScript("x*3 **2 dblclick*2 #7*1000000 y*1");
    ASSERT_EQ(steps.size(), 5u);
    EXPECT_EQ(steps[0].code, 'x');
    EXPECT_EQ(steps[0].count, 3u);
    EXPECT_EQ(steps[1].code, '*'); // '*' first is the key itself
    EXPECT_EQ(steps[1].count, 2u);
    EXPECT_EQ(steps[2].kind, Step::Kind::dblclick);
    EXPECT_EQ(steps[3].count, 1000000u);
    EXPECT_EQ(steps[4], parseScript("y").front());
    EXPECT_EQ(script::countSteps(steps), 3u + 2 + 2 + 1000000 + 1);
    // Written back, every step reads as itself, time and count included.
    for (const char* script : {"x*3", "**2", "dblclick*2", "#7*1000000", "space*12", "x@3.601", "@@1.2"}) {
        const Step s = parseScript(script).front();
        EXPECT_EQ(parseScript(script::stepText(s)), std::vector<Step>{s}) << script;
    }
}

TEST(Script, ARepeatPlaysAsTheStepsWrittenOut) {
    Replay run("backspace x*3 tab x*2");
    Replay written("backspace x x x tab x x");
    EXPECT_EQ(run.rec.ops, written.rec.ops);
    EXPECT_EQ(run.frameK, written.frameK);
    EXPECT_EQ(run.frameK.size(), 8u); // a wait before each of the 7 steps, and the last
}

TEST(Script, ABadRepeatIsRefusedNamingTheStep) {
    for (const char* bad : {"x*0", "x*1000001", "x*", "x*-1", "x*+2", "x*a", "x**2", "x*2*2", "x* 3", "foo*2",
                            "x*99999999999999999999"}) {
        EXPECT_THROW(parseScript(bad), ScriptError) << bad;
    }
    for (const char* timed : {"x@1.5*3", "x*3@1.5", "x@1.5*1"}) {
        try {
            parseScript(timed);
            ADD_FAILURE() << timed;
        } catch (const ScriptError& e) {
            EXPECT_EQ(std::string(e.what()), "step '" + std::string(timed) +
                                                 "': a step with a time cannot be repeated; write the timed "
                                                 "step once");
        }
    }
}

// The page reads links without exceptions: its reader must take and refuse the
// same scripts as the one that throws, with the same message, and keep nothing
// of a script it refuses.
TEST(Script, TheReaderWithoutExceptionsAgreesWithTheParser) {
    for (const char* script :
         {"", "x comma*3 esc@2.601 dblclick #65535 \xc3\xa9", "x foo", "x #70000 y", "x@0.5", "x@1.602",
          "x@1.5*3", "x*0", "x y*1000001 z", "x@1.", "**2 *@ @@1.1"}) {
        std::string error = "stale";
        const std::vector<Step> read = script::readScript(script, error);
        try {
            EXPECT_EQ(read, parseScript(script)) << script;
            EXPECT_EQ(error, "") << script;
        } catch (const ScriptError& e) {
            EXPECT_EQ(error, e.what()) << script;
            EXPECT_TRUE(read.empty()) << script;
        }
    }
}

std::string errorOf(const std::string& script) {
    try {
        Replay run(script);
    } catch (const ScriptError& e) {
        return e.what();
    }
    return "";
}

TEST(Script, StepsThatCannotBePlayedAreErrors) {
    EXPECT_NE(errorOf("x@1.300 y@1.200").find("'y@1.200'"), std::string::npos);
    EXPECT_NE(errorOf("x y@1.5").find("has passed"), std::string::npos);
    EXPECT_EQ(errorOf("x@2.5"),
              "step 'x@2.5' can never be reached: the program waits for a key after frame 1");
    EXPECT_NE(errorOf("esc x").find("left over"), std::string::npos);
    EXPECT_NE(errorOf("esc@1.5 x@1.5").find("'x@1.5'"), std::string::npos);
    EXPECT_EQ(errorOf("x@1.5 x@1.5 y"), ""); // two steps at one pump, in order
}

TEST(Script, LeftOverStepsAreNamedBriefly) {
    std::string many = "esc";
    for (int i = 0; i < 5000; ++i) {
        many += " #" + std::to_string(i);
    }
    EXPECT_EQ(errorOf(many), "steps left over after the program ended: '#0' '#1' '#2' and 4997 more");
    // A run is named once, with what is left of it.
    EXPECT_EQ(errorOf("esc x*5 y z w*7"),
              "steps left over after the program ended: 'x*5' 'y' 'z' and 7 more");
    EXPECT_EQ(errorOf("x*2 esc x*9"), "steps left over after the program ended: 'x*9'");
}

TEST(Script, StepsInMessagesNeverCarryRawControlBytes) {
    EXPECT_EQ(errorOf("\x1b[31mRED"), "unknown step ''$'\\033''[31mRED'");
    EXPECT_EQ(errorOf(std::string("x\0x", 3)), "unknown step 'x'$'\\000''x'");
}

TEST(Script, StepsAddedForTheUserAreDroppedQuietlyAtTheEnd) {
    auto steps = parseScript("esc x");
    steps[1].optional = true;
    picture::RecordingSurface rec;
    script::ScriptHost host(steps, &rec);
    Form1 form(rec, host);
    host.attach(form);
    EXPECT_TRUE(host.play());
    steps.push_back(parseScript("y").front());
    script::ScriptHost host2(steps, &rec);
    Form1 form2(rec, host2);
    host2.attach(form2);
    EXPECT_THROW(host2.play(), ScriptError);
}

} // namespace
} // namespace zm::test
