// The runtime under Node. The program shares its one thread with the
// JavaScript that takes the signals (apps/trace/node-launch.js, the object
// zmNode). A call that may wait on another process (a pipe, a FIFO, a terminal,
// a socket) is made by Node in the background while the program is paused, so
// that a signal still ends it, with EINTR; files are read and written at once.
// At checkInterrupt (at each wait for a key, while a script is read, at the
// commit) the program pauses for one turn of Node's event loop, at most every
// 10 ms, so that a signal that came is taken. Only the functions on the way to
// these pauses can pause (apps/trace/pausing-calls.txt).
#include "io/System.h"

#include "io/Signals.h"

#include <cerrno>
#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zm::io::sys {

namespace {

// clang-format off
EM_JS(int, hostMayBlock, (int fd), { return zmNode.mayBlock(fd); });
EM_ASYNC_JS(long, hostTransfer, (int writing, int fd, char* data, std::size_t size), {
    return await zmNode.transfer(writing, fd, data, size);
});
EM_ASYNC_JS(int, hostOpen, (const char* path, int flags), {
    return await zmNode.open(UTF8ToString(path), flags);
});
EM_JS(int, hostPoll, (), { return typeof zmNode == "object" ? zmNode.poll() : 0; });
EM_ASYNC_JS(int, hostTurn, (), { return await zmNode.turn(); });
// A field of the file behind a descriptor (0 its type and mode, 1 its device,
// 2 its inode), or a negative error number.
EM_JS(double, hostDescriptorStat, (int fd, int field), { return zmNode.descriptorStat(fd, field); });
EM_JS(int, hostClosedAtStart, (int fd), { return zmNode.closedAtStart(fd) ? 1 : 0; });
// The runtime's own umask hides everything (0777), so that new files would get
// no permissions at all: the process's umask is Node's.
EM_JS(int, hostUmask, (), { return process.umask(); });
// clang-format on

// A negative result of the host is an error number; an interrupted call has
// come back because of a signal, which the program takes now.
long fromHost(long n) {
    if (n < 0) {
        errno = static_cast<int>(-n);
        if (errno == EINTR) {
            takeHostSignal();
            errno = EINTR;
        }
        return -1;
    }
    return n;
}

} // namespace

// Each call costs a turn through JavaScript, so the pieces are larger.
const std::size_t ioChunk = std::size_t{1} << 20;
static_assert((std::size_t{1} << 20) <= bufferSize);
// Node may still be writing from a buffer after a signal ended the wait.
const bool transfersOutliveInterrupt = true;

// Takes a signal that Node has noted for the program, after letting Node run
// for a turn when the last was a while ago.
void takeHostSignal() {
    if (pendingInterrupt() == 0) {
        int sig = hostPoll();
        if (sig < 0) {
            sig = hostTurn();
        }
        if (sig > 0) {
            noteInterrupt(sig);
        }
    }
}

long write(int fd, const char* data, std::size_t size) {
    if (hostMayBlock(fd) != 0) {
        return fromHost(hostTransfer(1, fd, const_cast<char*>(data), size));
    }
    return static_cast<long>(::write(fd, data, size));
}

long read(int fd, char* data, std::size_t size) {
    if (hostMayBlock(fd) != 0) {
        return fromHost(hostTransfer(0, fd, data, size));
    }
    return static_cast<long>(::read(fd, data, size));
}

int openMayBlock(const char* path, int flags) {
    struct stat st {};
    if (::stat(path, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        return static_cast<int>(fromHost(hostOpen(path, flags)));
    }
    return ::open(path, flags);
}

// One thread: the handlers run on it.
void noteMainThread() {}
void passToMainThread(int) {}

// The runtime's own status of a standard descriptor describes no file, so that
// standard output and a file named beside it would not be seen to be one.
int statDescriptor(int fd, struct stat& st) {
    const double mode = hostDescriptorStat(fd, 0);
    if (mode < 0) {
        return static_cast<int>(-mode);
    }
    st = {};
    st.st_mode = static_cast<mode_t>(mode);
    st.st_dev = static_cast<dev_t>(hostDescriptorStat(fd, 1));
    st.st_ino = static_cast<ino_t>(hostDescriptorStat(fd, 2));
    return 0;
}

// Node opens /dev/null on a closed standard descriptor before the program
// starts; it knows which it opened.
bool closedAtStart(int fd) {
    return hostClosedAtStart(fd) != 0;
}

unsigned currentUmask() {
    static const mode_t mask = static_cast<mode_t>(hostUmask());
    return mask;
}

} // namespace zm::io::sys
