#pragma once

namespace zm {

// Qt's AVX2 raster routines return with the upper halves of the vector registers
// still in use. Plain SSE arithmetic after them then pays a state transition on
// every instruction, which makes the program's own sines, roots and arctangents
// up to nine times slower. Clearing the upper halves after each call into Qt
// keeps them at full speed; the lower halves, and so every result, are untouched.
inline void releaseUpperVectorState() {
#if defined(__x86_64__)
    static const bool avx = __builtin_cpu_supports("avx");
    if (avx) {
        asm volatile("vzeroupper");
    }
#endif
}

} // namespace zm
