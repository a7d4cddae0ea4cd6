#include "Harness.h"

#include <gtest/gtest.h>

namespace zm::test {
namespace {

std::string repeat(const std::string& key, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) {
        s += key + " ";
    }
    return s;
}

TEST(Sweep, WaitsAfterTheFirstFrameUntilAKey) {
    Replay run("");
    EXPECT_FALSE(run.ended);
    EXPECT_EQ(run.frameK, (std::vector<double>{4.5}));
    EXPECT_EQ(run.host->frame(), 1);
    EXPECT_EQ(run.host->pumpInFrame(), 601); // 600 row pumps and the one that starts the wait
    EXPECT_EQ(run.rec.ops.back().kind, picture::Op::Kind::wait);
}

TEST(Sweep, PlainKeysStepFromTheStartToTwentyInSixtyThreeFrames) {
    Replay last(repeat("x", 62));
    EXPECT_FALSE(last.ended);
    ASSERT_EQ(last.frameK.size(), 63u);
    for (std::size_t i = 0; i < 63; ++i) {
        EXPECT_EQ(last.frameK[i], 4.5 + 0.25 * static_cast<double>(i));
    }
    Replay over(repeat("x", 63));
    EXPECT_TRUE(over.ended);
    EXPECT_EQ(over.frameK.size(), 63u);
    EXPECT_EQ(over.rec.ops.back().kind, picture::Op::Kind::end);
}

TEST(Sweep, OneKeyDuringAFrameLetsTheNextFrameRunOn) {
    Replay run("x@1.50");
    EXPECT_EQ(run.waitFrame, (std::vector<int>{2}));
    EXPECT_EQ(run.frameK, (std::vector<double>{4.75}));
    // The pump that starts the wait is the last place a key can release a frame without blocking.
    EXPECT_EQ(Replay("x@1.601").waitFrame, (std::vector<int>{2}));
}

TEST(Sweep, FirstFrameStartsWithoutAClearAndFramesAreClearedBetween) {
    Replay run("x x");
    ASSERT_EQ(run.rec.ops.front().kind, picture::Op::Kind::line);
    EXPECT_EQ(run.count(picture::Op::Kind::cls), 2u);
    // After each clear the travel curve is drawn again before the next frame.
    for (std::size_t i = 0; i + 1 < run.rec.ops.size(); ++i) {
        if (run.rec.ops[i].kind == picture::Op::Kind::cls) {
            EXPECT_EQ(run.rec.ops[i + 1].colour, colour::lightOrange);
        }
    }
}

TEST(Sweep, SlashPilesFramesUp) {
    Replay run("slash x x slash x");
    EXPECT_EQ(run.count(picture::Op::Kind::cls), 2u); // clearing resumes only after the second slash
}

TEST(Sweep, FrameMakesItsOperationsInDriverOrder) {
    Replay run("");
    const auto& ops = run.rec.ops;
    // Phase A: 199 green segments; then the travel curve; phase B: 199 red;
    // phase C: blue rows with the axes after every row.
    std::size_t i = 0;
    auto run_of = [&](Colour c) {
        std::size_t n = 0;
        while (i < ops.size() && ops[i].kind == picture::Op::Kind::line && ops[i].colour == c) {
            ++n;
            ++i;
        }
        return n;
    };
    EXPECT_EQ(run_of(colour::green), 199u);
    EXPECT_EQ(run_of(colour::lightOrange), 943u);
    EXPECT_EQ(run_of(colour::red), 199u);
    EXPECT_EQ(run_of(colour::blue), 1u); // row 1 continues from the first profile's last point
    EXPECT_EQ(run_of(colour::nearBlack), 35u);
    EXPECT_EQ(run.count(colour::blue), 200u);
    EXPECT_EQ(run.count(colour::olive), 199u);
    EXPECT_EQ(run.count(colour::nearBlack), 200u * 35u);
}

} // namespace
} // namespace zm::test
