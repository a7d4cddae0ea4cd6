#pragma once

#include <string>
#include <string_view>

namespace zm::io {

// The renderer's frame names: frame-NNNN.png with 4 or more digits.
bool isFrameName(std::string_view name);
// The path of frame n in folder, its number with at least digits digits.
std::string frameName(const std::string& folder, int n, int digits);

} // namespace zm::io
