#include "io/Outputs.h"

#include "script/Quote.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <process.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#if !defined(__EMSCRIPTEN__)
#include <pthread.h>
#endif
#endif
#ifdef __EMSCRIPTEN__
#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>
#endif

// Unnamed temporary files, linked in at the commit: Linux, where /proc is there.
// ZM_NO_UNNAMED_TEMPORARIES builds the named ones that other systems use.
#if defined(__linux__) && defined(O_TMPFILE) && !defined(__EMSCRIPTEN__) &&                                  \
    !defined(ZM_NO_UNNAMED_TEMPORARIES)
#define ZM_UNNAMED_TEMPORARIES 1
#endif

namespace zm::io {

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
constexpr int openBinary = O_BINARY;
constexpr int openCloexec = 0;
constexpr int openNoFollow = 0;
constexpr int openNoCtty = 0;
constexpr int openNonBlock = 0;
#else
constexpr int openBinary = 0;
constexpr int openCloexec = O_CLOEXEC;
constexpr int openNoFollow = O_NOFOLLOW;
constexpr int openNoCtty = O_NOCTTY;
constexpr int openNonBlock = O_NONBLOCK;
#endif

volatile std::sig_atomic_t caught = 0;
bool closedAtStart[3] = {false, false, false};

#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
pthread_t mainThread;
volatile std::sig_atomic_t haveMainThread = 0;
#endif

extern "C" void noteSignal(int sig) {
    const int saved = errno;
    if (caught == 0) {
        caught = sig;
    }
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
    // A signal taken by another thread is passed on to the main thread, so that
    // the call it is blocked in returns.
    if (haveMainThread != 0 && !pthread_equal(pthread_self(), mainThread)) {
        pthread_kill(mainThread, sig);
    }
#endif
    errno = saved;
}

// What each stream written in place got during the commit, for the message of
// an interrupted run.
struct Received {
    std::string what;
    std::uint64_t bytes = 0;
};
std::vector<Received> received;

// Temporary files open now; unnamed ones hold a descriptor until the commit, so
// past a share of the descriptor limit the next ones get names instead.
int openTemporaries = 0;

#ifdef __EMSCRIPTEN__
// Under Node the program shares its one thread with the JavaScript that takes
// the signals (apps/trace/node-launch.js, the object zmNode). A call that may
// wait on another process (a pipe, a FIFO, a terminal, a socket) is made by
// Node in the background while the program is paused, so that a signal still
// ends it, with EINTR; files are read and written at once. At checkInterrupt
// (at each wait for a key, while a script is read, at the commit) the program
// pauses for one turn of Node's event loop, at most every 10 ms, so that a
// signal that came is taken. Only the functions on the way to these pauses
// can pause (apps/trace/pausing-calls.txt).
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
EM_JS(int, hostClosedAtStart, (int fd), { return zmNode.closedAtStart(fd) ? 1 : 0; });
// clang-format on

// Takes a signal that Node has noted for the program, after letting Node run
// for a turn when the last was a while ago.
void takeHostSignal() {
    if (caught == 0) {
        int sig = hostPoll();
        if (sig < 0) {
            sig = hostTurn();
        }
        if (sig > 0) {
            noteSignal(sig);
        }
    }
}

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
#endif

long sysWrite(int fd, const char* data, std::size_t size) {
#ifdef _WIN32
    return ::_write(fd, data, static_cast<unsigned>(size));
#else
#ifdef __EMSCRIPTEN__
    if (hostMayBlock(fd) != 0) {
        return fromHost(hostTransfer(1, fd, const_cast<char*>(data), size));
    }
#endif
    return static_cast<long>(::write(fd, data, size));
#endif
}

long sysRead(int fd, char* data, std::size_t size) {
#ifdef _WIN32
    return ::_read(fd, data, static_cast<unsigned>(size));
#else
#ifdef __EMSCRIPTEN__
    if (hostMayBlock(fd) != 0) {
        return fromHost(hostTransfer(0, fd, data, size));
    }
#endif
    return static_cast<long>(::read(fd, data, size));
#endif
}

bool rewind(int fd) {
#ifdef _WIN32
    return ::_lseeki64(fd, 0, SEEK_SET) == 0;
#else
    return ::lseek(fd, 0, SEEK_SET) == 0;
#endif
}

// The most read or written in one call: an interrupt waits for no more. Under
// Node each call costs a turn through JavaScript, so the pieces are larger.
#ifdef __EMSCRIPTEN__
constexpr std::size_t ioChunk = std::size_t{1} << 20;
#else
constexpr std::size_t ioChunk = std::size_t{1} << 16;
#endif

// Writes all of it, or returns the error. An interruptible write stops at a
// signal, between two chunks or in a blocked call, and returns EINTR.
int writeAll(int fd, const char* data, std::size_t size, std::uint64_t* counted, bool interruptible) {
    while (size > 0) {
        if (interruptible && caught != 0) {
            return EINTR;
        }
        const long n = sysWrite(fd, data, std::min(size, ioChunk));
        if (n < 0) {
            if (errno == EINTR && !(interruptible && caught != 0)) {
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

// Copies from the current position of one descriptor to the current position of
// the other, through chunk (ioChunk bytes). Returns 0, or the error and whether
// reading caused it.
int copyAll(int from, int to, char* chunk, std::uint64_t* counted, bool interruptible, bool& readFailed) {
    readFailed = false;
    for (;;) {
#ifdef __EMSCRIPTEN__
        // Copying files never waits, so Node gets its turn here.
        if (interruptible) {
            takeHostSignal();
        }
#endif
        if (interruptible && caught != 0) {
            return EINTR;
        }
        const long n = sysRead(from, chunk, ioChunk);
        if (n < 0) {
            if (errno == EINTR && !(interruptible && caught != 0)) {
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

std::string temporaryFolder() {
    const char* t = std::getenv("TMPDIR");
    if (t != nullptr && *t != '\0') {
        return t;
    }
#ifdef _WIN32
    std::error_code ec;
    const fs::path p = fs::temp_directory_path(ec);
    return ec ? std::string(".") : p.string();
#else
    return "/tmp";
#endif
}

std::string folderOf(const std::string& path) {
    const fs::path p = path;
    return p.has_parent_path() ? p.parent_path().string() : std::string(".");
}

// A folder's path without a trailing separator, so that one folder has one key.
fs::path normalFolder(const fs::path& p) {
    fs::path n = p.lexically_normal();
    if (!n.has_filename() && n.has_parent_path() && n != n.root_path()) {
        n = n.parent_path();
    }
    return n;
}

// A hidden name of fixed length for temporary files and backups, whatever the
// length of the name they stand in for.
std::string hiddenName() {
    static std::uint64_t state = [] {
        std::uint64_t s =
            static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#ifdef _WIN32
        s ^= static_cast<std::uint64_t>(::_getpid()) << 32;
#else
        s ^= static_cast<std::uint64_t>(::getpid()) << 32;
#endif
        return s;
    }();
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    std::uint64_t x = state >> 11;
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string s = ".zebo-morlix-";
    for (int i = 0; i < 8; ++i) {
        s.push_back(digits[x % 36]);
        x /= 36;
    }
    return s;
}

std::string inFolder(const std::string& folder, const std::string& leaf) {
    return (fs::path(folder) / leaf).string();
}

bool nameExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

int renameOver(const std::string& from, const std::string& to) {
#ifdef _WIN32
    std::error_code ec;
    fs::rename(from, to, ec);
    return ec ? (ec.category() == std::generic_category() ? ec.value() : EACCES) : 0;
#else
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
#endif
}

int removeName(const std::string& path) {
#ifdef _WIN32
    std::error_code ec;
    fs::remove(path, ec);
    return ec ? EACCES : 0;
#else
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
#endif
}

#ifdef ZM_UNNAMED_TEMPORARIES
bool unnamedAllowed() {
    static const int budget = [] {
        struct rlimit r {};
        const bool procThere = ::access("/proc/self/fd", X_OK) == 0;
        if (!procThere || ::getrlimit(RLIMIT_NOFILE, &r) != 0 || r.rlim_cur == RLIM_INFINITY) {
            return procThere ? 4096 : 0;
        }
        return std::max(0, static_cast<int>(r.rlim_cur / 2) - 64);
    }();
    return openTemporaries < budget;
}
#endif

// A new temporary file in folder, readable and writable by the user alone:
// unnamed where it can be (name is then empty), else under a hidden name.
// Returns the descriptor, or -1 with errno set.
int openTemporary(const std::string& folder, std::string& name, bool& unnamed) {
#ifdef ZM_UNNAMED_TEMPORARIES
    if (unnamedAllowed()) {
        const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ++openTemporaries;
            name.clear();
            unnamed = true;
            return fd;
        }
        // Not on this file system: a named one, which also names the reason
        // when the folder cannot take any file.
    }
#endif
    for (int i = 0; i < 100; ++i) {
        std::string n = inFolder(folder, hiddenName());
        const int fd = ::open(n.c_str(), O_CREAT | O_EXCL | O_RDWR | openCloexec | openBinary, 0600);
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

#ifndef _WIN32
#ifdef __EMSCRIPTEN__
// The runtime's own umask hides everything (0777), so that new files would get
// no permissions at all: the process's umask is Node's.
// clang-format off
EM_JS(int, hostUmask, (), { return process.umask(); });
// clang-format on
#endif

mode_t currentUmask() {
    static const mode_t mask = [] {
#ifdef __EMSCRIPTEN__
        return static_cast<mode_t>(hostUmask());
#else
        const mode_t m = ::umask(0);
        ::umask(m);
        return m;
#endif
    }();
    return mask;
}

// The descriptor a name stands for (/dev/stdout, /dev/fd/N, /proc/self/fd/N),
// or -1. Such a name is the open descriptor itself, not a file to replace.
int descriptorNamed(const fs::path& path) {
    const std::string p = path.lexically_normal().string();
    if (p == "/dev/stdin") {
        return 0;
    }
    if (p == "/dev/stdout") {
        return 1;
    }
    if (p == "/dev/stderr") {
        return 2;
    }
    const std::string prefixes[] = {"/dev/fd/", "/proc/self/fd/", "/proc/thread-self/fd/",
                                    "/proc/" + std::to_string(::getpid()) + "/fd/"};
    for (const std::string& prefix : prefixes) {
        if (p.size() > prefix.size() && p.size() <= prefix.size() + 9 &&
            p.compare(0, prefix.size(), prefix) == 0 &&
            std::all_of(p.begin() + static_cast<std::ptrdiff_t>(prefix.size()), p.end(),
                        [](char c) { return c >= '0' && c <= '9'; })) {
            return std::atoi(p.c_str() + prefix.size());
        }
    }
    return -1;
}

// Follows symbolic links from a name to the file they end at (which need not
// exist yet), or to a descriptor's name. A link in a sticky folder that others
// may write is followed only when it belongs to the user or to the folder's
// owner, whatever the system's own setting: someone else's link there may lead
// anywhere.
std::string followLinks(const std::string& name, int& err, int& descriptor) {
    fs::path p = name;
    for (int i = 0; i < 40; ++i) {
        if ((descriptor = descriptorNamed(p)) >= 0) {
            return p.string();
        }
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return p.string();
        }
        struct stat dir {};
        const fs::path folder = p.has_parent_path() ? p.parent_path() : fs::path(".");
        if (::stat(folder.c_str(), &dir) == 0 && (dir.st_mode & S_ISVTX) != 0 &&
            (dir.st_mode & S_IWOTH) != 0 && st.st_uid != ::geteuid() && st.st_uid != dir.st_uid) {
            err = EACCES;
            return {};
        }
        std::string link(4096, '\0');
        const ssize_t n = ::readlink(p.c_str(), link.data(), link.size());
        if (n < 0) {
            err = errno;
            return {};
        }
        link.resize(static_cast<std::size_t>(n));
        const fs::path next = link;
        p = next.is_absolute() ? next : folder / next;
    }
    err = ELOOP;
    return {};
}
#endif

// The path made absolute, or as it is where that fails (the working folder was
// removed): an open of it then fails with the reason, instead of the run
// ending on an exception.
fs::path absoluteOr(const fs::path& p) {
    std::error_code ec;
    fs::path a = fs::absolute(p, ec);
    return ec ? p : a;
}

std::string withThousands(std::uint64_t n) {
    std::string digits = std::to_string(n);
    for (std::ptrdiff_t i = static_cast<std::ptrdiff_t>(digits.size()) - 3; i > 0; i -= 3) {
        digits.insert(static_cast<std::size_t>(i), ",");
    }
    return digits;
}

constexpr std::size_t bufferSize = 1 << 20;

} // namespace

void catchInterrupts() {
#ifdef _WIN32
    std::signal(SIGINT, noteSignal);
    std::signal(SIGTERM, noteSignal);
#else
#if !defined(__EMSCRIPTEN__)
    mainThread = pthread_self();
    haveMainThread = 1;
#endif
    struct sigaction sa {};
    sa.sa_handler = noteSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no restart: a blocked open, read or write returns and the run stops
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    // A run started with SIGHUP ignored (nohup) is meant to outlive its
    // terminal: it stays ignored. (Node resets it before the program starts.)
    struct sigaction hup {};
    if (::sigaction(SIGHUP, nullptr, &hup) != 0 || hup.sa_handler != SIG_IGN) {
        ::sigaction(SIGHUP, &sa, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

int pendingInterrupt() {
    return caught;
}

void checkInterrupt() {
#ifdef __EMSCRIPTEN__
    takeHostSignal();
#endif
    checkInterruptTaken();
}

void checkInterruptTaken() {
    if (caught != 0) {
        throw Interrupted{caught};
    }
}

const char* errorText(int err) {
#ifdef __EMSCRIPTEN__
    // The Node build's C library words these otherwise, or not at all: the
    // words of the native programs, for the errors of files, pipes and sockets.
    static constexpr struct {
        int err;
        const char* text;
    } native[] = {
        {EADDRINUSE, "Address already in use"},
        {EADDRNOTAVAIL, "Cannot assign requested address"},
        {EBUSY, "Device or resource busy"},
        {ECHILD, "No child processes"},
        {ECONNABORTED, "Software caused connection abort"},
        {EDEADLK, "Resource deadlock avoided"},
        {EDOM, "Numerical argument out of domain"},
        {EDQUOT, "Disk quota exceeded"},
        {EHOSTUNREACH, "No route to host"},
        {EILSEQ, "Invalid or incomplete multibyte or wide character"},
        {EINPROGRESS, "Operation now in progress"},
        {EIO, "Input/output error"},
        {EISCONN, "Transport endpoint is already connected"},
        {ELOOP, "Too many levels of symbolic links"},
        {EMFILE, "Too many open files"},
        {EMSGSIZE, "Message too long"},
        {ENAMETOOLONG, "File name too long"},
        {ENETRESET, "Network dropped connection on reset"},
        {ENETUNREACH, "Network is unreachable"},
        {ENOMEM, "Cannot allocate memory"},
        {ENOTCONN, "Transport endpoint is not connected"},
        {ENOTSOCK, "Socket operation on non-socket"},
        {ENOTTY, "Inappropriate ioctl for device"},
        {EOVERFLOW, "Value too large for defined data type"},
        {EOWNERDEAD, "Owner died"},
        {ERANGE, "Numerical result out of range"},
        {ESPIPE, "Illegal seek"},
        {ETIMEDOUT, "Connection timed out"},
        {EXDEV, "Invalid cross-device link"},
        {ETIME, "Timer expired"},
        {EREMOTE, "Object is remote"},
        {EOPNOTSUPP, "Operation not supported"},
        {ESHUTDOWN, "Cannot send after transport endpoint shutdown"},
        {EUCLEAN, "Structure needs cleaning"},
        {ENOKEY, "Required key not available"},
        {EKEYEXPIRED, "Key has expired"},
        {EKEYREVOKED, "Key has been revoked"},
        {EKEYREJECTED, "Key was rejected by service"},
    };
    for (const auto& n : native) {
        if (n.err == err) {
            return n.text;
        }
    }
#endif
    return std::strerror(err);
}

int openMayBlock(const char* path, int flags) {
#ifdef __EMSCRIPTEN__
    struct stat st {};
    if (::stat(path, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        return static_cast<int>(fromHost(hostOpen(path, flags)));
    }
#endif
    return ::open(path, flags);
}

long readSome(int fd, char* data, std::size_t size) {
    return sysRead(fd, data, size);
}

void dieOf(int sig) {
#ifndef _WIN32
    std::signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(sig);
#endif
    std::_Exit(128 + sig);
}

std::string interruptedMessage(int sig) {
    std::string name = "signal " + std::to_string(sig);
    if (sig == SIGINT) {
        name = "SIGINT";
    } else if (sig == SIGTERM) {
        name = "SIGTERM";
    }
#ifdef SIGHUP
    if (sig == SIGHUP) {
        name = "SIGHUP";
    }
#endif
    std::string got;
    for (const Received& r : received) {
        if (r.bytes > 0) {
            got += (got.empty() ? "" : " and ") + r.what + " got " + withThousands(r.bytes) +
                   (r.bytes == 1 ? " byte" : " bytes");
        }
    }
    return "interrupted by " + name + "; " +
           (got.empty() ? "nothing was written" : got + " before the interrupt");
}

void guardStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
#ifdef _WIN32
        const bool closed = ::_get_osfhandle(fd) == -1;
#elif defined(__EMSCRIPTEN__)
        // Node opens /dev/null on a closed standard descriptor before the
        // program starts; it knows which it opened.
        const bool closed = hostClosedAtStart(fd) != 0;
#else
        const bool closed = ::fcntl(fd, F_GETFD) == -1 && errno == EBADF;
#endif
        if (closed) {
            closedAtStart[fd] = true;
#ifndef __EMSCRIPTEN__
            // Takes the lowest free descriptor: fd.
            (void)::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
#endif
        }
    }
}

bool isFrameName(std::string_view name) {
    constexpr std::string_view head = "frame-";
    constexpr std::string_view tail = ".png";
    if (name.size() < head.size() + 4 + tail.size() || name.substr(0, head.size()) != head ||
        name.substr(name.size() - tail.size()) != tail) {
        return false;
    }
    const std::string_view digits = name.substr(head.size(), name.size() - head.size() - tail.size());
    return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// --- Output -----------------------------------------------------------------

Output::Output(std::string name, std::string option) : name_(std::move(name)), option_(std::move(option)) {}

Output::~Output() {
    discard();
}

std::string Output::which() const {
    return name_ == "-" ? option_ + " to standard output" : option_ + " file " + zm::script::quoted(name_);
}

void Output::fail(const std::string& what, int err) const {
    if (err == EINTR && pendingInterrupt() != 0) {
        throw Interrupted{pendingInterrupt()};
    }
    throw OutputError(what + " " + which() + ": " + errorText(err));
}

// The temporary copy of an output written in place is in $TMPDIR: a failure
// there is no failure of the output itself.
void Output::failSpool(int err) const {
    if (err == EINTR && pendingInterrupt() != 0) {
        throw Interrupted{pendingInterrupt()};
    }
    const char* t = std::getenv("TMPDIR");
    const std::string where = t != nullptr && *t != '\0'
                                  ? "$TMPDIR " + zm::script::quoted(t)
                                  : zm::script::quoted(temporaryFolder()) + " ($TMPDIR is not set)";
    throw OutputError("cannot keep " + which() + " until the end of the run in " + where + ": " +
                      errorText(err));
}

void Output::resolve() {
#ifdef _WIN32
    target_ = name_;
#else
    int err = 0;
    int fd = -1;
    target_ = followLinks(name_, err, fd);
    if (err != 0) {
        fail("cannot write", err);
    }
    if (fd >= 0) {
        openDescriptor(fd);
    }
#endif
}

void Output::openDescriptor(int fd) {
    descriptor_ = fd;
    if (fd <= 2 && closedAtStart[fd]) {
        throw OutputError("cannot write " + which() + ": " +
                          (fd == 1 ? "standard output is closed" : "the descriptor is closed"));
    }
#ifdef _WIN32
    ::_setmode(fd, O_BINARY);
#else
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY) {
        fail("cannot write", EBADF);
    }
#endif
    kind_ = Kind::Stream;
    targetFd_ = fd;
    ownsTargetFd_ = false;
    openSpool();
}

void Output::openSpool() {
    spooled_ = true;
    tempFolder_ = temporaryFolder();
    tempFd_ = openTemporary(tempFolder_, temp_, unnamed_);
    if (tempFd_ < 0) {
        failSpool(errno);
    }
#ifndef _WIN32
    if (!temp_.empty()) {
        ::unlink(temp_.c_str()); // nothing to find in $TMPDIR, whatever ends the run
        temp_.clear();
    }
#endif
}

// A file that exists is replaced only where a shell redirection could write it,
// and only where the folder lets the user replace it.
void Output::checkReplaceable() const {
    const int fd = ::open(target_.c_str(), O_WRONLY | openNoCtty | openNonBlock | openNoFollow | openCloexec);
    if (fd < 0) {
        fail("cannot write", errno);
    }
    ::close(fd);
#ifndef _WIN32
    struct stat st {};
    struct stat dir {};
    if (::stat(target_.c_str(), &st) == 0 && ::stat(folderOf(target_).c_str(), &dir) == 0 &&
        (dir.st_mode & S_ISVTX) != 0 && ::geteuid() != 0 && st.st_uid != ::geteuid() &&
        dir.st_uid != ::geteuid()) {
        // In a sticky folder only the file's owner or the folder's may replace it.
        fail("cannot replace", EPERM);
    }
#endif
}

void Output::takeTarget(const std::string& tempFolder) {
    struct stat st {};
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) {
        fail("cannot write", errno);
    }
    if (exists && S_ISDIR(st.st_mode)) {
        throw OutputError(option_ + " " + zm::script::quoted(name_) + " is a folder: give a file name");
    }
    if (exists && !S_ISREG(st.st_mode)) {
        // A device, a pipe or a socket is written into, never replaced.
        const int fd = openMayBlock(target_.c_str(), O_WRONLY | openNoCtty | openCloexec | openBinary);
        if (fd < 0) {
            fail("cannot write", errno);
        }
        kind_ = Kind::Stream;
        targetFd_ = fd;
        ownsTargetFd_ = true;
        openSpool();
        return;
    }
#ifndef _WIN32
    if (exists && st.st_nlink > 1) {
        // Its links stay one file: it is written in place at the commit. Opened
        // for reading too where allowed, so that a failed commit can put back
        // what it held.
        int fd = ::open(target_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == EACCES) {
            fd = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        }
        if (fd < 0) {
            fail("cannot write", errno);
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        kind_ = Kind::Overwrite;
        targetFd_ = fd;
        ownsTargetFd_ = true;
        openSpool();
        return;
    }
#endif
    if (exists) {
        checkReplaceable();
    }
    kind_ = Kind::Replace;
    existed_ = exists;
    tempFolder_ = tempFolder.empty() ? folderOf(target_) : tempFolder;
#ifndef _WIN32
    // A folder that was removed (a working folder, say) takes no new name, but
    // some file systems still open an unnamed file in it: say so now, as every
    // file system would at the open, not at the end of the run.
    struct stat folder {};
    if (::stat(tempFolder_.c_str(), &folder) == 0 && S_ISDIR(folder.st_mode) && folder.st_nlink == 0) {
        fail("cannot write", ENOENT);
    }
#endif
    tempFd_ = openTemporary(tempFolder_, temp_, unnamed_);
    if (tempFd_ < 0) {
        fail("cannot write", errno);
    }
#ifndef _WIN32
    // The new file keeps the old one's owner where the user may give it, and its
    // permissions; a new file gets those the umask gives.
    if (exists) {
        (void)!::fchown(tempFd_, st.st_uid, st.st_gid);
    }
    const mode_t mode = exists ? (st.st_mode & 07777) : (0666 & ~currentUmask());
    if (::fchmod(tempFd_, mode) != 0) {
        fail("cannot write", errno);
    }
#endif
}

void Output::write(const void* data, std::size_t size) {
    if (size >= bufferSize) {
        flushBuffer();
        writeThrough(static_cast<const char*>(data), size);
        return;
    }
    std::memcpy(room(size), data, size);
    buffered_ += size;
}

char* Output::room(std::size_t size) {
    if (size > bufferSize - buffered_) {
        flushBuffer();
    }
    return block() + buffered_;
}

char* Output::block() {
    if (!buffer_) {
        buffer_ = std::make_unique<char[]>(bufferSize);
    }
    return buffer_.get();
}

void Output::wrote(std::size_t size) {
    buffered_ += size;
}

char* Output::copyChunk() {
    // The buffer is empty by the commit, and its pages are in memory already.
    static_assert(ioChunk <= bufferSize);
    return block();
}

void Output::flushBuffer() {
    if (buffered_ > 0) {
        writeThrough(buffer_.get(), buffered_);
        buffered_ = 0;
    }
}

void Output::writeThrough(const char* data, std::size_t size) {
    if (const int err = writeAll(tempFd_, data, size, nullptr, true); err != 0) {
        spooled_ ? failSpool(err) : fail("cannot write", err);
    }
}

void Output::close() {
    if (kind_ == Kind::Replace) {
        finishTemporary();
        buffer_.reset(); // many frames may wait for the commit: keep none of their bytes
    }
}

int Output::closeTemporary() {
    if (tempFd_ < 0) {
        return 0;
    }
    const int fd = tempFd_;
    tempFd_ = -1;
    --openTemporaries;
    return ::close(fd) == 0 ? 0 : errno;
}

void Output::finishTemporary() {
    if (tempFd_ < 0) {
        return; // closed already
    }
    flushBuffer();
    if (kind_ != Kind::Replace || unnamed_) {
        if (!rewind(tempFd_)) {
            spooled_ ? failSpool(errno) : fail("cannot write", errno);
        }
        return;
    }
    if (const int err = closeTemporary(); err != 0) {
        fail("cannot write", err);
    }
}

// An unnamed temporary file gets a hidden name beside its target.
void Output::linkIn() {
#ifdef ZM_UNNAMED_TEMPORARIES
    if (!unnamed_) {
        return;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(tempFd_);
    const std::string folder = folderOf(target_);
    for (int i = 0; i < 100; ++i) {
        std::string name = inFolder(folder, hiddenName());
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temp_ = std::move(name);
            unnamed_ = false;
            closeTemporary();
            return;
        }
        if (errno != EEXIST) {
            fail("cannot put in place", errno);
        }
    }
    fail("cannot put in place", EEXIST);
#endif
}

// The file about to be replaced stays as a second link under a hidden name until
// the commit is over, or is moved aside where the file system has no links.
void Output::backUp() {
    if (!existed_ || !nameExists(target_)) {
        return;
    }
    const std::string folder = folderOf(target_);
    for (int i = 0; i < 100; ++i) {
        std::string name = inFolder(folder, hiddenName());
        if (nameExists(name)) {
            continue;
        }
#ifndef _WIN32
        if (::link(target_.c_str(), name.c_str()) == 0) {
            backup_ = std::move(name);
            return;
        }
        if (errno == EEXIST) {
            continue;
        }
        if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK) {
            fail("cannot replace", errno);
        }
#endif
        if (const int err = renameOver(target_, name); err != 0) {
            fail("cannot replace", err);
        }
        backup_ = std::move(name);
        backupAside_ = true;
        return;
    }
    fail("cannot replace", EEXIST);
}

void Output::putInPlace() {
    if (const int err = renameOver(temp_, target_); err != 0) {
        fail("cannot put in place", err);
    }
    temp_.clear();
    placed_ = true;
}

// A file with several links: what it holds is kept in $TMPDIR, then the new
// content is written over it.
void Output::overwrite() {
#ifndef _WIN32
    struct stat st {};
    if (::fstat(targetFd_, &st) != 0) {
        fail("cannot write", errno);
    }
    savedSize_ = static_cast<std::uint64_t>(st.st_size);
    std::string name;
    bool unnamed = false;
    savedFd_ = openTemporary(temporaryFolder(), name, unnamed);
    if (savedFd_ < 0) {
        failSpool(errno);
    }
    if (!name.empty()) {
        ::unlink(name.c_str());
    }
    bool readFailed = false;
    if (!rewind(targetFd_)) {
        fail("cannot write", errno);
    }
    if (const int err = copyAll(targetFd_, savedFd_, copyChunk(), nullptr, true, readFailed); err != 0) {
        if (!readFailed) {
            failSpool(err);
        }
        // Open for writing only: what it held cannot be kept.
        ::close(savedFd_);
        --openTemporaries;
        savedFd_ = -1;
    }
    placed_ = true;
    if (!rewind(targetFd_)) {
        fail("cannot write", errno);
    }
    if (const int err = copyAll(tempFd_, targetFd_, copyChunk(), nullptr, true, readFailed); err != 0) {
        readFailed ? failSpool(err) : fail("cannot write", err);
    }
    const off_t size = ::lseek(targetFd_, 0, SEEK_CUR);
    if (size < 0 || ::ftruncate(targetFd_, size) != 0) {
        fail("cannot write", errno);
    }
#endif
}

void Output::copyToTarget() {
    Received& r = received.emplace_back();
    r.what = descriptor_ == 1 ? std::string("standard output") : which();
    bool readFailed = false;
    if (const int err = copyAll(tempFd_, targetFd_, copyChunk(), &r.bytes, true, readFailed); err != 0) {
#ifdef __EMSCRIPTEN__
        if (err == EINTR && !readFailed) {
            // Node may still be writing from the chunk after the signal ended
            // the wait: it is never freed, or used again.
            (void)buffer_.release();
        }
#endif
        readFailed ? failSpool(err) : fail("cannot write", err);
    }
    if (ownsTargetFd_) {
        const int fd = targetFd_;
        targetFd_ = -1;
        ownsTargetFd_ = false;
        if (::close(fd) != 0) {
            fail("cannot write", errno);
        }
    }
}

// Puts back what the commit changed for this output. Runs to the end, whatever
// signal arrives.
void Output::undo() {
    if (kind_ == Kind::Replace) {
        if (placed_) {
            if (backup_.empty()) {
                removeName(target_);
            } else {
                renameOver(backup_, target_);
            }
        } else if (!backup_.empty()) {
            if (backupAside_) {
                renameOver(backup_, target_);
            } else {
                removeName(backup_);
            }
        }
        backup_.clear();
        placed_ = false;
    }
#ifndef _WIN32
    if (kind_ == Kind::Overwrite && placed_ && savedFd_ >= 0) {
        bool readFailed = false;
        if (rewind(savedFd_) && rewind(targetFd_) &&
            copyAll(savedFd_, targetFd_, copyChunk(), nullptr, false, readFailed) == 0) {
            (void)!::ftruncate(targetFd_, static_cast<off_t>(savedSize_));
        }
        placed_ = false;
    }
#endif
}

void Output::dropBackup() {
    if (!backup_.empty()) {
        removeName(backup_);
        backup_.clear();
    }
    if (savedFd_ >= 0) {
        ::close(savedFd_);
        --openTemporaries;
        savedFd_ = -1;
    }
}

void Output::discard() {
    closeTemporary();
    if (!temp_.empty()) {
        removeName(temp_);
        temp_.clear();
    }
    if (savedFd_ >= 0) {
        ::close(savedFd_);
        --openTemporaries;
        savedFd_ = -1;
    }
    if (ownsTargetFd_) {
        ::close(targetFd_);
        ownsTargetFd_ = false;
    }
    targetFd_ = -1;
}

// --- OutputSet --------------------------------------------------------------

OutputSet::~OutputSet() {
    if (!committed_) {
        discard();
    }
}

Output& OutputSet::add(const std::string& name, const std::string& option) {
    std::unique_ptr<Output> out(new Output(name, option));
    if (name == "-") {
        out->target_ = "-";
        out->openDescriptor(1);
    } else {
        out->resolve();
        if (out->descriptor_ < 0) {
            out->takeTarget(temporaryFolderFor(out->target_));
        }
    }
    claim(*out);
    outputs_.push_back(std::move(out));
    return *outputs_.back();
}

// Two outputs into one file would leave only one of them: one descriptor, one
// path, or one file or pipe under two names.
void OutputSet::claim(Output& out) {
    std::vector<std::string> keys;
    struct stat st {};
    bool known = false;
    if (out.descriptor_ >= 0) {
        keys.push_back("descriptor " + std::to_string(out.descriptor_));
        known = ::fstat(out.descriptor_, &st) == 0;
    } else {
        std::error_code ec;
        keys.push_back(fs::weakly_canonical(absoluteOr(out.target_), ec).string());
        known = ::stat(out.target_.c_str(), &st) == 0;
    }
#ifndef _WIN32
    if (known && (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) && st.st_ino != 0) {
        keys.push_back("file " + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino));
    }
#else
    (void)known;
#endif
    for (const std::string& key : keys) {
        if (const auto it = targets_.find(key); it != targets_.end()) {
            throw OutputError(it->second + " and " + out.option_ + " are given the same file " +
                              zm::script::quoted(out.name_) + ": give each its own");
        }
    }
    for (const std::string& key : keys) {
        targets_.emplace(key, out.option_);
    }
    out.keys_ = std::move(keys);
}

void OutputSet::release(const Output& out) {
    for (const std::string& key : out.keys_) {
        targets_.erase(key);
    }
}

// Where a file in a folder made at the commit waits: in the nearest folder that
// exists, on the same file system.
std::string OutputSet::temporaryFolderFor(const std::string& target) const {
    const std::string folder = normalFolder(absoluteOr(folderOf(target))).string();
    for (const Folder& f : folders_) {
        if (std::find(f.missing.begin(), f.missing.end(), folder) != f.missing.end()) {
            return f.base;
        }
    }
    return {};
}

void OutputSet::makeFolder(const std::string& path, const std::string& option,
                           std::function<bool(std::string_view)> stale) {
    Folder f{path, option, {}, {}, std::move(stale)};
    fs::path p = normalFolder(absoluteOr(path));
    std::error_code ec;
    while (!fs::exists(fs::symlink_status(p, ec))) {
        f.missing.push_back(p.string());
        if (p == p.parent_path()) {
            break;
        }
        p = p.parent_path();
    }
    if (!fs::is_directory(p, ec)) {
        throw OutputError("cannot make " + option + " folder " + zm::script::quoted(path) + ": " +
                          errorText(ENOTDIR));
    }
#ifndef _WIN32
    // Checked now, so that a run does not fail at its end for this.
    if (::access(p.c_str(), W_OK | X_OK) != 0) {
        throw OutputError("cannot " + std::string(f.missing.empty() ? "write into " : "make ") + option +
                          " folder " + zm::script::quoted(path) + ": " + errorText(errno));
    }
#endif
    std::reverse(f.missing.begin(), f.missing.end());
    f.base = p.string();
    folders_.push_back(std::move(f));
}

void OutputSet::rename(Output& out, const std::string& name) {
    release(out);
    out.name_ = name;
#ifdef _WIN32
    out.target_ = name;
#else
    int err = 0;
    int fd = -1;
    out.target_ = followLinks(name, err, fd);
    if (err != 0) {
        out.fail("cannot write", err);
    }
    if (fd >= 0) {
        throw OutputError(out.option_ + " " + zm::script::quoted(name) + " exists and is not a regular file");
    }
#endif
    struct stat st {};
    out.existed_ = ::stat(out.target_.c_str(), &st) == 0;
    if (out.existed_) {
        if (!S_ISREG(st.st_mode)) {
            throw OutputError(out.option_ + " " + zm::script::quoted(name) +
                              " exists and is not a regular file");
        }
#ifndef _WIN32
        if (st.st_nlink > 1) {
            throw OutputError(out.option_ + " " + zm::script::quoted(name) +
                              " has other hard links: remove it or choose another folder");
        }
#endif
        out.checkReplaceable();
    }
    claim(out);
}

void OutputSet::makeFolders() {
    for (const Folder& f : folders_) {
        for (const std::string& path : f.missing) {
#ifdef _WIN32
            const int made = ::_mkdir(path.c_str());
#else
            const int made = ::mkdir(path.c_str(), 0777);
#endif
            if (made != 0) {
                std::error_code ec;
                if (errno == EEXIST && fs::is_directory(path, ec)) {
                    continue;
                }
                throw OutputError("cannot make " + f.option + " folder " + zm::script::quoted(f.path) + ": " +
                                  errorText(errno));
            }
            madeFolders_.push_back(path);
        }
    }
}

// Files of an earlier run that this run's set replaces are moved to hidden names
// until the commit is over.
void OutputSet::removeStale() {
    for (const Folder& f : folders_) {
        if (!f.stale || !f.missing.empty()) {
            continue;
        }
        std::error_code ec;
        const fs::path folder = fs::weakly_canonical(absoluteOr(f.path), ec);
        std::set<std::string> ours;
        for (const auto& o : outputs_) {
            const fs::path n = o->name_;
            ours.insert((fs::weakly_canonical(absoluteOr(folderOf(o->name_)), ec) / n.filename()).string());
        }
        std::vector<std::string> stale;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path leaf = it->path().filename();
            const std::string path = (folder / leaf).string();
            if (f.stale(leaf.string()) && ours.count(path) == 0 && !it->is_directory(ec)) {
                stale.push_back(path);
            }
        }
        if (ec) {
            throw OutputError("cannot read " + f.option + " folder " + zm::script::quoted(f.path) + ": " +
                              errorText(ec.value()));
        }
        for (const std::string& path : stale) {
            std::string backup;
            do {
                backup = inFolder(folder.string(), hiddenName());
            } while (nameExists(backup));
#ifndef _WIN32
            struct stat st {};
            struct stat dir {};
            if (::lstat(path.c_str(), &st) == 0 && ::stat(folder.c_str(), &dir) == 0 &&
                (dir.st_mode & S_ISVTX) != 0 && ::geteuid() != 0 && st.st_uid != ::geteuid() &&
                dir.st_uid != ::geteuid()) {
                throw OutputError("cannot remove the earlier " + f.option + " file " +
                                  zm::script::quoted(path) + ": " + errorText(EPERM));
            }
#endif
            if (const int err = renameOver(path, backup); err != 0) {
                throw OutputError("cannot remove the earlier " + f.option + " file " +
                                  zm::script::quoted(path) + ": " + errorText(err));
            }
            removed_.push_back({path, backup});
        }
    }
}

void OutputSet::commit() {
    received.clear();
    const auto each = [this](Output::Kind kind, auto&& action) {
        for (const auto& o : outputs_) {
            if (o->kind_ == kind) {
                action(*o);
            }
        }
    };
    try {
        for (const auto& o : outputs_) {
            o->finishTemporary();
        }
        checkInterrupt();
        makeFolders();
        each(Output::Kind::Replace, [](Output& o) { o.linkIn(); });
        removeStale();
        each(Output::Kind::Replace, [](Output& o) { o.backUp(); });
        each(Output::Kind::Replace, [](Output& o) { o.putInPlace(); });
        checkInterrupt();
        each(Output::Kind::Overwrite, [](Output& o) { o.overwrite(); });
        // Devices and pipes by name, then descriptors, standard output last:
        // what went out there cannot be taken back.
        each(Output::Kind::Stream, [](Output& o) {
            if (o.descriptor_ < 0) {
                o.copyToTarget();
            }
        });
        each(Output::Kind::Stream, [](Output& o) {
            if (o.descriptor_ >= 0 && o.descriptor_ != 1) {
                o.copyToTarget();
            }
        });
        each(Output::Kind::Stream, [](Output& o) {
            if (o.descriptor_ == 1) {
                o.copyToTarget();
            }
        });
    } catch (...) {
        rollBack();
        throw;
    }
    for (const auto& o : outputs_) {
        o->dropBackup();
    }
    for (const Removed& r : removed_) {
        removeName(r.backup);
    }
    removed_.clear();
    committed_ = true;
    outputs_.clear();
    madeFolders_.clear();
}

void OutputSet::rollBack() {
    for (auto it = outputs_.rbegin(); it != outputs_.rend(); ++it) {
        (*it)->undo();
    }
    for (auto it = removed_.rbegin(); it != removed_.rend(); ++it) {
        renameOver(it->backup, it->path);
    }
    removed_.clear();
}

void OutputSet::discard() {
    outputs_.clear();
    for (auto it = madeFolders_.rbegin(); it != madeFolders_.rend(); ++it) {
        std::error_code ec;
        fs::remove(*it, ec);
    }
    madeFolders_.clear();
}

} // namespace zm::io
