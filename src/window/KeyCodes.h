#pragma once

#include <cstdint>

namespace zm {

// The code a typed character is delivered to the key handler as: itself up to
// U+FFFF. A character beyond that, which the program's 16-bit key codes cannot
// hold, is one press of U+FFFD: a plain step like any other character, never
// two halves that would each count as a key.
inline std::uint16_t keyCodeOf(char32_t c) {
    return c <= 0xFFFF ? static_cast<std::uint16_t>(c) : std::uint16_t{0xFFFD};
}

} // namespace zm
