#include "Harness.h"
#include "LiftLaws.h"
#include "window/Mechanism.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace zm::test {
namespace {

// The examples in data/mechanisms, as the program takes them.

// The polynomial profile's rows, read plainly: '#' comments, a header, then
// "angle,lift".
LiftProfile readPolynomialCsv() {
    std::ifstream in(std::string(ZM_SOURCE_DIR) + "/data/mechanisms/polynomial.csv");
    EXPECT_TRUE(in.good());
    LiftProfile p;
    std::string line;
    bool header = false;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (!header) {
            EXPECT_EQ(line, "angle,lift");
            header = true;
            continue;
        }
        const std::size_t comma = line.find(',');
        p.angle.push_back(std::strtod(line.substr(0, comma).c_str(), nullptr));
        p.lift.push_back(std::strtod(line.substr(comma + 1).c_str(), nullptr));
    }
    return p;
}

TEST(MechanismExamples, PolynomialProfileIsTheLawAtHalfDegrees) {
    const LiftProfile file = readPolynomialCsv();
    const LiftProfile law = polynomialProfile(361);
    ASSERT_EQ(file.rows(), 361u);
    for (std::size_t i = 0; i < file.rows(); ++i) {
        EXPECT_EQ(file.angle[i], 90 - 0.5 * static_cast<double>(i)) << "row " << i + 1;
        EXPECT_EQ(file.lift[i], law.lift[i]) << "row " << i + 1;
    }
    EXPECT_EQ(file.lift.front(), 0);
    EXPECT_EQ(file.lift.back(), 0);
    EXPECT_EQ(file.lift[180], 9.5);
    EXPECT_EQ(mechanismFault(with(Linkage{}, file)), "");
}

// The file's one option line, "--linkage G,C,K,R", below its comment.
Linkage readStretchingTxt() {
    std::ifstream in(std::string(ZM_SOURCE_DIR) + "/data/mechanisms/stretching.txt");
    std::string comment, option;
    std::getline(in, comment);
    std::getline(in, option);
    EXPECT_EQ(comment.substr(0, 2), "# ");
    Linkage l{};
    EXPECT_EQ(
        std::sscanf(option.c_str(), "--linkage %lf,%lf,%lf,%lf", &l.ground, &l.crank, &l.coupler, &l.rocker),
        4)
        << option;
    return l;
}

// The largest change of the moving trace's event duration against the first
// profile's over the whole sweep, in per cent, as the program records it.
double largestStretch(const Mechanism& m, double& atK) {
    picture::RecordingSurface rec;
    SweepHost host;
    Form1 form(rec, host, m);
    host.form = &form;
    form.run();
    const double first = form.firstProfileEvent().duration;
    EXPECT_EQ(form.frameEvents().size(), 63u);
    double most = 0;
    for (const FrameEvents& e : form.frameEvents()) {
        const double change = 100 * (e.movingTrace.duration - first) / first;
        if (std::fabs(change) > std::fabs(most)) {
            most = change;
            atK = e.k;
        }
    }
    return most;
}

// The stretching linkage assembles at every crank angle, settles with both
// the built-in and the polynomial rows, and changes the event's duration by a
// larger share than the built-in linkage does.
TEST(MechanismExamples, StretchingLinkageStretchesTheEventMore) {
    const Linkage l = readStretchingTxt();
    ASSERT_EQ(linkageFault(l), "");
    for (const LiftProfile& p : {LiftProfile::builtIn(), readPolynomialCsv()}) {
        ASSERT_EQ(mechanismFault(with(l, p)), "");
        double kBuiltIn = 0, kStretching = 0;
        const double builtIn = largestStretch(with(Linkage{}, p), kBuiltIn);
        const double more = largestStretch(with(l, p), kStretching);
        std::printf("%zu rows: the built-in linkage changes the duration by %+.1f %% (k %g), this one by "
                    "%+.1f %% (k %g)\n",
                    p.rows(), builtIn, kBuiltIn, more, kStretching);
        EXPECT_GT(std::fabs(more), std::fabs(builtIn) * 1.4);
    }
}

} // namespace
} // namespace zm::test
