#include "script/KeyScript.h"

#include "script/Quote.h"
#include "window/Sweep.h"

#include <array>
#include <charconv>
#include <utility>

namespace zm::script {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// A decimal number of digits only, within [lo, hi].
bool parseNumber(std::string_view s, long lo, long hi, long& out) {
    if (s.empty() || s.size() > 12) {
        return false;
    }
    for (const char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    const auto res = std::from_chars(s.data(), s.data() + s.size(), out);
    return res.ec == std::errc() && out >= lo && out <= hi;
}

// The keys a script names, with their codes.
constexpr std::array<std::pair<std::string_view, std::uint16_t>, 7> keyNames = {{
    {"space", 32},
    {"enter", 13},
    {"tab", 9},
    {"backspace", 8},
    {"comma", 44},
    {"slash", 47},
    {"esc", 27},
}};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// The one character that is all of s, in UTF-8; false if s is more or less
// than one character or not UTF-8.
bool oneCharacter(std::string_view s, char32_t& out) {
    const auto b = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    if (s.empty()) {
        return false;
    }
    std::size_t n = 0;
    char32_t c = 0;
    if (b(0) < 0x80) {
        n = 1;
        c = b(0);
    } else if (b(0) >= 0xC2 && b(0) < 0xE0) {
        n = 2;
        c = b(0) & 0x1F;
    } else if (b(0) >= 0xE0 && b(0) < 0xF0) {
        n = 3;
        c = b(0) & 0x0F;
    } else if (b(0) >= 0xF0 && b(0) < 0xF5) {
        n = 4;
        c = b(0) & 0x07;
    } else {
        return false;
    }
    if (s.size() != n) {
        return false;
    }
    for (std::size_t i = 1; i < n; ++i) {
        if ((b(i) & 0xC0) != 0x80) {
            return false;
        }
        c = (c << 6) | (b(i) & 0x3F);
    }
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    static constexpr char32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < least[n] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
        return false;
    }
    out = c;
    return true;
}

// A step as a message shows it: quoted, and cut short (at a character's start)
// when a script holds a very long one.
std::string shown(std::string_view step) {
    constexpr std::size_t most = 40;
    if (step.size() <= most) {
        return quoted(step);
    }
    std::size_t n = most;
    while (n > 0 && (static_cast<unsigned char>(step[n]) & 0xC0) == 0x80) {
        --n;
    }
    return quoted(step.substr(0, n)) + "...";
}

// Reads the key of a step into out; the reason if it is not one.
std::string parseKey(std::string_view key, std::string_view step, Step& out) {
    if (char32_t c = 0; oneCharacter(key, c)) {
        out.code = keyCodeOf(c);
        return {};
    }
    if (key == "dblclick") {
        out.kind = Step::Kind::dblclick;
        return {};
    }
    for (const auto& [name, code] : keyNames) {
        if (key == name) {
            out.code = code;
            return {};
        }
    }
    if (!key.empty() && key[0] == '#') {
        long code = 0;
        if (!parseNumber(key.substr(1), 0, 65535, code)) {
            return "step " + shown(step) + ": a key code must be a decimal number from 0 to 65535";
        }
        out.code = static_cast<std::uint16_t>(code);
        return {};
    }
    return "unknown step " + shown(step);
}

// Reads one step into s; the reason if it is not one.
std::string parseStep(std::string_view token, Step& s, int pumps) {
    std::string_view key = token;
    // '*' or '@' as the first character is the key itself.
    const std::size_t star = token.find('*', 1);
    if (star != std::string_view::npos) {
        key = token.substr(0, star);
        const std::string_view count = token.substr(star + 1);
        if (key.find('@', 1) != std::string_view::npos || count.find('@') != std::string_view::npos) {
            return "step " + shown(token) +
                   ": a step with a time cannot be repeated; write the timed step once";
        }
        long n = 0;
        if (!parseNumber(count, 1, maxRepeat, n)) {
            return "step " + shown(token) + ": a repeat must be *N with N from 1 to 1000000";
        }
        s.count = static_cast<std::uint32_t>(n);
    }
    const std::size_t at = key.find('@', 1);
    if (at != std::string_view::npos) {
        const std::string_view when = key.substr(at + 1);
        key = key.substr(0, at);
        const std::size_t dot = when.find('.');
        long frame = 0;
        long pump = 0;
        if (dot == std::string_view::npos || !parseNumber(when.substr(0, dot), 0, 1000000000, frame) ||
            !parseNumber(when.substr(dot + 1), 0, 1000000000, pump)) {
            return "step " + shown(token) + ": the time must be written F.N (frame F, event pump N)";
        }
        if (frame < 1) {
            return "step " + shown(token) + ": frames are counted from 1";
        }
        if (pump < 1 || pump > pumps) {
            return "step " + shown(token) + ": the event pump of a frame must be 1 to " +
                   std::to_string(pumps);
        }
        s.timed = true;
        s.frame = static_cast<std::int32_t>(frame);
        s.pump = static_cast<std::int32_t>(pump);
    }
    return parseKey(key, token, s);
}

// Calls f with each white-space separated token of the script, until f returns false.
template <class F> void forEachToken(std::string_view script, F f) {
    std::size_t i = 0;
    while (i < script.size()) {
        while (i < script.size() && isBlank(script[i])) {
            ++i;
        }
        std::size_t j = i;
        while (j < script.size() && !isBlank(script[j])) {
            ++j;
        }
        if (j > i && !f(script.substr(i, j - i))) {
            return;
        }
        i = j;
    }
}

} // namespace

