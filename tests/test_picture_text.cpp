#include "Harness.h"
#include "picture/PictureText.h"
#include "picture/SegmentPicture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace zm::test {
namespace {

// The program played into a segment picture.
struct Played {
    picture::SegmentPicture picture;
    std::unique_ptr<script::ScriptHost> host;
    std::unique_ptr<Form1> form;

    explicit Played(const std::string& script) {
        host = std::make_unique<script::ScriptHost>(script::parseScript(script));
        form = std::make_unique<Form1>(picture, *host);
        host->attach(*form);
        host->play();
    }
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

TEST(SvgText, GroupsRunsByPenAndWritesShortCoordinates) {
    picture::SegmentPicture p;
    p.setDrawWidth(3);
    // Two joined segments (one path), a separate one of the same pen (a second
    // path in the same group), then another colour and width.
    p.line(0, 5, 10, 6, colour::red);
    p.line(10, 6, 20, 4, colour::red);
    p.line(40, 2, 50, 3, colour::red);
    p.setDrawWidth(1);
    p.line(0, 1, 30, 2, colour::blue);
    const std::string svg = picture::svgText(p, 962, 688);

    EXPECT_EQ(
        svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
                  "width=\"962\" height=\"688\" viewBox=\"0 0 962 688\">\n",
                  0),
        0u)
        << svg;
    EXPECT_NE(svg.find("<title>Zebo / Morlix GEOMETRY EXPLAIN USE: SpaceBar , / Enter Tab USE: BackSpace for "
                       "Velocity / Acceleration DoubleClick or ESC to Quit</title>\n"),
              std::string::npos);
    EXPECT_NE(svg.find("<g fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\">"),
              std::string::npos);
    EXPECT_EQ(svg.substr(svg.size() - 12), "</g>\n</svg>\n");

    const std::regex group("<g stroke=\"(#[0-9a-f]{6})\" stroke-width=\"([0-9]+)\">");
    std::vector<std::string> pens;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), group); it != std::sregex_iterator(); ++it) {
        pens.push_back((*it)[1].str() + " " + (*it)[2].str());
    }
    EXPECT_EQ(pens, (std::vector<std::string>{"#ff0000 3", "#0000ff 1"}));

    const std::regex path("<path d=\"M([^\"]*)\"/>");
    std::vector<std::string> ds;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), path); it != std::sregex_iterator(); ++it) {
        ds.push_back((*it)[1].str());
    }
    ASSERT_EQ(ds.size(), 3u) << svg;
    // x 0, 10, 20 are 209.13, 250.96, 292.78 px; y 5, 6, 4 are 264.62, 211.69,
    // 317.54 px (to a hundredth).
    EXPECT_EQ(ds[0], "209.13 264.62L250.96 211.69 292.78 317.54");
    EXPECT_EQ(ds[1], "376.43 423.38L418.26 370.46");
    // Every number has at most two decimals and no trailing zero.
    const std::regex number("-?[0-9]+(\\.[0-9]*)?");
    for (const std::string& d : ds) {
        for (auto it = std::sregex_iterator(d.begin(), d.end(), number); it != std::sregex_iterator(); ++it) {
            const std::string n = it->str();
            const auto dot = n.find('.');
            if (dot != std::string::npos) {
                EXPECT_LE(n.size() - dot - 1, 2u) << n;
                EXPECT_NE(n.back(), '0') << n;
            }
        }
    }
}

TEST(SvgText, WritesCoordinatesLeftOfThePageWithTheirSign) {
    picture::SegmentPicture p;
    // Left of x = -50 is left of the page, within the clip margin: x -50.5 is
    // 2.09 px left of it and -50.01 is 0.04 px left; y 5 and 4 are 264.62 and
    // 317.54 px down.
    p.line(-50.5f, 5, -50.01f, 4, colour::green);
    const std::string svg = picture::svgText(p, 962, 688);
    EXPECT_NE(svg.find("<path d=\"M-2.09 264.62L-0.04 317.54\"/>"), std::string::npos) << svg;
}

TEST(SvgText, HoldsEveryPagePathOfARun) {
    for (const char* script : {"backspace x", "slash x x", "x comma tab"}) {
        const Played run(script);
        const std::string svg = picture::svgText(run.picture, 962, 688);
        const auto paths = run.picture.paths(962, 688);
        std::size_t points = 0;
        for (const picture::PagePath& p : paths) {
            points += p.points.size();
        }
        const std::regex path("<path d=\"M([^\"]*)\"/>");
        std::size_t written = 0, numbers = 0;
        for (auto it = std::sregex_iterator(svg.begin(), svg.end(), path); it != std::sregex_iterator();
             ++it) {
            ++written;
            std::istringstream d(std::regex_replace((*it)[1].str(), std::regex("L"), " "));
            for (double v; d >> v;) {
                ++numbers;
            }
        }
        EXPECT_EQ(written, paths.size()) << script;
        EXPECT_EQ(numbers, 2 * points) << script;
        // Nothing but the palette's colours and the four pen widths.
        std::set<std::string> pens;
        const std::regex group("stroke=\"(#[0-9a-f]{6})\" stroke-width=\"([1-4])\"");
        for (auto it = std::sregex_iterator(svg.begin(), svg.end(), group); it != std::sregex_iterator();
             ++it) {
            pens.insert((*it)[1].str());
        }
        for (const std::string& c : pens) {
            EXPECT_NE(
                std::string("#ff0000 #00ff00 #0000ff #ffc080 #ff8000 #ff00ff #8080ff #008080 #c0c000 #070000")
                    .find(c),
                std::string::npos)
                << script << ": " << c;
        }
    }
}

