#pragma once

// What the trace program does on its platform around the run, which is the
// same everywhere: one file for each platform (Posix.cpp, Node.cpp,
// Windows.cpp), chosen by apps/trace/CMakeLists.txt.

namespace zm::trace {

// Before the run: the arguments as the run reads them, in UTF-8 on every
// platform, and the standard output as the run writes it, byte for byte.
void beforeRun(int& argc, char**& argv);

// The run has ended with this status: returns the status main returns.
int runEnds(int status);

} // namespace zm::trace
