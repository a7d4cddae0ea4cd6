#include "Outputs.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace zm::render {

namespace fs = std::filesystem;

namespace {

volatile std::sig_atomic_t caught = 0;
bool stdoutWasClosed = false;

extern "C" void noteSignal(int sig) {
    caught = sig;
}

mode_t currentUmask() {
    static const mode_t mask = [] {
        const mode_t m = ::umask(0);
        ::umask(m);
        return m;
    }();
    return mask;
}

// Follows symbolic links from a name to the file they end at (which need not
// exist yet). Leaves the name as it is if it is no link.
std::string followLinks(const std::string& name, int& err) {
    fs::path p = name;
    for (int i = 0; i < 40; ++i) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return p.string();
        }
        std::string link(4096, '\0');
        const ssize_t n = ::readlink(p.c_str(), link.data(), link.size());
        if (n < 0) {
            err = errno;
            return {};
        }
        link.resize(static_cast<std::size_t>(n));
        const fs::path next = link;
        p = next.is_absolute() ? next : p.parent_path() / next;
    }
    err = ELOOP;
    return {};
}

// Writes all of it, or returns the error.
int writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR && pendingInterrupt() == 0) {
                continue;
            }
            return errno;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

std::string temporaryFolder() {
    const char* t = std::getenv("TMPDIR");
    return t != nullptr && *t != '\0' ? t : "/tmp";
}

constexpr std::size_t bufferSize = 1 << 20;

} // namespace

void catchInterrupts() {
    struct sigaction sa {};
    sa.sa_handler = noteSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no restart: a blocked open or write returns and the run stops
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

int pendingInterrupt() {
    return caught;
}

void checkInterrupt() {
    if (caught != 0) {
        throw Interrupted{caught};
    }
}

void dieOf(int sig) {
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    std::_Exit(128 + sig);
}

void guardStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            stdoutWasClosed = stdoutWasClosed || fd == 1;
            ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY); // takes the lowest free descriptor: fd
        }
    }
}

// --- Output -----------------------------------------------------------------

Output::Output(std::string name, std::string option) : name_(std::move(name)), option_(std::move(option)) {}

Output::~Output() {
    discard();
}

void Output::fail(const std::string& what, int err) const {
    if (err == EINTR && pendingInterrupt() != 0) {
        throw Interrupted{pendingInterrupt()};
    }
    const std::string which =
        name_ == "-" ? option_ + " to standard output" : option_ + " file '" + name_ + "'";
    throw OutputError(what + " " + which + ": " + std::strerror(err));
}

void Output::openFile() {
    int err = 0;
    target_ = followLinks(name_, err);
    if (err != 0) {
        fail("cannot write", err);
    }
    struct stat st {};
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        throw OutputError(option_ + " '" + name_ + "' is a folder: give a file name");
    }
    if (exists && !S_ISREG(st.st_mode)) {
        // A device, a pipe or a socket is written into, never replaced.
        const int fd = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            fail("cannot write", errno);
        }
        ownsTargetFd_ = true;
        openInPlace(fd);
        return;
    }
    const fs::path t = target_;
    const fs::path folder = t.has_parent_path() ? t.parent_path() : fs::path(".");
    std::string pattern = (folder / ("." + t.filename().string() + ".XXXXXX")).string();
    tempFd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (tempFd_ < 0) {
        fail("cannot write", errno);
    }
    temp_ = pattern;
    // The new file gets the old one's permissions, or those a new file would get.
    const mode_t mode = exists ? (st.st_mode & 07777) : (0666 & ~currentUmask());
    if (::fchmod(tempFd_, mode) != 0) {
        fail("cannot write", errno);
    }
}

void Output::openInPlace(int fd) {
    inPlace_ = true;
    targetFd_ = fd;
    std::string pattern = (fs::path(temporaryFolder()) / "zebo-morlix-render.XXXXXX").string();
    tempFd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (tempFd_ < 0) {
        fail("cannot make a temporary file in " + temporaryFolder() + " for", errno);
    }
    ::unlink(pattern.c_str());
}

void Output::write(const void* data, std::size_t size) {
    buffer_.append(static_cast<const char*>(data), size);
    if (buffer_.size() >= bufferSize) {
        flushBuffer();
    }
}

