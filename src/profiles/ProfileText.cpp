#include "profiles/ProfileText.h"

#include "math/ShortestFloat.h"
#include "script/Quote.h"

#include <fast_float/fast_float.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <system_error>
#include <utility>
#include <vector>

namespace zm {

namespace {

// A decimal too large or too small for a double (whole, and well formed): an
// infinity when its first nonzero digit stands at 10^0 or above, zero below,
// with its sign.
double beyondTheDoubles(std::string_view text) {
    const bool negative = !text.empty() && text[0] == '-';
    std::size_t i = negative ? 1 : 0;
    long place = 0; // the power of ten of the first nonzero digit, once found
    bool found = false;
    long integerDigits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (!found && text[i] != '0') {
            found = true;
            place = integerDigits;
        }
        ++integerDigits;
    }
    if (found) {
        place = integerDigits - 1 - place;
    }
    if (i < text.size() && text[i] == '.') {
        for (++i, place = found ? place : 0; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            if (!found) {
                place = place - 1;
                found = text[i] != '0';
            }
        }
    }
    long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        const bool down = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
            ++i;
        }
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            exponent = std::min(exponent * 10 + (text[i] - '0'), 1000000L);
        }
        exponent = down ? -exponent : exponent;
    }
    const double magnitude = found && place + exponent >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -magnitude : magnitude;
}

} // namespace

bool readNumber(std::string_view text, double& out) {
    // fast_float reads a decimal correctly rounded (beyond the largest double,
    // an infinity), the same on every platform. It also takes "nan", "inf" and
    // "infinity", which are no numbers here, and no '+': the text is one sign
    // at most, then a digit or a point.
    const bool plus = !text.empty() && text[0] == '+';
    if (plus) {
        text.remove_prefix(1);
    }
    const std::size_t i = !plus && !text.empty() && text[0] == '-' ? 1 : 0;
    if (i >= text.size() || !((text[i] >= '0' && text[i] <= '9') || text[i] == '.')) {
        return false;
    }
    double value = 0;
    const char* end = text.data() + text.size();
    const fast_float::from_chars_result r = fast_float::from_chars(text.data(), end, value);
    if (r.ptr != end) {
        return false;
    }
    if (r.ec == std::errc::result_out_of_range) {
        // Newer fast_float reports a decimal beyond the doubles instead of
        // rounding it, and leaves the value as it was: it rounds to an infinity
        // or to zero, by the size of the decimal.
        value = beyondTheDoubles(text);
    } else if (r.ec != std::errc()) {
        return false;
    }
    out = value;
    return true;
}

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
    if (j == i || !readNumber(s.substr(0, i), angle) || !readNumber(s.substr(j), lift)) {
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
