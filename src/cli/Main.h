#pragma once

// The whole program of the renderer and of the trace program.

#include "cli/Options.h"
#include "cli/Run.h"

namespace zm::cli {

// Parses the arguments, runs, and reports. Returns the exit status: 0 done, 2
// bad input or an output that cannot be written; an interrupt ends the process
// as the signal would (status 128 + N) after cleaning up.
int main(Program p, int argc, char** argv, const CanvasMaker& makeCanvas = {});

} // namespace zm::cli
