#pragma once

#include "window/Mechanism.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace zm {

// The largest profile text read: a file beyond it is refused before it is read.
inline constexpr std::size_t maxProfileTextBytes = std::size_t{64} << 20;

// Reads a lift profile written as text: rows of "angle, lift", the two numbers
// separated by a comma, a semicolon, tabs or spaces; one header line, '#'
// comments, blank lines, CRLF line ends and a UTF-8 byte-order mark are allowed.
// The rows may come in either direction of angle and are kept falling. On
// success fills out.angle and out.lift (out.second is cleared) and returns
// empty; otherwise returns one line naming the line(s) of the text at fault.
std::string readProfileText(std::string_view text, LiftProfile& out);

} // namespace zm
