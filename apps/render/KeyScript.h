#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zm::replay {

// A bad script or a script that cannot be played; the message names the step.
struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One step of a key script: a key character or a double click, delivered either
// at the next blocking wait (plain) or at event pump `pump` of frame `frame`.
struct Step {
    enum class Kind { key, dblclick };
    Kind kind = Kind::key;
    std::uint16_t code = 0;
    bool timed = false;
    int frame = 0;         // 1, 2, ... in the order frames start
    int pump = 0;          // 1..600 the row pumps, 601 the pump that starts the wait
    std::string text;      // as written, for messages
    bool optional = false; // added for the user (by --sweep): dropped quietly if the program ends first

    bool operator==(const Step&) const = default;
};

inline constexpr int pumpsPerFrame = 601;

// Steps separated by white space: KEY or KEY@F.N. KEY is one non-blank character
// (in UTF-8) or one of space, enter, tab, backspace, comma, slash, esc, #CODE
// (0..65535), dblclick.
std::vector<Step> parseScript(std::string_view script);

// The code a typed character is delivered as: itself up to U+FFFF; a character
// beyond that, which the program's 16-bit key codes cannot hold, arrives as one
// press of U+FFFD, a plain step like any other character.
inline std::uint16_t keyCodeOf(char32_t c) {
    return c <= 0xFFFF ? static_cast<std::uint16_t>(c) : std::uint16_t{0xFFFD};
}

} // namespace zm::replay
