#include "profiles/ProfileText.h"

#include <fast_float/fast_float.h>

#include <system_error>

namespace zm {

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
    if (r.ec != std::errc() || r.ptr != end) {
        return false;
    }
    out = value;
    return true;
}

std::string readProfileText(std::string_view, LiftProfile&) {
    return "profile files are not read yet";
}

} // namespace zm
