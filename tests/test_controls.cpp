#include "Harness.h"

#include <gtest/gtest.h>

namespace zm::test {
namespace {

// The key at the wait after the first frame (k = 4.5) and the k of the frame it releases.
struct KeyCase {
    const char* key;
    double nextK;
    int acc;
    int ccllss;
};

class KeyAtWait : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyAtWait, SetsTheNextFramesControlAngle) {
    const KeyCase& c = GetParam();
    Replay run(c.key);
    ASSERT_EQ(run.frameK.size(), 2u);
    EXPECT_EQ(run.frameK[0], 4.5);
    EXPECT_EQ(run.frameK[1], c.nextK) << c.key;
    EXPECT_EQ(run.form->acc, c.acc);
    EXPECT_EQ(run.form->ccllss, c.ccllss);
    EXPECT_EQ(run.form->kk, 0);
}

// Enter and Tab move by a tenth of a step only within rounding: the handler
// subtracts 0.9 or 1.1 steps and the sweep adds one.
INSTANTIATE_TEST_SUITE_P(EveryKey, KeyAtWait,
                         ::testing::Values(KeyCase{"comma", 4.25, 0, 0},
                                           KeyCase{"enter", (4.5 - 0.9 * 0.25) + 0.25, 0, 0},
                                           KeyCase{"tab", (4.5 - 1.1 * 0.25) + 0.25, 0, 0},
                                           KeyCase{"backspace", 4.5, 1, 0}, KeyCase{"space", 4.5, 0, 0},
                                           KeyCase{"slash", 4.5, 0, 1}, KeyCase{"x", 4.75, 0, 0},
                                           KeyCase{"#0", 4.75, 0, 0}, KeyCase{"#65535", 4.75, 0, 0}),
                         [](const ::testing::TestParamInfo<KeyCase>& info) {
                             std::string name = info.param.key;
                             if (name[0] == '#') {
                                 name = "code" + name.substr(1);
                             }
                             return name;
                         });

TEST(Keys, CodesActByCharacterNotByName) {
    // Control+H types 8, Control+I 9, Control+M 13: they act as Backspace, Tab, Enter.
    EXPECT_EQ(Replay("#8").frameK, Replay("backspace").frameK);
    EXPECT_EQ(Replay("#9").frameK, Replay("tab").frameK);
    EXPECT_EQ(Replay("#13").frameK, Replay("enter").frameK);
    EXPECT_TRUE(Replay("#27").ended);
}

TEST(Keys, SpaceRestartsFromAnyFrameAndCommaGoesBelowTheStart) {
    Replay run("x x x space comma comma");
    EXPECT_EQ(run.frameK, (std::vector<double>{4.5, 4.75, 5.0, 5.25, 4.5, 4.25, 4.0}));
}

TEST(Keys, TogglesReturnToTheirFirstValue) {
    Replay run("backspace backspace slash slash");
    EXPECT_EQ(run.frameK, (std::vector<double>(5, 4.5)));
    EXPECT_EQ(run.form->acc, 0);
    EXPECT_EQ(run.form->ccllss, 0);
}

TEST(Keys, MidFrameKeyChangesTheRestOfThatFrame) {
    // comma during frame 2 (k = 4.75) moves k to 4.25 at once; that frame then
    // needs no key to be released, and the next one has k = 4.5.
    Replay run("x comma@2.300");
    ASSERT_EQ(run.frameK.size(), 2u);
    EXPECT_EQ(run.waitFrame, (std::vector<int>{1, 3}));
    EXPECT_EQ(run.frameK[1], 4.5);
}

TEST(Keys, TwoPressesInOneFrameLeaveItWaiting) {
    Replay run("x comma@2.100 x@2.200 y");
    EXPECT_EQ(run.waitFrame, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(run.frameK, (std::vector<double>{4.5, 4.25, 4.5}));
}

TEST(Keys, EscapeClearsThenEnds) {
    Replay run("esc");
    ASSERT_TRUE(run.ended);
    const auto& ops = run.rec.ops;
    ASSERT_GE(ops.size(), 3u);
    EXPECT_EQ(ops[ops.size() - 3].kind, picture::Op::Kind::wait);
    EXPECT_EQ(ops[ops.size() - 2].kind, picture::Op::Kind::cls);
    EXPECT_EQ(ops.back().kind, picture::Op::Kind::end);
}

TEST(Keys, EscapeMidFrameEndsAtOnce) {
    Replay run("esc@1.250");
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(run.frameK.empty());
    EXPECT_EQ(run.host->frame(), 1);
    EXPECT_EQ(run.host->pumpInFrame(), 250);
    EXPECT_EQ(run.rec.ops[run.rec.ops.size() - 2].kind, picture::Op::Kind::cls);
}

TEST(Keys, DoubleClickEndsWithoutClearing) {
    Replay run("dblclick");
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.count(picture::Op::Kind::cls), 0u);
    const auto& ops = run.rec.ops;
    EXPECT_EQ(ops[ops.size() - 2].kind, picture::Op::Kind::wait);
    EXPECT_EQ(ops.back().kind, picture::Op::Kind::end);
}

TEST(Keys, NothingIsHandledAfterTheEnd) {
    // A second key in the same pump as Escape is left over, and does not flip kk.
    Bench b;
    b.form.Form_KeyPress(27);
    EXPECT_TRUE(b.form.ended());
    b.form.Form_KeyPress('x');
    EXPECT_EQ(b.form.kk, 0);
}

} // namespace
} // namespace zm::test
