#include "window/RecordingSurface.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zm {

namespace {

// The digits and decimal exponent of v printed with `digits` significant digits.
struct Decimal {
    std::string digits; // without sign or point, no trailing zeros beyond the first
    int exponent = 0;   // of the first digit
};

Decimal decimal(float v, int digits) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*e", digits - 1, static_cast<double>(v));
    Decimal d;
    const char* p = buf;
    if (*p == '-') {
        ++p;
    }
    for (; *p != 'e'; ++p) {
        if (*p != '.') {
            d.digits.push_back(*p);
        }
    }
    d.exponent = std::atoi(p + 1);
    return d;
}

// The decimal one unit away in its last digit.
Decimal step(const Decimal& d, int by) {
    const int n = static_cast<int>(d.digits.size());
    long long m = std::atoll(d.digits.c_str()) + by;
    long long low = 1;
    for (int i = 1; i < n; ++i) {
        low *= 10;
    }
    Decimal out;
    out.exponent = d.exponent;
    if (m >= low * 10) {
        m = low;
        ++out.exponent;
    } else if (m < low) {
        if (n == 1) {
            return out; // no n-digit neighbour below 1
        }
        m = low * 10 - 1;
        --out.exponent;
    }
    out.digits = std::to_string(m);
    return out;
}

bool readsBack(const Decimal& d, bool negative, float v) {
    const std::string s = (negative ? "-0." : "0.") + d.digits + "e" + std::to_string(d.exponent + 1);
    return std::strtof(s.c_str(), nullptr) == v;
}

} // namespace

// Written the shorter way of plain and scientific (plain when both are as long):
// "165.6002", "-75", "1e-05". The same text as std::to_chars gives, built from
// printf and strtof alone so that every standard library writes it alike.
std::string shortestFloat(float v) {
    if (v == 0) {
        return std::signbit(v) ? "-0" : "0";
    }
    const bool negative = std::signbit(v);
    Decimal d;
    for (int n = 1; n <= 9; ++n) {
        d = decimal(v, n);
        if (readsBack(d, negative, v)) {
            break;
        }
        // Next to a power of two the floats below are twice as dense as those
        // above, so the nearest n digits may miss while their neighbour reads back.
        if (const Decimal up = step(d, +1); readsBack(up, negative, v)) {
            d = up;
            break;
        }
        if (const Decimal down = step(d, -1); !down.digits.empty() && readsBack(down, negative, v)) {
            d = down;
            break;
        }
    }
    while (d.digits.size() > 1 && d.digits.back() == '0') {
        d.digits.pop_back();
    }
    const int n = static_cast<int>(d.digits.size());
    const int e = d.exponent;
    std::string plain;
    if (e >= n - 1) {
        // A whole number: written in full, every digit exact (as wide as the
        // shortest digits padded with zeros).
        char whole[64];
        std::snprintf(whole, sizeof whole, "%.0f", std::fabs(static_cast<double>(v)));
        plain = whole;
    } else if (e >= 0) {
        plain = d.digits.substr(0, static_cast<std::size_t>(e + 1)) + "." +
                d.digits.substr(static_cast<std::size_t>(e + 1));
    } else {
        plain = "0." + std::string(static_cast<std::size_t>(-e - 1), '0') + d.digits;
    }
    std::string sci = d.digits.substr(0, 1);
    if (n > 1) {
        sci += "." + d.digits.substr(1);
    }
    char exp[16];
    std::snprintf(exp, sizeof exp, "e%c%02d", e < 0 ? '-' : '+', e < 0 ? -e : e);
    sci += exp;
    return (negative ? "-" : "") + (sci.size() < plain.size() ? sci : plain);
}

namespace {

void appendFloat(std::string& out, float v) {
    out.push_back(' ');
    out += shortestFloat(v);
}

} // namespace

std::string traceLine(const Op& op) {
    switch (op.kind) {
    case Op::Kind::cls:
        return "cls";
    case Op::Kind::wait:
        return "wait";
    case Op::Kind::end:
        return "end";
    case Op::Kind::line:
        break;
    }
    std::string out = "line";
    appendFloat(out, op.x1);
    appendFloat(out, op.y1);
    appendFloat(out, op.x2);
    appendFloat(out, op.y2);
    char tail[32];
    std::snprintf(tail, sizeof tail, " %d 0x%08X", op.width, static_cast<unsigned>(op.colour));
    out += tail;
    return out;
}

void RecordingSurface::line(float x1, float y1, float x2, float y2, Colour c) {
    record(Op{Op::Kind::line, x1, y1, x2, y2, width_, c});
    if (forward_ != nullptr) {
        forward_->line(x1, y1, x2, y2, c);
    }
}

void RecordingSurface::setDrawWidth(int pixels) {
    width_ = pixels;
    if (forward_ != nullptr) {
        forward_->setDrawWidth(pixels);
    }
}

void RecordingSurface::setForeColor(Colour c) {
    fore_ = c;
    if (forward_ != nullptr) {
        forward_->setForeColor(c);
    }
}

void RecordingSurface::cls() {
    record(Op{Op::Kind::cls});
    if (forward_ != nullptr) {
        forward_->cls();
    }
}

} // namespace zm
