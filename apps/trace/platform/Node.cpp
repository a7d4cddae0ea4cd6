// The trace program compiled to WebAssembly, under the launcher for Node
// (node-launch.js), which must hear from the program that its run has ended.

#include "Platform.h"

#include <cstdlib>
#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>

namespace {

// Tells the launcher under Node (node-launch.js) that the run has come to its
// end with this status: a runtime that ends the program before this is said to
// have failed, and never passes for a run that succeeded.
EM_JS(void, hostRunEnds, (int status), { zmNode.runEnds(status); });

} // namespace

namespace zm::trace {

void beforeRun(int&, char**&) {}

int runEnds(int status) {
    // Under Node main may have returned already, for the while, at the
    // program's first pause for the event loop (the runtime then waits): the
    // status is given here, where the run really ends.
    hostRunEnds(status);
    std::exit(status);
}

} // namespace zm::trace
