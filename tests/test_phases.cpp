#include "Harness.h"
#include "window/Phases.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zm::test {
namespace {

bool allFinite(const std::vector<picture::Op>& ops) {
    return std::all_of(ops.begin(), ops.end(), [](const picture::Op& op) {
        return std::isfinite(op.x1) && std::isfinite(op.y1) && std::isfinite(op.x2) && std::isfinite(op.y2);
    });
}

TEST(ShiftedTrace, FallsOnTheFirstProfileAtTheFirstControlAngle) {
    Replay run("");
    const auto blue = run.lines(colour::blue);
    const auto red = run.lines(colour::red);
    ASSERT_EQ(blue.size(), 200u);
    ASSERT_EQ(red.size(), 199u);
    const Form1& f = *run.form;
    // Blue row i ends at ww - ang2(i) + ff; the red trace has ww + ang1(i) there.
    for (std::size_t i = 2; i <= 200; ++i) {
        const picture::Op& b = blue[i - 1];
        EXPECT_NEAR(b.x2, 65 + f.ang1[i], 1e-4 + 2e-5) << "row " << i;
        EXPECT_EQ(b.y2, static_cast<float>(f.lift1[i]));
    }
}

TEST(ShiftedTrace, FirstRowJoinsTheEndOfTheFirstProfile) {
    Replay run("");
    const picture::Op row1 = run.lines(colour::blue).front();
    Bench b;
    b.form.k = 4.5;
    b.form.solveLinkage(4.5 - b.form.ang2[1] * b.form.pi / 180);
    EXPECT_EQ(row1.x1, static_cast<float>(65 - -102.96 + 0.0));
    EXPECT_EQ(row1.x2, static_cast<float>(65 - -100.600198830294 + b.form.ff));
    EXPECT_EQ(row1.y1, 0.0f);
    EXPECT_EQ(row1.y2, 0.0f);
    EXPECT_EQ(row1.width, 3);
}

TEST(ShiftedTrace, AxesStayOnTopOfEveryRow) {
    Replay run("");
    const auto axes = run.lines(colour::nearBlack);
    ASSERT_EQ(axes.size(), 200u * 35u);
    for (std::size_t r = 0; r < 200; ++r) {
        const picture::Op* a = &axes[r * 35];
        EXPECT_EQ(a[0], (picture::Op{picture::Op::Kind::line, -98, 0, 360, 0, 1, colour::nearBlack}));
        EXPECT_EQ(a[1], (picture::Op{picture::Op::Kind::line, 15, -2, 15, 11.5, 1, colour::nearBlack}));
        EXPECT_EQ(a[2], (picture::Op{picture::Op::Kind::line, 105, -2, 105, 11.5, 1, colour::nearBlack}));
        EXPECT_EQ(a[3].x1, -97.5f);
        EXPECT_EQ(a[34].x1, 600.0f);
    }
    EXPECT_EQ(run.rec.ops.back().kind, picture::Op::Kind::wait);
    EXPECT_EQ(run.rec.ops[run.rec.ops.size() - 2].colour, colour::nearBlack);
}

TEST(Overlays, SwitchOnAndOffWithBackspace) {
    Replay plain("");
    EXPECT_EQ(plain.count(colour::orange) + plain.count(colour::lightBlue) + plain.count(colour::magenta),
              0u);
    EXPECT_EQ(plain.count(colour::olive), 199u);

    // Backspace redraws the first frame with the overlays and no shift curve.
    Replay on("backspace");
    EXPECT_EQ(on.count(colour::olive), 199u);
    EXPECT_EQ(on.count(colour::orange), 199u);
    EXPECT_EQ(on.count(colour::magenta), 199u);
    EXPECT_EQ(on.count(colour::lightBlue), 200u);
    EXPECT_GT(on.count(colour::teal), 150u);
    for (const picture::Op& op : on.lines(colour::orange)) {
        EXPECT_EQ(op.width, 2);
    }
}

TEST(Overlays, SwitchedMidPhaseTakeEffectAtTheNextRow) {
    // Pump 250 is phase B's row 50: the first profile's overlays start at row 51.
    // (The second key keeps the program waiting after frame 1.)
    Replay run("backspace@1.250 x@1.251");
    const auto orange = run.lines(colour::orange);
    ASSERT_EQ(orange.size(), 150u);
    EXPECT_EQ(orange.front().x2, static_cast<float>(65 + run.form->ang1[51]));
    // Switched off again during phase C (pump 500 = row 100): the shift curve
    // comes back at that same row, after the row's own pump.
    Replay offAgain("backspace@1.250 backspace@1.500");
    EXPECT_EQ(offAgain.count(colour::olive), 101u);
    EXPECT_EQ(offAgain.count(colour::lightBlue), 100u);
}

TEST(ZeroDivisor, FirstProfileOverlaysSkipOnlyTheUndefinedSegment) {
    Bench b;
    b.form.acc = 1;
    TraceState ts;
    // Two equal angles in the history: the velocity's start divides by zero.
    ts.idx = 2;
    ts.seg = 1;
    ts.cx = b.form.ang1[1];
    ts.px = b.form.ang1[1];
    ts.cy = 1;
    ts.py = 0.5;
    traceFirstProfile(b.form, ts);
    EXPECT_EQ(ts.idx, 201);
    EXPECT_TRUE(allFinite(b.rec.ops));
    EXPECT_EQ(b.count(colour::orange), 198u);  // row 2's velocity starts at an infinite height: skipped
    EXPECT_EQ(b.count(colour::magenta), 199u); // the accelerations' divisors span other angles
}

TEST(ZeroDivisor, ShiftedTraceWithNoHorizontalRunKeepsRunning) {
    Bench b;
    b.form.acc = 1;
    TraceState ts;
    ts.idx = 2;
    ts.seg = 1;
    ts.cx = b.form.ang2[1];
    ts.cy = b.form.lift2[1];
    // Make row 2's blue segment vertical: ffp - ff equals the rows' angle step.
    const double a2 = b.form.ang2[2];
    b.form.solveLinkage(b.form.k - a2 * b.form.pi / 180);
    const double ff2 = b.form.ff;
    b.form.ff = ff2 - (a2 - b.form.ang2[1]);
    traceShiftedProfile(b.form, ts);
    EXPECT_EQ(ts.idx, 201);
    EXPECT_TRUE(allFinite(b.rec.ops));
    EXPECT_EQ(b.count(colour::blue), 199u);      // the vertical blue segment itself is drawn
    EXPECT_EQ(b.count(colour::lightBlue), 197u); // its slope is undefined, and so is the next row's start
    EXPECT_TRUE(std::isfinite(ts.sl));
    EXPECT_TRUE(std::isfinite(ts.accy));
}

} // namespace
} // namespace zm::test
