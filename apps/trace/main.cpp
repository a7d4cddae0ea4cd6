// zebo-morlix-trace: the renderer's command line without the raster and PDF
// pictures, for any platform with a C++ standard library (compiled to
// WebAssembly, it runs under Node): plays a key script and writes the trace of
// drawing operations, the SVG picture and its points. What each platform does
// around the run is in platform/.

#include "cli/Main.h"
#include "platform/Platform.h"

int main(int argc, char** argv) {
    zm::trace::beforeRun(argc, argv);
    const int status = zm::cli::main(zm::cli::Program::trace, argc, argv);
    return zm::trace::runEnds(status);
}
