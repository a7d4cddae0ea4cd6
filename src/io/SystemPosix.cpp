// What every POSIX system the program runs on shares: a native one, and the
// runtime under Node, which gives the program Node's files as its own.
#include "io/System.h"

#include "io/Paths.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace zm::io::sys {

namespace fs = std::filesystem;

namespace {

// In a sticky folder a file is its owner's and the folder owner's: anyone else
// is kept from replacing or removing it. Whether the folder keeps user who from
// a file of owner.
bool stickyKeeps(const struct stat& folder, uid_t owner, uid_t who) {
    return (folder.st_mode & S_ISVTX) != 0 && who != owner && who != folder.st_uid;
}

} // namespace

const int openBinary = 0;
const int openCloexec = O_CLOEXEC;
const int openNoFollow = O_NOFOLLOW;
const int openNoCtty = O_NOCTTY;
const int openNonBlock = O_NONBLOCK;
const int hangupSignal = SIGHUP;
const bool removesOpenFiles = true;

void installHandlers(void (*handler)(int)) {
    struct sigaction sa {};
    sa.sa_handler = handler;
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
}

void dieOf(int sig) {
    std::signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(sig);
    std::_Exit(128 + sig);
}

int readyForWriting(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags < 0 || (flags & O_ACCMODE) == O_RDONLY ? EBADF : 0;
}

void readBytes(int) {}

int processId() {
    return static_cast<int>(::getpid());
}

std::string defaultTemporaryFolder() {
    return "/tmp";
}

int openFile(const char* path, int flags, int mode) {
    return ::open(path, flags, mode);
}

int close(int fd) {
    return ::close(fd) == 0 ? 0 : errno;
}

bool rewind(int fd) {
    return ::lseek(fd, 0, SEEK_SET) == 0;
}

int renameOver(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int removeName(const std::string& path) {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int makeDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0777);
}

int hardLink(const std::string& from, const std::string& to) {
    return ::link(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// A link in a sticky folder that others may write is followed only when its
// owner could replace the user's files there anyway (the user, the folder's
// owner), whatever the system's own setting: someone else's link there may lead
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
        if (::stat(folder.c_str(), &dir) == 0 && (dir.st_mode & S_IWOTH) != 0 &&
            stickyKeeps(dir, ::geteuid(), st.st_uid)) {
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

bool stickyForbidsReplacing(const std::string& file, const std::string& folder) {
    struct stat st {};
    struct stat dir {};
    return ::stat(file.c_str(), &st) == 0 && ::stat(folder.c_str(), &dir) == 0 && ::geteuid() != 0 &&
           stickyKeeps(dir, st.st_uid, ::geteuid());
}

bool stickyForbidsRemoving(const std::string& file, const std::string& folder) {
    struct stat st {};
    struct stat dir {};
    return ::lstat(file.c_str(), &st) == 0 && ::stat(folder.c_str(), &dir) == 0 && ::geteuid() != 0 &&
           stickyKeeps(dir, st.st_uid, ::geteuid());
}

bool folderRemoved(const std::string& folder) {
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_nlink == 0;
}

int folderWritable(const std::string& folder) {
    return ::access(folder.c_str(), W_OK | X_OK) != 0 ? errno : 0;
}

bool sharedByLinks(const struct stat& st) {
    return st.st_nlink > 1;
}

int openShared(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == EACCES) {
        fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd >= 0) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    return fd;
}

int keepOwnerAndMode(int fd, bool existed, const struct stat& old) {
    if (existed) {
        (void)!::fchown(fd, old.st_uid, old.st_gid);
    }
    const mode_t mode = existed ? (old.st_mode & 07777) : (0666 & ~static_cast<mode_t>(currentUmask()));
    return ::fchmod(fd, mode) != 0 ? errno : 0;
}

int sizeOf(int fd, std::uint64_t& size) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return errno;
    }
    size = static_cast<std::uint64_t>(st.st_size);
    return 0;
}

int truncateHere(int fd) {
    const off_t size = ::lseek(fd, 0, SEEK_CUR);
    return size < 0 || ::ftruncate(fd, size) != 0 ? errno : 0;
}

int truncateTo(int fd, std::uint64_t size) {
    return ::ftruncate(fd, static_cast<off_t>(size)) != 0 ? errno : 0;
}

std::string fileKey(const struct stat& st) {
    if ((S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) && st.st_ino != 0) {
        return "file " + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    }
    return {};
}

} // namespace zm::io::sys
