#include "script/Quote.h"

namespace zm::script {

namespace {

// The length of the valid UTF-8 character at s[i] that is no control
// character (C1 controls, U+0080 to U+009F, included), or 0.
std::size_t printableUtf8(std::string_view s, std::size_t i) {
    const auto b = [&s](std::size_t j) { return static_cast<unsigned char>(s[j]); };
    const unsigned char c = b(i);
    if (c >= 0x20 && c < 0x7F) {
        return 1;
    }
    std::size_t n = 0;
    char32_t cp = 0;
    if (c >= 0xC2 && c < 0xE0) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c < 0xF0) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c < 0xF5) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size()) {
        return 0;
    }
    for (std::size_t j = 1; j < n; ++j) {
        if ((b(i + j) & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (b(i + j) & 0x3F);
    }
    const bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
    const bool surrogate = cp >= 0xD800 && cp < 0xE000;
    const bool c1 = cp >= 0x80 && cp < 0xA0;
    if (overlong || surrogate || c1 || cp > 0x10FFFF) {
        return 0;
    }
    return n;
}

void escape(std::string& out, unsigned char c) {
    switch (c) {
    case '\a':
        out += "\\a";
        return;
    case '\b':
        out += "\\b";
        return;
    case '\f':
        out += "\\f";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    case '\v':
        out += "\\v";
        return;
    default:
        break;
    }
    out.push_back('\\');
    out.push_back(static_cast<char>('0' + ((c >> 6) & 7)));
    out.push_back(static_cast<char>('0' + ((c >> 3) & 7)));
    out.push_back(static_cast<char>('0' + (c & 7)));
}

} // namespace

std::string quoted(std::string_view s) {
    std::string out = "'";
    bool open = true; // inside '...'
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t n = printableUtf8(s, i);
        if (n > 0) {
            if (!open) {
                out += "'";
                open = true;
            }
            if (s[i] == '\'') {
                out += "'\\''";
            } else {
                out.append(s, i, n);
            }
            i += n;
            continue;
        }
        // A run of bytes that need escapes goes into one $'...'.
        out += open ? "'$'" : "$'";
        while (i < s.size() && printableUtf8(s, i) == 0) {
            escape(out, static_cast<unsigned char>(s[i]));
            ++i;
        }
        out += "'";
        open = false;
    }
    if (open) {
        out += "'";
    }
    return out;
}

} // namespace zm::script
