#include "Harness.h"
#include "picture/SegmentPicture.h"
#include "window/UserScale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <tuple>

namespace zm::test {
namespace {

// The program played into a segment picture, every operation also recorded.
struct Pictured {
    picture::SegmentPicture picture;
    picture::RecordingSurface rec{&picture};
    std::unique_ptr<script::ScriptHost> host;
    std::unique_ptr<Form1> form;

    explicit Pictured(const std::string& script) {
        host = std::make_unique<script::ScriptHost>(script::parseScript(script));
        form = std::make_unique<Form1>(rec, *host);
        host->attach(*form);
        host->play();
    }

    // What the canvas shows, worked out from the record: the segments since the
    // last clear, each at its last drawing.
    std::vector<picture::Segment> expected() const {
        std::vector<picture::Segment> drawn;
        for (const picture::Op& op : rec.ops) {
            if (op.kind == picture::Op::Kind::cls) {
                drawn.clear();
            } else if (op.kind == picture::Op::Kind::line) {
                drawn.push_back({op.x1, op.y1, op.x2, op.y2, std::max(1, op.width), op.colour});
            }
        }
        std::map<std::tuple<float, float, float, float, int, Colour>, std::size_t> last;
        for (std::size_t i = 0; i < drawn.size(); ++i) {
            const picture::Segment& s = drawn[i];
            last[{s.x1, s.y1, s.x2, s.y2, s.width, s.colour}] = i;
        }
        std::vector<picture::Segment> out;
        for (std::size_t i = 0; i < drawn.size(); ++i) {
            const picture::Segment& s = drawn[i];
            if (last[{s.x1, s.y1, s.x2, s.y2, s.width, s.colour}] == i) {
                out.push_back(s);
            }
        }
        return out;
    }
};

TEST(SegmentPicture, HoldsWhatTheCanvasShowsEachSegmentOnce) {
    std::size_t single = 0;
    for (const char* script :
         {"x", "backspace x", "slash x x", "slash x x slash x", "backspace slash x x esc"}) {
        const Pictured p(script);
        EXPECT_EQ(p.picture.segments(), p.expected()) << script;
        if (std::string(script) == "x") {
            single = p.picture.size();
        }
        if (std::string(script) == "slash x x") {
            // Two frames at 4.5 (the second one the same as the first) and one at 4.75.
            EXPECT_GT(p.picture.size(), single + 500) << "frames pile up";
        }
    }
    // One frame with overlays: the axes redrawn at every row are kept once.
    const Pictured frame("backspace x");
    EXPECT_LT(frame.picture.size() * 4, frame.rec.ops.size());
}

// Long runs of drawing, most of it over segments already there, with clears:
// the picture keeps exactly the latest copy of each segment, in drawing order,
// while its index of segments grows, is packed and is emptied.
TEST(SegmentPicture, KeepsTheLatestCopyThroughLongRunsOfRedrawing) {
    picture::SegmentPicture p;
    std::vector<picture::Segment> drawn; // since the last clear, every copy
    std::uint32_t seed = 12345;
    const auto next = [&seed](std::uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    const auto expected = [&drawn] {
        std::vector<picture::Segment> out;
        for (std::size_t i = 0; i < drawn.size(); ++i) {
            if (std::find(drawn.begin() + static_cast<std::ptrdiff_t>(i) + 1, drawn.end(), drawn[i]) ==
                drawn.end()) {
                out.push_back(drawn[i]);
            }
        }
        return out;
    };
    for (int round = 0; round < 4; ++round) {
        // Round 0: a few segments drawn over and over (the index is packed many
        // times); later rounds: thousands of distinct ones (it grows), then a clear.
        const std::uint32_t pool = round == 0 ? 50 : 3000 * static_cast<std::uint32_t>(round);
        for (int i = 0; i < 20000; ++i) {
            const picture::Segment s{static_cast<float>(next(pool)),
                                     1.5f,
                                     2.0f,
                                     static_cast<float>(next(2)),
                                     1 + static_cast<int>(next(2)),
                                     next(2) == 0 ? colour::red : colour::blue};
            p.setDrawWidth(s.width);
            p.line(s.x1, s.y1, s.x2, s.y2, s.colour);
            drawn.push_back(s);
        }
        const std::vector<picture::Segment> want = expected();
        EXPECT_EQ(p.segments(), want) << "round " << round;
        EXPECT_EQ(p.size(), want.size()) << "round " << round;
        if (round % 2 == 1) {
            p.cls();
            drawn.clear();
            EXPECT_TRUE(p.segments().empty());
        }
    }
}

picture::PagePath::Point pixel(float x, float y) {
    return {UserScale{}.pixelX(x), UserScale{}.pixelY(y)};
}

TEST(SegmentPicture, JoinsRunsDropsWhatIsOffThePageAndSnapsAxes) {
    picture::SegmentPicture p;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    p.setDrawWidth(2);
    p.line(0, 0, 10, 1, colour::red);
    p.line(10, 1, 20, 3, colour::red);
    p.line(30, 2, 20, 3, colour::red); // drawn from the far end: still joins
    p.line(30, 2, 40, 0, colour::blue);
    p.line(nan, 0, 1, 1, colour::blue);     // never drawn
    p.line(-500, 0, -400, 1, colour::blue); // wholly off the page
    p.line(40, 0, 50, 5, colour::blue);     // joins across the two skipped ones
    p.setDrawWidth(0);                      // drawn as 1 pixel wide
    p.line(20.1f, 0, 20.1f, 5, colour::nearBlack);
    p.line(0, 1, 10, 1, colour::nearBlack); // horizontal: snapped in y
    p.setDrawWidth(2);
    p.line(0, 0, 10, 1, colour::green);
    p.line(0, 0, 10, 1, colour::red); // again: the first copy goes, this one stays last

    const std::vector<picture::PagePath> paths = p.paths(962, 688);
    ASSERT_EQ(paths.size(), 6u);
    EXPECT_EQ(paths[0].points.size(), 3u); // the red run lost its first segment to the later copy
    EXPECT_EQ(paths[0].points[0].x, pixel(10, 1).x);
    EXPECT_EQ(paths[0].points[2].x, pixel(30, 2).x);
    EXPECT_EQ(paths[1].colour, colour::blue);
    EXPECT_EQ(paths[1].points.size(), 3u);
    EXPECT_EQ(paths[1].width, 2);
    // 1 pixel wide: centred on a pixel.
    EXPECT_EQ(paths[2].width, 1);
    EXPECT_EQ(paths[2].points[0].x, std::floor(pixel(20.1f, 0).x) + 0.5);
    EXPECT_EQ(paths[2].points[0].x, paths[2].points[1].x);
    EXPECT_EQ(paths[3].points[0].y, std::floor(pixel(0, 1).y) + 0.5);
    EXPECT_EQ(paths[4].colour, colour::green);
    EXPECT_EQ(paths[5].colour, colour::red);
    EXPECT_EQ(paths[5].points.size(), 2u);

    p.cls();
    EXPECT_TRUE(p.paths(962, 688).empty());
    EXPECT_EQ(p.size(), 0u);
}

} // namespace
} // namespace zm::test
