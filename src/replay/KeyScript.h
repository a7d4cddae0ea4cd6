#pragma once

#include "controls/KeyCodes.h"

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

// Adds the rest of the sweep: 62 plain steps, one for each frame after the
// first, marked optional so that those not needed when the program ends first
// are dropped quietly.
void appendSweep(std::vector<Step>& steps);

// How a step is written in a script (without its time): its name, the
// character itself, or #CODE; parseScript reads it back as the same step.
std::string scriptKey(const Step& step);

using zm::keyCodeOf;

} // namespace zm::replay
