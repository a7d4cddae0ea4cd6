#include "window/Form1.h"

namespace zm {

// Keys act on character codes, so any chord that produces one of these codes
// acts like the key named. Each test is made in turn; the continue flag flips
// for every key but Escape. The sweep adds ste to k when the frame is released,
// so comma steps back, Enter and Tab a tenth forward or back, Backspace and
// slash redraw the same frame, Space restarts and any other key steps on.
void Form1::Form_KeyPress(std::uint16_t keyAscii) {
    if (ended_) {
        return; // the program has ended; nothing more is handled
    }
    if (keyAscii == 44) { // comma
        k = k - 2 * ste;
    }
    if (keyAscii == 13) { // Enter
        k = k - 0.9 * ste;
    }
    if (keyAscii == 9) { // Tab
        k = k - 1.1 * ste;
    }
    if (keyAscii == 8) { // Backspace: overlays on or off
        acc = (acc + 1) % 2;
        k = k - ste;
    }
    if (keyAscii == 32) { // Space: back to the first frame
        k = k0 - ste;
    }
    if (keyAscii == 47) { // slash: clearing between frames on or off
        ccllss = (ccllss + 1) % 2;
        k = k - ste;
    }
    if (keyAscii == 27) { // Escape
        Cls();
        End();
        return;
    }
    kk = (kk + 1) % 2;
}

void Form1::Form_DblClick() {
    End();
}

} // namespace zm
