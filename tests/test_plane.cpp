#include "Harness.h"
#include "cli/MechanismOptions.h"
#include "cli/Options.h"
#include "cli/Run.h"
#include "picture/StrokePlan.h"
#include "window/Phases.h"
#include "window/Plane.h"
#include "window/TraceState.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace zm::test {
namespace {

const double pi = 4 * std::atan(1.0);

// A cam of 301 rows from 150 degrees down to -150, its lift a smooth bump up
// to 14: taller than the design plane and wider on both sides.
LiftProfile tallWideProfile() {
    LiftProfile p;
    for (int i = 0; i <= 300; ++i) {
        const double angle = 150 - i;
        p.angle.push_back(angle);
        p.lift.push_back(7 * (1 + std::cos(angle * pi / 150)));
    }
    return p;
}

Mechanism prepared(Mechanism m) {
    const std::string fault = prepareMechanism(m);
    EXPECT_EQ(fault, "");
    return m;
}

// A user's mechanism: the tall, wide profile, or the built-in one, with a
// crank longer than the built-in 7, which swings the moving trace further.
Mechanism userMechanism(bool tallWide, double crank) {
    Mechanism m;
    m.linkage.crank = crank;
    if (tallWide) {
        m.profile = tallWideProfile();
    }
    return prepared(m);
}

TEST(Plane, BuiltInMechanismKeepsTheDesignPlane) {
    const UserScale plane = planeFor(Mechanism{});
    EXPECT_EQ(plane, UserScale{});
    EXPECT_EQ(plane.left, -50);
    EXPECT_EQ(plane.top, 10);
    EXPECT_EQ(plane.width, 962);
    EXPECT_EQ(plane.height, 688);
    // The design's corners land on the client area's corners exactly.
    EXPECT_EQ(plane.pixelX(-50), 0);
    EXPECT_EQ(plane.pixelX(180), 962);
    EXPECT_EQ(plane.pixelY(10), 0);
    EXPECT_EQ(plane.pixelY(-3), 688);
    // A form of the built-in mechanism shows the same plane.
    Bench b;
    EXPECT_EQ(b.form.plane(), UserScale{});
}

TEST(Plane, GrowsOnlyWhereTheTracesNeedRoom) {
    const Mechanism m = userMechanism(true, 7);
    const UserScale plane = planeFor(m);
    // Wider on both sides, taller above; the bottom stays at -3 (no lift below
    // 0), and the scale stays the design's.
    EXPECT_LT(plane.left, 65 - 150 - 1);
    EXPECT_GE(plane.top, 14.4);
    EXPECT_LT(plane.top, 14.5);
    const double bottom = plane.planeY(plane.height);
    EXPECT_LE(bottom, -3);
    EXPECT_GT(bottom, -3 - 13.0 / 688);
    EXPECT_GT(plane.planeX(plane.width), 65 + 150);
    EXPECT_EQ(plane.pixelX(plane.left + 230) - plane.pixelX(plane.left), 962);
    EXPECT_EQ(plane.pixelY(plane.top - 13) - plane.pixelY(plane.top), 688);

    // Lifts within the design's room leave the top and bottom alone; a longer
    // crank only widens the plane.
    const UserScale longCrank = planeFor(userMechanism(false, 9));
    EXPECT_EQ(longCrank.top, 10);
    EXPECT_EQ(longCrank.height, 688);
    EXPECT_LE(longCrank.left, -50);
    EXPECT_GT(longCrank.width, 962);

    // A profile that dips below the axis lowers the bottom.
    Mechanism dipping = m;
    dipping.profile.lift[0] = -4;
    dipping = prepared(dipping);
    const UserScale low = planeFor(dipping);
    EXPECT_EQ(low.top, plane.top);
    EXPECT_LE(low.planeY(low.height), -4.4);
}

// Draws the frame at control angle k as the sweep does: the second profile,
// the first, and the moving trace.
void drawFrame(Bench& b, double k) {
    b.form.k = k;
    TraceState ts;
    ts.seg = 0;
    ts.idx = 1;
    traceSecondProfile(b.form, ts);
    ts.idx = 1;
    traceFirstProfile(b.form, ts);
    ts.seg = 0;
    ts.idx = 1;
    traceShiftedProfile(b.form, ts);
}

TEST(Plane, EveryTracePointOfAUsersMechanismLiesOnThePicture) {
    for (const auto& [tallWide, crank] :
         {std::pair{true, 7.0}, std::pair{true, 9.0}, std::pair{false, 9.0}}) {
        Bench b(userMechanism(tallWide, crank));
        const UserScale& plane = b.form.plane();
        EXPECT_EQ(plane, planeFor(b.form.mechanism()));
        // Control angles over the sweep and beyond, where the keys can take k.
        for (const double k : {4.5, 6.0, 9.75, 13.1, 20.0, -3.0, 100.25}) {
            b.rec.ops.clear();
            drawFrame(b, k);
            std::size_t seen = 0;
            Colour last = 0;
            for (const picture::Op& op : b.rec.ops) {
                if (op.kind != picture::Op::Kind::line ||
                    (op.colour != colour::red && op.colour != colour::green && op.colour != colour::blue)) {
                    continue;
                }
                ++seen;
                // A trace's first segment starts where the phase before it left
                // off (the program's join between phases); every other end is a
                // point of the trace.
                const bool join = op.colour != last;
                last = op.colour;
                for (const auto& [x, y] : {std::pair{op.x1, op.y1}, std::pair{op.x2, op.y2}}) {
                    if (join && x == op.x1 && y == op.y1) {
                        continue;
                    }
                    const double px = plane.pixelX(x);
                    const double py = plane.pixelY(y);
                    EXPECT_TRUE(px >= 0 && px <= plane.width && py >= 0 && py <= plane.height)
                        << "crank " << crank << ", k " << k << ": (" << x << ", " << y << ") at pixel (" << px
                        << ", " << py << ") of " << plane.width << "x" << plane.height;
                }
                // Every edition's mapping keeps the segment whole on a page of
                // the plane's size: nothing of it is clipped.
                picture::DeviceSegment d;
                ASSERT_TRUE(picture::toDevice(plane, op.x1, op.y1, op.x2, op.y2, op.width, 1, plane.width,
                                              plane.height, d));
                if (!join) {
                    EXPECT_EQ(d.x1, plane.pixelX(op.x1));
                    EXPECT_EQ(d.y1, plane.pixelY(op.y1));
                }
                EXPECT_EQ(d.x2, plane.pixelX(op.x2));
                EXPECT_EQ(d.y2, plane.pixelY(op.y2));
            }
            EXPECT_GT(seen, 3 * b.form.mechanism().profile.rows() / 2);
        }
    }
}

TEST(Plane, TheDesignPlaneWouldCutAUsersTraces) {
    // The check above has teeth: on the design plane the same frames leave it.
    Bench b(userMechanism(true, 9));
    drawFrame(b, 4.5);
    const UserScale design;
    bool outside = false;
    for (const picture::Op& op : b.rec.ops) {
        if (op.kind == picture::Op::Kind::line && op.colour == colour::red) {
            outside = outside || design.pixelX(op.x1) < 0 || design.pixelY(op.y1) < 0;
        }
    }
    EXPECT_TRUE(outside);
}

// The SVG the trace program writes for these arguments.
std::string svgOf(std::vector<std::string> args) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("zm-test-plane-" + std::to_string(::getpid()) + ".svg");
    args.insert(args.end(), {"--keys", "x", "--svg", file.string()});
    EXPECT_EQ(cli::run(cli::parseArguments(cli::Program::trace, args), {}), 0);
    std::stringstream text;
    text << std::ifstream(file).rdbuf();
    std::filesystem::remove(file);
    return text.str();
}

TEST(Plane, TheRunsPictureIsThePlanesSizeUnlessGivenOne) {
    const std::vector<std::string> longCrank = {"--linkage", "31.5,9,25,31"};
    const UserScale plane = planeFor(cli::mechanismOf(cli::parseArguments(cli::Program::trace, longCrank)));
    ASSERT_GT(plane.width, 962);
    const std::string size = "width=\"" + std::to_string(plane.width) + "\" height=\"" +
                             std::to_string(plane.height) + "\" viewBox=\"0 0 " +
                             std::to_string(plane.width) + " " + std::to_string(plane.height) + "\"";
    EXPECT_NE(svgOf(longCrank).find(size), std::string::npos) << size;
    // The built-in mechanism's picture is the design's; a given size wins.
    EXPECT_NE(svgOf({}).find("width=\"962\" height=\"688\""), std::string::npos);
    std::vector<std::string> given = longCrank;
    given.insert(given.end(), {"--size", "500x400"});
    EXPECT_NE(svgOf(given).find("width=\"500\" height=\"400\""), std::string::npos);
}

} // namespace
} // namespace zm::test