TEST(CsvText, JoinsRunsOfOnePenAndNumbersThem) {
    picture::SegmentPicture p;
    p.setDrawWidth(3);
    p.line(0, 5, 10, 6, colour::red);
    p.line(10, 6, 20, 4.5f, colour::red);  // joined
    p.line(30, 1, 20, 4.5f, colour::red);  // joined, drawn the other way
    p.line(30, 1, 40, 0.1f, colour::blue); // another colour: a new polyline
    p.setDrawWidth(1);
    p.line(40, 0.1f, 50, 0, colour::blue); // another width: a new polyline
    p.line(60, 0, 70, 0, colour::blue);    // not joined: a new polyline
    p.line(1, 2, 3, 4, 0x123456);          // a colour the legend does not have
    EXPECT_EQ(picture::csvText(p), "curve,path,x,y\n"
                                   "first profile,0,0,5\n"
                                   "first profile,0,10,6\n"
                                   "first profile,0,20,4.5\n"
                                   "first profile,0,30,1\n"
                                   "moving trace,1,30,1\n"
                                   "moving trace,1,40,0.1\n"
                                   "moving trace,2,40,0.1\n"
                                   "moving trace,2,50,0\n"
                                   "moving trace,3,60,0\n"
                                   "moving trace,3,70,0\n"
                                   "#563412,4,1,2\n"
                                   "#563412,4,3,4\n");
    picture::SegmentPicture empty;
    EXPECT_EQ(picture::csvText(empty), "curve,path,x,y\n");
}

// Read back, the rows give every segment of the picture in drawing order: the
// numbers are exact and nothing is lost or repeated.
TEST(CsvText, RowsGiveBackEverySegmentOfARun) {
    for (const char* script : {"backspace x", "x", "slash x x backspace x", "slash backspace x x x"}) {
        const Played run(script);
        const std::vector<std::string> rows = lines(picture::csvText(run.picture));
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows[0], "curve,path,x,y");
        std::vector<picture::Segment> back;
        std::string lastPath;
        float px = 0, py = 0;
        int expectedPath = 0;
        for (std::size_t i = 1; i < rows.size(); ++i) {
            std::vector<std::string> f;
            std::istringstream in(rows[i]);
            for (std::string cell; std::getline(in, cell, ',');) {
                f.push_back(cell);
            }
            ASSERT_EQ(f.size(), 4u) << rows[i];
            const float x = std::strtof(f[2].c_str(), nullptr), y = std::strtof(f[3].c_str(), nullptr);
            if (f[1] == lastPath) {
                back.push_back({px, py, x, y, 0, 0});
            } else {
                EXPECT_EQ(std::stoi(f[1]), lastPath.empty() ? 0 : ++expectedPath) << rows[i];
                lastPath = f[1];
            }
            px = x;
            py = y;
        }
        const std::vector<picture::Segment> segments = run.picture.segments();
        ASSERT_EQ(back.size(), segments.size()) << script;
        for (std::size_t i = 0; i < segments.size(); ++i) {
            const picture::Segment& s = segments[i];
            const picture::Segment& b = back[i];
            const bool forward = b.x1 == s.x1 && b.y1 == s.y1 && b.x2 == s.x2 && b.y2 == s.y2;
            const bool backward = b.x1 == s.x2 && b.y1 == s.y2 && b.x2 == s.x1 && b.y2 == s.y1;
            ASSERT_TRUE(forward || backward) << script << ": segment " << i;
        }
    }
}

TEST(CsvText, EveryCurveOfTheSweepHasItsLegendName) {
    std::set<std::string> names;
    for (const bool overlays : {false, true}) {
        std::string script = overlays ? "slash backspace" : "slash";
        for (int i = 0; i < 62; ++i) {
            script += " x";
        }
        const Played run(script);
        for (const picture::Segment& s : run.picture.segments()) {
            names.insert(picture::curveName(s.colour));
        }
    }
    EXPECT_EQ(names, (std::set<std::string>{"first profile", "second profile", "moving trace", "travel",
                                            "first profile velocity", "first profile acceleration",
                                            "moving trace velocity", "moving trace acceleration",
                                            "linkage shift", "axes"}));
}

} // namespace
} // namespace zm::test
