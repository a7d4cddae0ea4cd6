// zebo-morlix-trace: the renderer's command line without the raster and PDF
// pictures, for any platform with a C++ standard library (compiled to
// WebAssembly, it runs under Node): plays a key script and writes the trace of
// drawing operations, the SVG picture and its points.

#include "CommandLine.h"

int main(int argc, char** argv) {
    return zm::cli::main(zm::cli::Program::trace, argc, argv);
}
