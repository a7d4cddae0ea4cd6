// Windows: its C library's calls, files opened in binary, no symbolic links
// followed by hand, no hard links, no unnamed temporary files.
#include "io/System.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <direct.h>
#include <fcntl.h>
#include <filesystem>
#include <io.h>
#include <process.h>
#include <string>
#include <sys/stat.h>

namespace zm::io::sys {

namespace fs = std::filesystem;

const std::size_t ioChunk = std::size_t{1} << 16;
static_assert((std::size_t{1} << 16) <= bufferSize);
const bool transfersOutliveInterrupt = false;

const int openBinary = O_BINARY;
const int openCloexec = 0;
const int openNoFollow = 0;
const int openNoCtty = 0;
const int openNonBlock = 0;
const int hangupSignal = -1;
// An open file keeps its name until it is closed.
const bool removesOpenFiles = false;

long read(int fd, char* data, std::size_t size) {
    return ::_read(fd, data, static_cast<unsigned>(size));
}

long write(int fd, const char* data, std::size_t size) {
    return ::_write(fd, data, static_cast<unsigned>(size));
}

int openMayBlock(const char* path, int flags) {
    return ::open(path, flags);
}

void takeHostSignal() {}

void installHandlers(void (*handler)(int)) {
    std::signal(SIGINT, handler);
    std::signal(SIGTERM, handler);
}

void noteMainThread() {}
void passToMainThread(int) {}

void dieOf(int sig) {
    std::_Exit(128 + sig);
}

int statDescriptor(int fd, struct stat& st) {
    return ::fstat(fd, &st) != 0 ? errno : 0;
}

bool closedAtStart(int fd) {
    if (::_get_osfhandle(fd) == -1) {
        // Takes the lowest free descriptor: fd.
        (void)::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        return true;
    }
    return false;
}

int readyForWriting(int fd) {
    ::_setmode(fd, O_BINARY);
    return 0;
}

void readBytes(int fd) {
    ::_setmode(fd, O_BINARY);
}

int processId() {
    return ::_getpid();
}

std::string defaultTemporaryFolder() {
    std::error_code ec;
    const fs::path p = fs::temp_directory_path(ec);
    return ec ? std::string(".") : p.string();
}

unsigned currentUmask() {
    return 0;
}

int openFile(const char* path, int flags, int mode) {
    return ::open(path, flags, mode);
}

int close(int fd) {
    return ::close(fd) == 0 ? 0 : errno;
}

bool rewind(int fd) {
    return ::_lseeki64(fd, 0, SEEK_SET) == 0;
}

int renameOver(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    return ec ? (ec.category() == std::generic_category() ? ec.value() : EACCES) : 0;
}

int removeName(const std::string& path) {
    std::error_code ec;
    fs::remove(path, ec);
    return ec ? EACCES : 0;
}

int makeDirectory(const std::string& path) {
    return ::_mkdir(path.c_str());
}

int hardLink(const std::string&, const std::string&) {
    return ENOSYS;
}

std::string followLinks(const std::string& name, int& err, int& descriptor) {
    err = 0;
    descriptor = -1;
    return name;
}

bool stickyForbidsReplacing(const std::string&, const std::string&) {
    return false;
}

bool stickyForbidsRemoving(const std::string&, const std::string&) {
    return false;
}

bool folderRemoved(const std::string&) {
    return false;
}

int folderWritable(const std::string&) {
    return 0;
}

bool sharedByLinks(const struct stat&) {
    return false;
}

int openShared(const std::string&) {
    errno = ENOSYS;
    return -1;
}

int keepOwnerAndMode(int, bool, const struct stat&) {
    return 0;
}

int sizeOf(int, std::uint64_t&) {
    return ENOSYS;
}

int truncateHere(int) {
    return ENOSYS;
}

int truncateTo(int, std::uint64_t) {
    return ENOSYS;
}

std::string fileKey(const struct stat&) {
    return {};
}

} // namespace zm::io::sys
