// Every argument the program itself passes to sine, cosine and arctangent, over
// the whole sweep with the overlays and over a script of tenths of a step, is
// rounded correctly. This test compiles the program with ZM_CR_RECORD, which
// hands each argument to record() below.
#include "MathCheck.h"
#include "picture/RecordingSurface.h"
#include "script/ScriptHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

namespace zm::cr::detail {

namespace {
std::set<double>* recorded[3] = {};
}

void record(int function, double x) {
    if (recorded[function] != nullptr) {
        recorded[function]->insert(x);
    }
}

} // namespace zm::cr::detail

namespace zm::test {
namespace {

struct Arguments {
    std::set<double> of[3];
};

Arguments play(const std::string& script, bool sweep) {
    Arguments args;
    for (int f = 0; f < 3; ++f) {
        cr::detail::recorded[f] = &args.of[f];
    }
    std::vector<script::Step> steps = script::parseScript(script);
    if (sweep) {
        script::appendSweep(steps);
    }
    picture::RecordingSurface rec;
    script::ScriptHost host(std::move(steps), &rec);
    Form1 form(rec, host);
    host.attach(form);
    host.play();
    for (int f = 0; f < 3; ++f) {
        cr::detail::recorded[f] = nullptr;
    }
    return args;
}

// How many of the arguments the platform's own function misrounds (reported,
// not a failure: it is why the program has its own).
long long platformMisroundings(Fn f, const std::set<double>& xs) {
    long long n = 0;
    for (double x : xs) {
        const double p = f == Fn::sin ? std::sin(x) : f == Fn::cos ? std::cos(x) : std::atan(x);
        n += sameBits(p, correct(f, x)) ? 0 : 1;
    }
    return n;
}

void checkScript(const std::string& script, bool sweep) {
    const Arguments args = play(script, sweep);
    for (Fn f : {Fn::sin, Fn::cos, Fn::atan}) {
        const std::set<double>& s = args.of[static_cast<int>(f)];
        EXPECT_FALSE(s.empty()) << name(f);
        const Tally t = checkAll(f, std::vector<double>(s.begin(), s.end()));
        EXPECT_EQ(t.wrong, 0) << name(f) << t.firstWrong;
        EXPECT_EQ(t.outsideBound, 0) << name(f) << t.firstOutside;
        std::printf("%s: %lld distinct arguments, the platform misrounds %lld\n", name(f), t.checked,
                    platformMisroundings(f, s));
    }
}

TEST(CorrectlyRoundedInTheProgram, TheWholeSweepWithTheOverlays) {
    checkScript("backspace", true);
}

TEST(CorrectlyRoundedInTheProgram, TenthsOfAStepWithTheOverlays) {
    checkScript("backspace enter enter enter tab tab enter enter enter enter enter enter", false);
}

} // namespace
} // namespace zm::test
