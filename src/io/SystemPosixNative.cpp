// A native POSIX process: plain system calls, signal handlers that may run on
// any thread.
#include "io/System.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace zm::io::sys {

namespace {

pthread_t mainThread;
volatile std::sig_atomic_t haveMainThread = 0;

} // namespace

const std::size_t ioChunk = std::size_t{1} << 16;
static_assert((std::size_t{1} << 16) <= bufferSize);
const bool transfersOutliveInterrupt = false;

long read(int fd, char* data, std::size_t size) {
    return static_cast<long>(::read(fd, data, size));
}

long write(int fd, const char* data, std::size_t size) {
    return static_cast<long>(::write(fd, data, size));
}

int openMayBlock(const char* path, int flags) {
    return ::open(path, flags);
}

void takeHostSignal() {}

void passToMainThread(int sig) {
    if (haveMainThread != 0 && !pthread_equal(pthread_self(), mainThread)) {
        pthread_kill(mainThread, sig);
    }
}

void noteMainThread() {
    mainThread = pthread_self();
    haveMainThread = 1;
}

int statDescriptor(int fd, struct stat& st) {
    return ::fstat(fd, &st) != 0 ? errno : 0;
}

bool closedAtStart(int fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
        // Takes the lowest free descriptor: fd.
        (void)::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        return true;
    }
    return false;
}

unsigned currentUmask() {
    static const mode_t mask = [] {
        const mode_t m = ::umask(0);
        ::umask(m);
        return m;
    }();
    return mask;
}

} // namespace zm::io::sys
