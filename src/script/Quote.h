#pragma once

#include <string>
#include <string_view>

namespace zm::script {

// A name or a step as it is shown in a message: between single quotes, with
// every byte that a terminal would act on written as an escape the shell reads
// back, so a message never sends raw control bytes and is never cut short.
// Control characters, DEL, NUL and bytes that are not UTF-8 are written as
// $'\n', $'\033', $'\000', $'\377'; a single quote as '\''. Valid UTF-8 text
// stands as it is:
//   quoted("a.png")        'a.png'
//   quoted("\x1b[31mRED")  ''$'\033''[31mRED'
std::string quoted(std::string_view s);

} // namespace zm::script
