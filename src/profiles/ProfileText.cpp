#include "profiles/ProfileText.h"

#include "math/ReadDouble.h"
#include "math/ShortestFloat.h"
#include "script/Quote.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace zm {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// A line as a message shows it: quoted, control bytes and bytes that are not
// UTF-8 escaped, and cut after 60 bytes (at the start of a character).
std::string shown(std::string_view line) {
    constexpr std::size_t longest = 60;
    if (line.size() <= longest) {
        return script::quoted(line);
    }
    std::size_t cut = longest;
    while (cut > longest - 3 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return script::quoted(line.substr(0, cut)) + "...";
}

std::string lineName(std::size_t n) {
    return "line " + std::to_string(n);
}

std::string linesName(std::size_t a, std::size_t b) {
    return "lines " + std::to_string(a) + " and " + std::to_string(b);
}

std::string number(double v) {
    return cr::shortestDouble(v);
}

enum class Row { two, notTwo, notFinite };

// A row's text (blanks and comment already cut off): two numbers with one
// separator between them, a comma or a semicolon (blanks around it allowed),
// or blanks alone.
Row readRow(std::string_view s, double& angle, double& lift) {
    const auto separator = [](char c) { return isBlank(c) || c == ',' || c == ';'; };
    std::size_t i = 0;
    while (i < s.size() && !separator(s[i])) {
        ++i;
    }
    std::size_t j = i;
    while (j < s.size() && isBlank(s[j])) {
        ++j;
    }
    if (j < s.size() && (s[j] == ',' || s[j] == ';')) {
        ++j;
        while (j < s.size() && isBlank(s[j])) {
            ++j;
        }
    }
    if (j == i || !cr::readDouble(s.substr(0, i), angle) || !cr::readDouble(s.substr(j), lift)) {
        return Row::notTwo;
    }
    return std::isfinite(angle) && std::isfinite(lift) ? Row::two : Row::notFinite;
}

} // namespace

// One pass over the text, line by line, each row checked against the one
// before it as it is read: the time is linear in the text, and the memory the
// rows themselves.
std::string readProfileText(std::string_view text, LiftProfile& out) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    std::vector<double> angle;
    std::vector<double> lift;
    std::size_t headerLine = 0;   // the header's line, 0 while there is none
    std::size_t previousLine = 0; // the line of the last row read
    int direction = 0;            // -1 falling, +1 rising, 0 before the second row
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const std::string_view content = trimmed(line.substr(0, line.find('#')));
        if (content.empty()) {
            continue; // a blank line or a comment
        }
        double a = 0;
        double l = 0;
        const Row row = readRow(content, a, l);
        if (row == Row::notFinite) {
            return lineName(lineNumber) + ": " + shown(line) +
                   " has a number beyond the largest double: give the angle and lift as finite numbers";
        }
        if (row == Row::notTwo) {
            if (angle.empty() && headerLine == 0) {
                headerLine = lineNumber;
                continue;
            }
            std::string why = lineName(lineNumber) + ": " + shown(line) + " is not two numbers (angle, lift)";
            if (angle.empty()) {
                why += ", and " + lineName(headerLine) + " is the header already";
            }
            return why + ": write each row as angle and lift";
        }
        if (angle.size() == LiftProfile::maxRows) {
            return "the profile has more than " + std::to_string(LiftProfile::maxRows) + " rows (" +
                   lineName(lineNumber) + " is row " + std::to_string(LiftProfile::maxRows + 1) +
                   "): give from " + std::to_string(LiftProfile::minRows) + " to " +
                   std::to_string(LiftProfile::maxRows);
        }
        if (!angle.empty()) {
            const double before = angle.back();
            if (a == before) {
                return linesName(previousLine, lineNumber) + " have the same angle (" + number(a) +
                       "): give each row an angle of its own";
            }
            const int step = a < before ? -1 : 1;
            if (direction == 0) {
                direction = step;
            } else if (step != direction) {
                return linesName(previousLine, lineNumber) + " turn back (angles " + number(before) +
                       " and " + number(a) + " after " + (direction < 0 ? "falling" : "rising") +
                       "): give the angles in one direction";
            }
        }
        angle.push_back(a);
        lift.push_back(l);
        previousLine = lineNumber;
    }
    if (angle.size() < LiftProfile::minRows) {
        return "the profile has " + std::to_string(angle.size()) + (angle.size() == 1 ? " row" : " rows") +
               ": give from " + std::to_string(LiftProfile::minRows) + " to " +
               std::to_string(LiftProfile::maxRows);
    }
    // The program's direction: the angle falling from row to row.
    if (direction > 0) {
        std::reverse(angle.begin(), angle.end());
        std::reverse(lift.begin(), lift.end());
    }
    out.angle = std::move(angle);
    out.lift = std::move(lift);
    out.second.clear();
    return {};
}

} // namespace zm
