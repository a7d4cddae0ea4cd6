#include "math/ShortestFloat.h"
#include "profiles/ProfileText.h"

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zm::test {
namespace {

// The profile read from text, or the message.
struct Read {
    std::string fault;
    LiftProfile profile;
};
Read read(std::string_view text) {
    Read r;
    r.profile.second = {1}; // cleared when read
    r.fault = readProfileText(text, r.profile);
    return r;
}

void expectRows(const Read& r, const std::vector<double>& angle, const std::vector<double>& lift) {
    ASSERT_EQ(r.fault, "");
    EXPECT_EQ(r.profile.angle, angle);
    EXPECT_EQ(r.profile.lift, lift);
    EXPECT_TRUE(r.profile.second.empty());
}

TEST(ProfileText, SeparatorsHeaderCommentsAndLineEnds) {
    const std::vector<double> angle = {10, 5, -2.5};
    const std::vector<double> lift = {0, 1.5, 0.25};
    for (const char* text : {
             "10,0\n5,1.5\n-2.5,0.25\n",      // commas
             "10;0\n5;1.5\n-2.5;0.25",        // semicolons, no line end at the end
             "10\t0\n5\t\t1.5\n-2.5\t0.25\n", // tabs
             "10 0\n5   1.5\n -2.5 \t 0.25 \n",
             "10 , 0\n5,\t1.5\n-2.5 ;0.25\n", // blanks around the comma
             "angle,lift\n10,0\n5,1.5\n-2.5,0.25\n",
             "# a profile\n\n  # indented comment\nangle (deg); lift (mm)\n10,0 # "
             "closed\n\n5,1.5\n-2.5,0.25#end\n",
             "10,0\r\n5,1.5\r\n-2.5,0.25\r\n",
             "\xEF\xBB\xBF"
             "angle,lift\r\n10,0\r\n5,1.5\r\n-2.5,0.25\r\n",
             "1e1,0\n5.,15e-1\n-2.5,.25\n",
         }) {
        SCOPED_TRACE(text);
        expectRows(read(text), angle, lift);
    }
}

TEST(ProfileText, RisingRowsAreReversed) {
    expectRows(read("-2.5,0.25\n5,1.5\n10,0\n"), {10, 5, -2.5}, {0, 1.5, 0.25});
    // Falling rows stay as they are.
    expectRows(read("3,1\n2,2\n1,3\n0,4\n"), {3, 2, 1, 0}, {1, 2, 3, 4});
}

// Each refusal names the line(s) of the file as written (counted before any
// reversal, comments and blank lines included) and says what to change.
TEST(ProfileText, RefusalsNameTheirLines) {
    const std::pair<const char*, const char*> cases[] = {
        {"1,1\n2,2\n# note\nabc; 1\n3,3\n",
         "line 4: 'abc; 1' is not two numbers (angle, lift): write each row as angle and lift"},
        {"angle,lift\ndeg,mm\n1,2\n2,3\n3,4\n", "line 2: 'deg,mm' is not two numbers (angle, lift), and line "
                                                "1 is the header already: write each row "
                                                "as angle and lift"},
        {"1,2\n2,3,4\n3,4\n",
         "line 2: '2,3,4' is not two numbers (angle, lift): write each row as angle and lift"},
        {"1,2\n2,,3\n3,4\n",
         "line 2: '2,,3' is not two numbers (angle, lift): write each row as angle and lift"},
        {"1,2\n2,nan\n3,4\n",
         "line 2: '2,nan' is not two numbers (angle, lift): write each row as angle and lift"},
        {"1,2\n0x10,3\n3,4\n",
         "line 2: '0x10,3' is not two numbers (angle, lift): write each row as angle and lift"},
        {"1,2\n2,3\n\n1e999,4\n", "line 4: '1e999,4' has a number beyond the largest double: give the angle "
                                  "and lift as finite numbers"},
        {"h\n1,2\n2,3\n\n2,4\n5,1\n",
         "lines 3 and 5 have the same angle (2): give each row an angle of its own"},
        {"1,0\n2,0\n3,0\n# x\n4.5,0\n4.5,1\n",
         "lines 5 and 6 have the same angle (4.5): give each row an angle of its own"},
        {"1,0\n5,0\n10,0\n12,0\n11,0\n",
         "lines 4 and 5 turn back (angles 12 and 11 after rising): give the angles in one direction"},
        {"30,0\n20,0\n10,0\n12,0\n",
         "lines 3 and 4 turn back (angles 10 and 12 after falling): give the angles in one direction"},
        {"", "the profile has 0 rows: give from 3 to 100000"},
        {"angle,lift\n# nothing\n", "the profile has 0 rows: give from 3 to 100000"},
        {"1,1\n", "the profile has 1 row: give from 3 to 100000"},
        {"angle,lift\n1,1\n2,2\n", "the profile has 2 rows: give from 3 to 100000"},
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text);
        LiftProfile p = LiftProfile::builtIn();
        EXPECT_EQ(readProfileText(text, p), message);
        EXPECT_EQ(p.rows(), LiftProfile::builtIn().rows()); // untouched
    }
}

// A line is shown as the shell would read it back: control bytes and bytes
// that are not UTF-8 escaped, long lines cut at a character.
TEST(ProfileText, LinesAreQuotedSafely) {
    EXPECT_EQ(
        read("1,2\n\x1b[31mred,1\n").fault,
        "line 2: ''$'\\033''[31mred,1' is not two numbers (angle, lift): write each row as angle and lift");
    EXPECT_EQ(read("1,2\n1\xff,2\n").fault,
              "line 2: '1'$'\\377'',2' is not two numbers (angle, lift): write each row as angle and lift");
    // A carriage return that does not end a line stays in it.
    EXPECT_EQ(read("1,2\n3\r,4\n").fault,
              "line 2: '3'$'\\r'',4' is not two numbers (angle, lift): write each row as angle and lift");
    EXPECT_EQ(read("1,2\nit's,4\n").fault,
              "line 2: 'it'\\''s,4' is not two numbers (angle, lift): write each row as angle and lift");
    // Cut after 60 bytes, not inside the two bytes of an 'é'.
    const std::string line = std::string(59, 'a') + "\xC3\xA9" + std::string(100, 'b');
    EXPECT_EQ(read("1,2\n" + line + "\n").fault,
              "line 2: '" + std::string(59, 'a') +
                  "'... is not two numbers (angle, lift): write each row as angle and lift");
    const std::string plain(200, 'x');
    EXPECT_EQ(read("1,2\n" + plain + "\n").fault,
              "line 2: '" + std::string(60, 'x') +
                  "'... is not two numbers (angle, lift): write each row as "
                  "angle and lift");
}

std::string rows(std::size_t n) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        text += std::to_string(i) + ",1\n";
    }
    return text;
}

