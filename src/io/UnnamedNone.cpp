// Systems without unnamed temporary files: every temporary is a named one.

#include "io/System.h"

#include <cerrno>
#include <string>

namespace zm::io::sys {

int unnamedBudget() {
    return 0;
}

int openUnnamed(const std::string&) {
    return -1;
}

int linkUnnamed(int, const std::string&) {
    return ENOSYS;
}

} // namespace zm::io::sys
