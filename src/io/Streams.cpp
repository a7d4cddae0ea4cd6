#include "io/Streams.h"

#include "io/Signals.h"
#include "io/System.h"

#include <algorithm>
#include <cerrno>

namespace zm::io {

int openMayBlock(const char* path, int flags) {
    return sys::openMayBlock(path, flags);
}

long readSome(int fd, char* data, std::size_t size) {
    return sys::read(fd, data, size);
}

int writeAll(int fd, const char* data, std::size_t size, std::uint64_t* counted, bool interruptible) {
    while (size > 0) {
        if (interruptible && pendingInterrupt() != 0) {
            return EINTR;
        }
        const long n = sys::write(fd, data, std::min(size, sys::ioChunk));
        if (n < 0) {
            if (errno == EINTR && !(interruptible && pendingInterrupt() != 0)) {
                continue;
            }
            return errno;
        }
        if (counted != nullptr) {
            *counted += static_cast<std::uint64_t>(n);
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int copyAll(int from, int to, char* chunk, std::uint64_t* counted, bool interruptible, bool& readFailed) {
    readFailed = false;
    for (;;) {
        // Copying files never waits, so a host that takes the signals gets its
        // turn here.
        if (interruptible) {
            sys::takeHostSignal();
        }
        if (interruptible && pendingInterrupt() != 0) {
            return EINTR;
        }
        const long n = sys::read(from, chunk, sys::ioChunk);
        if (n < 0) {
            if (errno == EINTR && !(interruptible && pendingInterrupt() != 0)) {
                continue;
            }
            readFailed = true;
            return errno;
        }
        if (n == 0) {
            return 0;
        }
        if (const int err = writeAll(to, chunk, static_cast<std::size_t>(n), counted, interruptible);
            err != 0) {
            return err;
        }
    }
}

} // namespace zm::io
