// Writes the built-in first profile as a profile file, the format's example
// (data/mechanisms/built-in.csv): a header, then one row of angle and lift for
// each row of the table, in its order, every number as its shortest text.
#include "math/ShortestFloat.h"
#include "window/Mechanism.h"

#include <cstdio>
#include <string>

int main() {
    const zm::LiftProfile p = zm::LiftProfile::builtIn();
    std::string text =
        "# The built-in first profile: cam angle in degrees, falling from row to row, and lift.\n"
        "# Remade by: build/bin/zm_built_in_csv > data/mechanisms/built-in.csv\n"
        "angle,lift\n";
    for (std::size_t i = 0; i < p.rows(); ++i) {
        text += zm::cr::shortestDouble(p.angle[i]) + "," + zm::cr::shortestDouble(p.lift[i]) + "\n";
    }
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0 ? 0
                                                                                                       : 1;
}
