#include "PageMechanism.h"

#include "math/ReadDouble.h"
#include "math/ShortestFloat.h"

#include <algorithm>
#include <optional>

namespace zm::page {

namespace {

// The text's pieces between separators; always at least one.
std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> out;
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find(separator, at);
        out.push_back(text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
        if (end == std::string_view::npos) {
            return out;
        }
        at = end + 1;
    }
}

std::string quoted(std::string_view text) {
    return "'" + std::string(text.substr(0, 40)) + (text.size() > 40 ? "...'" : "'");
}

} // namespace

std::string readLengths(std::string_view text, Mechanism& m) {
    static const char* const names[] = {"ground", "crank", "coupler", "rocker", "radius", "rod"};
    double* const lengths[] = {&m.linkage.ground, &m.linkage.crank,      &m.linkage.coupler,
                               &m.linkage.rocker, &m.sliderCrank.radius, &m.sliderCrank.rod};
    const std::vector<std::string_view> parts = split(text, ',');
    if (parts.size() != 7) {
        return "a mechanism is six lengths and a checking lift, not " + quoted(text);
    }
    for (int i = 0; i < 6; ++i) {
        if (!cr::readDouble(parts[i], *lengths[i])) {
            return std::string("the ") + names[i] + " is " + quoted(parts[i]) +
                   ", not a number: write a positive length";
        }
    }
    m.checkingLift.reset();
    if (!parts[6].empty()) {
        double l = 0;
        if (!cr::readDouble(parts[6], l)) {
            return "the checking lift is " + quoted(parts[6]) +
                   ", not a number: write a positive lift, or nothing for a tenth of the greatest lift";
        }
        m.checkingLift = l;
    }
    return {};
}

void fallingRows(LiftProfile& p) {
    if (p.rows() > 1 && p.angle.front() < p.angle.back()) {
        std::reverse(p.angle.begin(), p.angle.end());
        std::reverse(p.lift.begin(), p.lift.end());
    }
}

std::string readMechanismText(std::string_view text, Mechanism& m) {
    const std::size_t rowsAt = text.find(';');
    if (std::string fault = readLengths(text.substr(0, rowsAt), m); !fault.empty()) {
        return fault;
    }
    if (rowsAt == std::string_view::npos) {
        m.profile = LiftProfile::builtIn();
        return {};
    }
    LiftProfile p;
    const std::vector<std::string_view> rows = split(text.substr(rowsAt + 1), ';');
    if (rows.size() > LiftProfile::maxRows) {
        return "the profile has more than " + std::to_string(LiftProfile::maxRows) + " rows";
    }
    p.angle.resize(rows.size());
    p.lift.resize(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::size_t comma = rows[i].find(',');
        if (comma == std::string_view::npos || !cr::readDouble(rows[i].substr(0, comma), p.angle[i]) ||
            !cr::readDouble(rows[i].substr(comma + 1), p.lift[i])) {
            return "profile row " + std::to_string(i + 1) + " is " + quoted(rows[i]) +
                   ", not an angle and a lift";
        }
    }
    fallingRows(p);
    m.profile = std::move(p);
    return {};
}

bool builtInRows(const Mechanism& m) {
    static const LiftProfile builtIn = LiftProfile::builtIn();
    return m.profile.angle == builtIn.angle && m.profile.lift == builtIn.lift;
}

std::string mechanismText(const Mechanism& m, bool allRows) {
    std::string out;
    for (const double v : {m.linkage.ground, m.linkage.crank, m.linkage.coupler, m.linkage.rocker,
                           m.sliderCrank.radius, m.sliderCrank.rod}) {
        out += cr::shortestDouble(v) + ",";
    }
    if (m.checkingLift) {
        out += cr::shortestDouble(*m.checkingLift);
    }
    if (allRows || !builtInRows(m)) {
        for (std::size_t i = 0; i < m.profile.rows(); ++i) {
            out += ";" + cr::shortestDouble(m.profile.angle[i]) + "," + cr::shortestDouble(m.profile.lift[i]);
        }
    }
    return out;
}

} // namespace zm::page
