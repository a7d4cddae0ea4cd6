// A native POSIX process: plain system calls, signal handlers that may run on
// any thread, and on Linux unnamed temporary files.
#include "io/System.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

// Unnamed temporary files, linked in at the commit: Linux, where /proc is there.
// Elsewhere the temporaries are named ones.
#if defined(__linux__) && defined(O_TMPFILE)
#define ZM_UNNAMED_TEMPORARIES 1
#endif

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

#ifdef ZM_UNNAMED_TEMPORARIES
int unnamedBudget() {
    static const int budget = [] {
        struct rlimit r {};
        const bool procThere = ::access("/proc/self/fd", X_OK) == 0;
        if (!procThere || ::getrlimit(RLIMIT_NOFILE, &r) != 0 || r.rlim_cur == RLIM_INFINITY) {
            return procThere ? 4096 : 0;
        }
        return std::max(0, static_cast<int>(r.rlim_cur / 2) - 64);
    }();
    return budget;
}

int openUnnamed(const std::string& folder) {
    return ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
}

int linkUnnamed(int fd, const std::string& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}
#else
int unnamedBudget() {
    return 0;
}

int openUnnamed(const std::string&) {
    return -1;
}

int linkUnnamed(int, const std::string&) {
    return ENOSYS;
}
#endif

} // namespace zm::io::sys
