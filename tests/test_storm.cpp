// Key storms: random keys, weighted towards the ones with a meaning of their own
// and double clicks, at random event pumps of random frames and at the waits.
// Whatever arrives, every coordinate reaching the surface is finite, the three
// switches stay 0 or 1, and every run ends cleanly.

#include "window/Form1.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace zm::test {
namespace {

struct Exhausted {};

// Checks each segment as it arrives and keeps nothing.
struct CheckingSurface : Surface {
    std::size_t segments = 0;
    std::size_t bad = 0;
    void line(float x1, float y1, float x2, float y2, Colour) override {
        ++segments;
        bad += !(std::isfinite(x1) && std::isfinite(y1) && std::isfinite(x2) && std::isfinite(y2));
    }
    void setDrawWidth(int) override {}
    void setForeColor(Colour) override {}
    void cls() override {}
};

struct StormHost : Host {
    std::mt19937_64 rng;
    Form1* form = nullptr;
    long keysLeft = 0;
    long keys = 0;
    long badState = 0;

    explicit StormHost(std::uint64_t seed) : rng(seed) {}

    void deliver() {
        if (keysLeft <= 0) {
            throw Exhausted{};
        }
        --keysLeft;
        ++keys;
        static constexpr std::uint16_t special[] = {44, 13, 9, 8, 32, 47};
        const int pick = static_cast<int>(rng() % 1000);
        if (pick < 2) {
            form->Form_DblClick();
        } else if (pick < 5) {
            form->Form_KeyPress(27);
        } else if (pick < 700) {
            form->Form_KeyPress(special[rng() % 6]);
        } else {
            form->Form_KeyPress(static_cast<std::uint16_t>(rng() % 65536));
        }
        const auto ok = [](int v) { return v == 0 || v == 1; };
        badState += !(ok(form->acc) && ok(form->ccllss) && ok(form->kk) && std::isfinite(form->k));
    }
    void doEvents() override {
        // Now and then one or a few keys at a row pump.
        if (rng() % 64 == 0) {
            for (int n = 1 + static_cast<int>(rng() % 3); n > 0 && !form->ended(); --n) {
                deliver();
            }
        }
    }
    void waitForEvents() override { deliver(); }
};

TEST(KeyStorm, TwentySeedsAHundredThousandKeys) {
    constexpr int seeds = 20;
    constexpr long keysPerSeed = 5000;
    long runs = 0, ended = 0, swept = 0, keys = 0;
    for (int seed = 1; seed <= seeds; ++seed) {
        StormHost host(static_cast<std::uint64_t>(seed) * 7919);
        host.keysLeft = keysPerSeed;
        CheckingSurface surface;
        // One program run after another until this seed's keys are used up.
        while (host.keysLeft > 0) {
            Form1 form(surface, host);
            host.form = &form;
            ++runs;
            try {
                form.run();
            } catch (const Exhausted&) {
                break;
            }
            (form.ended() ? ended : swept) += 1;
        }
        keys += host.keys;
        EXPECT_EQ(surface.bad, 0u) << "seed " << seed;
        EXPECT_EQ(host.badState, 0) << "seed " << seed;
        EXPECT_GT(surface.segments, 0u);
    }
    EXPECT_EQ(keys, seeds * keysPerSeed);
    EXPECT_GT(ended, 0); // Escape and double clicks did come
    RecordProperty("runs", static_cast<int>(runs));
    RecordProperty("sweeps_to_the_end", static_cast<int>(swept));
}

} // namespace
} // namespace zm::test
