// The trace program on a POSIX system: the arguments come in the bytes the run
// reads and the standard output writes them as they are.

#include "Platform.h"

namespace zm::trace {

void beforeRun(int&, char**&) {}

int runEnds(int status) {
    return status;
}

} // namespace zm::trace