void Output::flushBuffer() {
    if (const int err = writeAll(tempFd_, buffer_.data(), buffer_.size()); err != 0) {
        fail("cannot write", err);
    }
    buffer_.clear();
}

void Output::close() {
    if (!inPlace_) {
        finishTemporary();
        std::string().swap(buffer_); // many frames may wait for the commit: keep none of their bytes
    }
}

void Output::finishTemporary() {
    if (tempFd_ < 0) {
        return; // closed already
    }
    flushBuffer();
    if (inPlace_) {
        if (::lseek(tempFd_, 0, SEEK_SET) != 0) {
            fail("cannot write", errno);
        }
        return;
    }
    const int fd = tempFd_;
    tempFd_ = -1;
    if (::close(fd) != 0) {
        fail("cannot write", errno);
    }
}

void Output::copyToTarget() {
    std::string chunk(bufferSize, '\0');
    for (;;) {
        const ssize_t n = ::read(tempFd_, chunk.data(), chunk.size());
        if (n < 0) {
            if (errno == EINTR && pendingInterrupt() == 0) {
                continue;
            }
            fail("cannot write", errno);
        }
        if (n == 0) {
            break;
        }
        if (const int err = writeAll(targetFd_, chunk.data(), static_cast<std::size_t>(n)); err != 0) {
            fail("cannot write", err);
        }
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

void Output::rename() {
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        fail("cannot put in place", errno);
    }
    temp_.clear();
}

void Output::discard() {
    if (tempFd_ >= 0) {
        ::close(tempFd_);
        tempFd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
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
        if (stdoutWasClosed) {
            throw OutputError("cannot write " + option + " to standard output: it is closed");
        }
        out->target_ = "-";
        out->openInPlace(STDOUT_FILENO);
    } else {
        out->openFile();
    }
    claim(*out);
    outputs_.push_back(std::move(out));
    return *outputs_.back();
}

// Two outputs into one file would leave only one of them.
void OutputSet::claim(const Output& out) {
    std::error_code ec;
    const std::string key =
        out.target_ == "-" ? "-" : fs::weakly_canonical(fs::absolute(out.target_), ec).string();
    const auto [it, added] = targets_.try_emplace(key, out.option_);
    if (!added) {
        throw OutputError(it->second + " and " + out.option_ + " are given the same file '" + out.name_ +
                          "': give each its own");
    }
}

void OutputSet::makeFolder(const std::string& path, const std::string& option) {
    std::vector<fs::path> missing;
    fs::path p = fs::absolute(path);
    std::error_code ec;
    while (!p.empty() && !fs::exists(fs::symlink_status(p, ec))) {
        missing.push_back(p);
        if (p == p.parent_path()) {
            break;
        }
        p = p.parent_path();
    }
    const fs::path existing = missing.empty() ? fs::path(fs::absolute(path)) : missing.back().parent_path();
    if (!fs::is_directory(existing, ec)) {
        throw OutputError("cannot make " + option + " folder '" + path + "': " + std::strerror(ENOTDIR));
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), 0777) != 0) {
            throw OutputError("cannot make " + option + " folder '" + path + "': " + std::strerror(errno));
        }
        madeFolders_.push_back(it->string());
    }
}

void OutputSet::rename(Output& out, const std::string& name) {
    std::error_code ec;
    targets_.erase(fs::weakly_canonical(fs::absolute(out.target_), ec).string());
    out.name_ = name;
    int err = 0;
    out.target_ = followLinks(name, err);
    if (err != 0) {
        out.fail("cannot write", err);
    }
    struct stat st {};
    if (::stat(out.target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        throw OutputError(out.option_ + " '" + name + "' exists and is not a regular file");
    }
    claim(out);
}

void OutputSet::commit() {
    for (const auto& o : outputs_) {
        o->finishTemporary();
    }
    for (const auto& o : outputs_) {
        if (o->inPlace_) {
            o->copyToTarget();
        }
    }
    for (const auto& o : outputs_) {
        if (!o->inPlace_) {
            o->rename();
        }
    }
    committed_ = true;
    outputs_.clear();
}

void OutputSet::discard() {
    outputs_.clear();
    for (auto it = madeFolders_.rbegin(); it != madeFolders_.rend(); ++it) {
        ::rmdir(it->c_str());
    }
    madeFolders_.clear();
}

} // namespace zm::render
