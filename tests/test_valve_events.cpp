#include "Harness.h"
#include "window/ValveEvents.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace zm::test {
namespace {

ValveEvent eventOf(const std::vector<double>& x, const std::vector<double>& lift, double level) {
    return valveEvent(x.data(), lift.data(), x.size(), level);
}

// Worked by hand: a rise and a return over five points, x falling as the
// first profile's does, crossed at 7 on the way up and at 5 on the way down.
TEST(ValveEvents, OpensAndClosesBetweenTheRowsAroundTheCheckingLift) {
    const std::vector<double> x{10, 8, 6, 4, 2};
    const std::vector<double> lift{0, 2, 4, 2, 0};
    const ValveEvent e = eventOf(x, lift, 3);
    EXPECT_EQ(e.opens, 7);  // 8 + (3 - 2) * (6 - 8) / (4 - 2)
    EXPECT_EQ(e.closes, 5); // 6 + (3 - 4) * (4 - 6) / (2 - 4)
    EXPECT_EQ(e.duration, 2);
    EXPECT_EQ(e.peakX, 6);
    EXPECT_EQ(e.peakLift, 4);
}

TEST(ValveEvents, EdgesOfTheCurveAndLiftsThatNeverReach) {
    // Already open at the first point and still open at the last.
    ValveEvent e = eventOf({0, 1, 2}, {5, 6, 5}, 1);
    EXPECT_EQ(e.opens, 0);
    EXPECT_EQ(e.closes, 2);
    // The lift touches the checking lift exactly: it opens and closes there.
    e = eventOf({0, 1, 2}, {0, 1, 0}, 1);
    EXPECT_EQ(e.opens, 1);
    EXPECT_EQ(e.closes, 1);
    EXPECT_EQ(e.duration, 0);
    // Never reached: no event, but a peak.
    e = eventOf({0, 1, 2}, {0, 0.5, 0}, 1);
    EXPECT_TRUE(std::isnan(e.opens) && std::isnan(e.closes) && std::isnan(e.duration));
    EXPECT_EQ(e.peakLift, 0.5);
    // Two humps: opens at the first, closes at the last; the peak is the first of equals.
    e = eventOf({0, 1, 2, 3, 4}, {2, 0, 2, 0, 2}, 1);
    EXPECT_EQ(e.opens, 0);
    EXPECT_EQ(e.closes, 4);
    EXPECT_EQ(e.peakX, 0);
}

TEST(ValveEvents, CsvRowsWithEmptyFieldsForEventsThatDoNotHappen) {
    const ValveEvent first{1.5, -2, 3.5, 0.25, 10};
    const double none = std::nan("");
    const ValveEvent moving{none, none, none, 7, 0.5};
    EXPECT_EQ(eventsCsv(first, {{1, 4.5, moving}, {2, 4.75, first}}),
              "frame,k,curve,opens,closes,duration,peak_x,peak_lift\n"
              "1,4.5,first profile,1.5,-2,3.5,0.25,10\n"
              "1,4.5,moving trace,,,,7,0.5\n"
              "2,4.75,first profile,1.5,-2,3.5,0.25,10\n"
              "2,4.75,moving trace,1.5,-2,3.5,0.25,10\n");
}

// The built-in mechanism: the first profile peaks at 9.574539564 (x = 65), so
// the checking lift is a tenth of it; every frame that reaches its wait keeps
// the control angle there and the moving trace's events as drawn.
TEST(ValveEvents, EachFrameThatReachesItsWaitKeepsItsEvents) {
    Replay r("x , tab esc");
    const Form1& f = *r.form;
    EXPECT_EQ(f.checkingLift(), 9.574539564 / 10);
    EXPECT_EQ(f.firstProfileEvent().peakLift, 9.574539564);
    EXPECT_EQ(f.firstProfileEvent().peakX, 65);
    ASSERT_EQ(f.frameEvents().size(), r.frameK.size());
    for (std::size_t i = 0; i < r.frameK.size(); ++i) {
        EXPECT_EQ(f.frameEvents()[i].frame, static_cast<int>(i) + 1);
        EXPECT_EQ(f.frameEvents()[i].k, r.frameK[i]);
    }
    // At the first control angle the moving trace lies on the first profile,
    // to the stored column's precision.
    const ValveEvent& first = f.firstProfileEvent();
    const ValveEvent& moving = f.frameEvents()[0].movingTrace;
    EXPECT_NEAR(moving.opens, first.opens, 1e-3);
    EXPECT_NEAR(moving.closes, first.closes, 1e-3);
    // Further on in the sweep the linkage stretches the event.
    EXPECT_NE(f.frameEvents()[1].movingTrace.duration, first.duration);
}

TEST(ValveEvents, TheCheckingLiftCanBeSet) {
    Mechanism m;
    m.checkingLift = 5;
    Replay r("esc", m);
    EXPECT_EQ(r.form->checkingLift(), 5);
    EXPECT_GT(r.form->firstProfileEvent().opens, r.form->firstProfileEvent().closes);
}

// A profile of 300 rows, one degree apart: a frame pumps 901 times, and a timed
// step can name every pump of it.
Mechanism longProfile() {
    Mechanism m;
    m.profile = {};
    const double pi = 4 * std::atan(1.0);
    for (int i = 0; i < 300; ++i) {
        const double angle = 150 - i;
        m.profile.angle.push_back(angle);
        m.profile.lift.push_back(4.5 * (1 + std::cos(angle * pi / 150)));
    }
    return m;
}

TEST(ValveEvents, ALongProfileMakesLongerFramesForTimedSteps) {
    EXPECT_THROW(script::parseScript("x@1.602"), script::ScriptError);
    const Mechanism m = longProfile();
    ASSERT_EQ(mechanismFault(m), "");
    try {
        script::parseScript("x@1.902", {}, script::pumpsPerFrame(300));
        ADD_FAILURE() << "pump 902 of 901 read";
    } catch (const script::ScriptError& e) {
        EXPECT_STREQ(e.what(), "step 'x@1.902': the event pump of a frame must be 1 to 901");
    }
    // A key at the last row pump of frame 1 releases its wait before it
    // blocks: the program blocks first after frame 2. Both frames reached
    // their wait and have their events.
    Replay r("x@1.900 esc", m);
    EXPECT_EQ(r.waitFrame, (std::vector<int>{2}));
    EXPECT_EQ(r.frameK, (std::vector<double>{4.75}));
    EXPECT_EQ(r.form->frameEvents().size(), 2u);
}

} // namespace
} // namespace zm::test
