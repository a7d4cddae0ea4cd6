#include "cli/MechanismOptions.h"

#include "cli/ScriptFile.h"
#include "math/ReadDouble.h"
#include "profiles/ProfileText.h"
#include "script/Quote.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace zm::cli {

using script::quoted;

namespace {

void fail(const std::string& message) {
    throw UsageError(message);
}

// Exactly n numbers separated by commas, each read by cr::readDouble; false when
// the text is anything else.
bool readNumbers(std::string_view text, std::size_t n, std::vector<double>& out) {
    out.clear();
    for (;;) {
        const std::size_t comma = text.find(',');
        double v = 0;
        if (!cr::readDouble(text.substr(0, comma), v)) {
            return false;
        }
        out.push_back(v);
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
    }
    return out.size() == n;
}

// How --profile is named in messages: with its file.
std::string profileOption(const std::string& name) {
    return "--profile " + inputName(name);
}

} // namespace

void setLinkage(Options& o, const Option&, const std::string& value) {
    std::vector<double> v;
    if (!readNumbers(value, 4, v)) {
        fail("--linkage wants four lengths GROUND,CRANK,COUPLER,ROCKER, not " + quoted(value));
    }
    o.mechanism.linkage = Linkage{v[0], v[1], v[2], v[3]};
}

void setSliderCrank(Options& o, const Option&, const std::string& value) {
    std::vector<double> v;
    if (!readNumbers(value, 2, v)) {
        fail("--slider-crank wants two lengths RADIUS,ROD, not " + quoted(value));
    }
    o.mechanism.sliderCrank = SliderCrank{v[0], v[1]};
}

// After --keys-file in the table, which has set keysFile when it is given.
void setProfile(Options& o, const Option&, const std::string& value) {
    if (value.empty()) {
        fail("--profile needs a file name, or - for standard input");
    }
    if (value == "-" && o.keysFile == "-") {
        fail("--keys-file and --profile cannot both read standard input: give one of them a file");
    }
    o.profile = value;
}

void setCheckingLift(Options& o, const Option&, const std::string& value) {
    double v = 0;
    if (!cr::readDouble(value, v)) {
        fail("--checking-lift wants a lift, one number, not " + quoted(value));
    }
    o.mechanism.checkingLift = v;
}

Mechanism mechanismOf(const Options& o) {
    Mechanism m = o.mechanism;
    if (!o.profile.empty()) {
        const std::string text =
            readInputFile(o.profile, "--profile", maxProfileTextBytes,
                          "the profile " + inputName(o.profile) + " is over 64 MiB: give at most " +
                              std::to_string(LiftProfile::maxRows) + " rows");
        if (std::string f = readProfileText(text, m.profile); !f.empty()) {
            fail(profileOption(o.profile) + ": " + f);
        }
    }
    // Each part's fault names the option that gives it; what is left, the
    // second profile that does not settle, comes of the profile and the
    // linkage together, and names the profile when there is one.
    const auto check = [](const std::string& option, const std::string& fault) {
        if (!fault.empty()) {
            fail(option + ": " + fault);
        }
    };
    const std::string profile = o.profile.empty() ? std::string("--linkage") : profileOption(o.profile);
    check("--linkage", linkageFault(m.linkage));
    check("--slider-crank", sliderCrankFault(m.sliderCrank));
    check(profile, profileFault(m.profile));
    check("--checking-lift", checkingLiftFault(m));
    check(profile, prepareMechanism(m));
    return m;
}

} // namespace zm::cli
