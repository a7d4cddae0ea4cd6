#include "io/FrameNames.h"

#include <algorithm>

namespace zm::io {

namespace {
constexpr std::string_view head = "frame-";
constexpr std::string_view tail = ".png";
} // namespace

bool isFrameName(std::string_view name) {
    if (name.size() < head.size() + 4 + tail.size() || name.substr(0, head.size()) != head ||
        name.substr(name.size() - tail.size()) != tail) {
        return false;
    }
    const std::string_view digits = name.substr(head.size(), name.size() - head.size() - tail.size());
    return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The folder as given, one trailing separator dropped, then a separator unless
// it ends with one already ("." for an empty folder).
std::string frameName(const std::string& folder, int n, int digits) {
    std::string number = std::to_string(n);
    if (static_cast<int>(number.size()) < digits) {
        number.insert(0, static_cast<std::size_t>(digits) - number.size(), '0');
    }
    std::string path = folder.empty() ? std::string(".") : folder;
    if (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    if (path.back() != '/') {
        path += '/';
    }
    return path + std::string(head) + number + std::string(tail);
}

} // namespace zm::io
