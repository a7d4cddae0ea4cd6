#pragma once

#include "window/KeyCodes.h"

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zm::script {

// A bad script or a script that cannot be played; the message names the step.
struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One step of a key script: a key character or a double click, delivered either
// at the next blocking wait (plain) or at event pump `pump` of frame `frame`. A
// plain step may stand for a run of the same key at `count` waits in a row
// (x*3 is x x x), so that a long script costs one step per written step.
struct Step {
    enum class Kind : std::uint8_t { key, dblclick };
    std::uint16_t code = 0;
    Kind kind = Kind::key;
    bool timed : 1 = false;
    bool optional : 1 = false; // added for the user (by --sweep): dropped quietly if the program ends first
    // From 1 the row pumps (three per profile row), then the pump that starts the wait.
    std::int32_t pump = 0;
    std::int32_t frame = 0;  // 1, 2, ... in the order frames start
    std::uint32_t count = 1; // the waits a plain step is delivered at, 1 to maxRepeat

    bool operator==(const Step&) const = default;
};

// Scripts are read in the millions of steps: a step stays this small.
static_assert(sizeof(Step) <= 16);

inline constexpr std::uint32_t maxRepeat = 1000000;

// Every frame pumps events three times per profile row (once per row in each
// phase) and once more as it starts its wait: 601 times with the built-in
// profile's 200 rows.
inline constexpr int pumpsPerFrame(int rows) {
    return 3 * rows + 1;
}
inline constexpr int builtInPumpsPerFrame = pumpsPerFrame(200);

// Steps separated by white space: KEY, KEY@F.N or KEY*N. KEY is one non-blank
// character (in UTF-8) or one of space, enter, tab, backspace, comma, slash, esc,
// #CODE (0..65535), dblclick. KEY*N is KEY at N waits in a row (N from 1 to
// 1,000,000); a timed step is never repeated.
// poll, when given, is called every few thousand steps: a long parse can be
// stopped by throwing from it.
// pumps is the event pumps of one frame, the most a timed step can name.
std::vector<Step> parseScript(std::string_view script, const std::function<void()>& poll = {},
                              int pumps = builtInPumpsPerFrame);

// The same for a program built without exceptions: on a bad step, no steps and
// the message parseScript would throw in `error` (empty when the script reads).
std::vector<Step> readScript(std::string_view script, std::string& error,
                             const std::function<void()>& poll = {}, int pumps = builtInPumpsPerFrame);

// Adds the rest of the sweep: a plain step for each frame after the first
// (Sweep::lastFrame of them, window/Sweep.h), marked optional so that those not
// needed when the program ends first are dropped quietly.
void appendSweep(std::vector<Step>& steps);

// How a step's key is written in a script (without its time or count): its
// name, the character itself, or #CODE; parseScript reads it back as the same key.
std::string scriptKey(const Step& step);

// The whole step as a script writes it: KEY, KEY@F.N or KEY*N. Messages show
// steps this way (through quoted()).
std::string stepText(const Step& step);

// The steps a script plays, runs counted one by one.
std::uint64_t countSteps(const std::vector<Step>& steps);

using zm::keyCodeOf;

} // namespace zm::script