TEST(ProfileText, RowCountLimits) {
    const Read most = read(rows(LiftProfile::maxRows));
    ASSERT_EQ(most.fault, "");
    EXPECT_EQ(most.profile.rows(), LiftProfile::maxRows);
    EXPECT_EQ(most.profile.angle.front(), 99999);
    EXPECT_EQ(read("angle,lift\n" + rows(LiftProfile::maxRows + 1)).fault,
              "the profile has more than 100000 rows (line 100002 is row 100001): give from 3 to 100000");
    expectRows(read(rows(3)), {2, 1, 0}, {1, 1, 1});
}

// The largest text read, 64 MiB, in one pass: long comments, long blank runs,
// a long header and the most rows. Quadratic work on its lines would not end
// in the test's time.
TEST(ProfileText, LargestTextInLinearTime) {
    std::string text = "\xEF\xBB\xBF" + std::string(4 << 20, 'h') + "\n";
    const std::string comment = "# " + std::string(200, 'c') + "\n";
    std::string body = rows(LiftProfile::maxRows);
    while (text.size() + body.size() + comment.size() + 4 < maxProfileTextBytes - (8 << 20)) {
        text += comment;
    }
    text += std::string(maxProfileTextBytes - text.size() - body.size(), ' ').replace(0, 1, "\n");
    text += body;
    ASSERT_EQ(text.size(), maxProfileTextBytes);
    const auto start = std::chrono::steady_clock::now();
    const Read r = read(text);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(r.fault, "");
    EXPECT_EQ(r.profile.rows(), LiftProfile::maxRows);
    EXPECT_LT(seconds, 20.0);
}

// The built-in profile written as text, every number as its shortest text,
// reads back bit for bit; so do its rows in the rising direction.
TEST(ProfileText, BuiltInProfileReadsBackExactly) {
    const LiftProfile b = LiftProfile::builtIn();
    std::string falling = "angle,lift\n";
    std::string rising = "angle;lift\r\n";
    for (std::size_t i = 0; i < b.rows(); ++i) {
        falling += cr::shortestDouble(b.angle[i]) + "," + cr::shortestDouble(b.lift[i]) + "\n";
        const std::size_t j = b.rows() - 1 - i;
        rising += cr::shortestDouble(b.angle[j]) + "\t" + cr::shortestDouble(b.lift[j]) + "\r\n";
    }
    for (const std::string& text : {falling, rising}) {
        const Read r = read(text);
        ASSERT_EQ(r.fault, "");
        ASSERT_EQ(r.profile.rows(), b.rows());
        for (std::size_t i = 0; i < b.rows(); ++i) {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(r.profile.angle[i]),
                      std::bit_cast<std::uint64_t>(b.angle[i]));
            EXPECT_EQ(std::bit_cast<std::uint64_t>(r.profile.lift[i]),
                      std::bit_cast<std::uint64_t>(b.lift[i]));
        }
    }
}

// The example file in data/mechanisms reads back to the built-in rows exactly.
TEST(ProfileText, BuiltInExampleFileReadsBackExactly) {
    std::ifstream file(ZM_SOURCE_DIR "/data/mechanisms/built-in.csv", std::ios::binary);
    ASSERT_TRUE(file);
    std::ostringstream text;
    text << file.rdbuf();
    const Read r = read(text.str());
    ASSERT_EQ(r.fault, "");
    const LiftProfile b = LiftProfile::builtIn();
    ASSERT_EQ(r.profile.rows(), b.rows());
    for (std::size_t i = 0; i < b.rows(); ++i) {
        EXPECT_EQ(std::bit_cast<std::uint64_t>(r.profile.angle[i]), std::bit_cast<std::uint64_t>(b.angle[i]));
        EXPECT_EQ(std::bit_cast<std::uint64_t>(r.profile.lift[i]), std::bit_cast<std::uint64_t>(b.lift[i]));
    }
}

} // namespace
} // namespace zm::test