std::vector<Step> readScript(std::string_view script, std::string& error, const std::function<void()>& poll,
                             int pumps) {
    constexpr std::size_t pollEvery = 1 << 14;
    error.clear();
    // Counted first, so that the steps take exactly their room: a script of tens
    // of millions of steps never holds a vector's spare half.
    std::size_t tokens = 0;
    forEachToken(script, [&](std::string_view) {
        if (++tokens % pollEvery == 0 && poll) {
            poll();
        }
        return true;
    });
    std::vector<Step> steps;
    steps.reserve(tokens);
    forEachToken(script, [&](std::string_view token) {
        Step s;
        error = parseStep(token, s, pumps);
        if (!error.empty()) {
            return false;
        }
        steps.push_back(s);
        if (steps.size() % pollEvery == 0 && poll) {
            poll();
        }
        return true;
    });
    if (!error.empty()) {
        return {};
    }
    return steps;
}

std::vector<Step> parseScript(std::string_view script, const std::function<void()>& poll, int pumps) {
    std::string error;
    std::vector<Step> steps = readScript(script, error, poll, pumps);
    if (!error.empty()) {
        throw ScriptError(error);
    }
    return steps;
}

void appendSweep(std::vector<Step>& steps) {
    Step x = parseScript("x").front();
    x.optional = true;
    x.count = Sweep::lastFrame;
    steps.push_back(x);
}

std::string scriptKey(const Step& step) {
    if (step.kind == Step::Kind::dblclick) {
        return "dblclick";
    }
    for (const auto& [name, code] : keyNames) {
        if (step.code == code) {
            return std::string(name);
        }
    }
    // A character that reads back as itself: not blank, not a control code, not
    // half of a pair; anything else by its code.
    const std::uint16_t c = step.code;
    if (c > 32 && c != 127 && !(c >= 0x80 && c < 0xA0) && !(c >= 0xD800 && c < 0xE000)) {
        std::string s;
        appendUtf8(s, c);
        return s;
    }
    return "#" + std::to_string(c);
}

std::string stepText(const Step& step) {
    std::string s = scriptKey(step);
    if (step.timed) {
        s += "@" + std::to_string(step.frame) + "." + std::to_string(step.pump);
    }
    if (step.count != 1) {
        s += "*" + std::to_string(step.count);
    }
    return s;
}

std::uint64_t countSteps(const std::vector<Step>& steps) {
    std::uint64_t n = 0;
    for (const Step& s : steps) {
        n += s.count;
    }
    return n;
}

} // namespace zm::script
