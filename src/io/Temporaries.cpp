#include "io/Temporaries.h"

#include "io/Paths.h"
#include "io/System.h"

#include <cerrno>
#include <fcntl.h>

namespace zm::io {

namespace {

// Temporary files open now; unnamed ones hold a descriptor until the commit, so
// past a share of the descriptor limit the next ones get names instead.
int openTemporaries = 0;

} // namespace

int openTemporary(const std::string& folder, std::string& name, bool& unnamed) {
    if (openTemporaries < sys::unnamedBudget()) {
        const int fd = sys::openUnnamed(folder);
        if (fd >= 0) {
            ++openTemporaries;
            name.clear();
            unnamed = true;
            return fd;
        }
        // Not on this file system: a named one, which also names the reason
        // when the folder cannot take any file.
    }
    for (int i = 0; i < 100; ++i) {
        std::string n = inFolder(folder, hiddenName());
        const int fd =
            sys::openFile(n.c_str(), O_CREAT | O_EXCL | O_RDWR | sys::openCloexec | sys::openBinary, 0600);
        if (fd >= 0) {
            ++openTemporaries;
            name = std::move(n);
            unnamed = false;
            return fd;
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    errno = EEXIST;
    return -1;
}

int closeTemporary(int fd) {
    --openTemporaries;
    return sys::close(fd);
}

} // namespace zm::io
