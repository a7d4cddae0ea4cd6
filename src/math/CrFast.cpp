#include "math/CrFast.h"

namespace zm::cr::detail {

namespace {

Tables makeTables() {
    Tables t{};
    const Fixed step = fromDouble(0x1p-8);
    const Fixed sinStep = sinFixed(step);
    const Fixed cosStep = cosFixed(step);
    Fixed sa{};
    Fixed ca = fixedInt(1);
    for (int j = 0; j < 204; ++j) {
        double* row = t.sinCos[j];
        toPair(sa, row[0], row[1]);
        toPair(ca, row[2], row[3]);
        split(row[0], row[4], row[5]);
        split(row[2], row[6], row[7]);
        // sin(a + s) = sin a cos s + cos a sin s, cos(a + s) = cos a cos s -
        // sin a sin s; every value stays between 0 and 1.
        const Fixed ns = add(mul(sa, cosStep), mul(ca, sinStep));
        const Fixed nc = sub(mul(ca, cosStep), mul(sa, sinStep));
        sa = ns;
        ca = nc;
    }
    for (int j = 0; j < 257; ++j) {
        const Fixed v = atanFixed(fromDouble(j * 0x1p-8));
        // v rounded to a multiple of 2^-52 (at fraction bit 52 from the top);
        // never a tie, atan of a nonzero rational being irrational.
        constexpr int cut = fracBits - 52;
        Fixed r = v;
        Fixed half{};
        half.w[(cut - 1) / 32] = u32{1} << ((cut - 1) % 32);
        r = add(r, half);
        for (int b = 0; b < cut; ++b) {
            r.w[b / 32] &= ~(u32{1} << (b % 32));
        }
        t.atan[j][0] = isZero(r) ? 0.0 : toDouble(r);
        const int cmp = compare(v, r);
        t.atan[j][1] = cmp == 0 ? 0.0 : cmp > 0 ? toDouble(sub(v, r)) : -toDouble(sub(r, v));
    }
    return t;
}

} // namespace

// Made once, by the first call from any thread. The fast paths only test the
// flag (a plain load where the processor orders loads itself); the first
// callers go through the function-local static, whose initialisation the
// language runs once while other threads wait, and the flag is set with release
// order after the tables are written, so that a thread that sees it set sees
// them too.
Tables tablesStore;
std::atomic<bool> tablesMade{false};

[[gnu::noinline]] void makeTablesOnce() {
    static const bool made = [] {
        tablesStore = makeTables();
        tablesMade.store(true, std::memory_order_release);
        return true;
    }();
    (void)made;
}

// sin r and cos r together, sharing the table row and the terms in t, each
// computed with the same operations as sinCosCore gives it alone (so within the
// same bounds).
void sinCosCoreBoth(double rh, double rl, DD& sr, DD& cr) {
    const CoreTerms k = coreTerms(rh, rl);
    sr = coreValue(k, 0);
    cr = coreValue(k, 1);
}

// sin x and cos x from one reduction, for 2^-26 <= |x| < inf: the same values
// and bounds as sinCosFast gives each alone.
void sinCosFastBoth(double x, detail::Approx& s, detail::Approx& c) {
    const FastReduced fr = reduceFast(fabsOf(x));
    const int rneg = fr.rh < 0;
    const double rs = unitSign[rneg];
    DD core[2];
    sinCosCoreBoth(rs * fr.rh, rs * fr.rl, core[0], core[1]);
    const Quadrant qs = quadrant(fr.n, rneg, x, 0);
    const Quadrant qc = quadrant(fr.n, rneg, x, 1);
    s = placed(core[qs.c], qs.sign, fr.er);
    c = placed(core[qc.c], qc.sign, fr.er);
}

} // namespace zm::cr::detail
