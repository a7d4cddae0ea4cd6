#include "io/Output.h"

#include "io/ErrorText.h"
#include "io/Paths.h"
#include "io/Signals.h"
#include "io/Streams.h"
#include "io/System.h"
#include "io/Temporaries.h"
#include "script/Quote.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace zm::io {

namespace {

bool closedAtStart[3] = {false, false, false};

} // namespace

void guardStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (sys::closedAtStart(fd)) {
            closedAtStart[fd] = true;
        }
    }
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
    int err = 0;
    int fd = -1;
    target_ = sys::followLinks(name_, err, fd);
    if (err != 0) {
        fail("cannot write", err);
    }
    if (fd >= 0) {
        openDescriptor(fd);
    }
}

void Output::openDescriptor(int fd) {
    descriptor_ = fd;
    if (fd <= 2 && closedAtStart[fd]) {
        throw OutputError("cannot write " + which() + ": " +
                          (fd == 1 ? "standard output is closed" : "the descriptor is closed"));
    }
    if (const int err = sys::readyForWriting(fd); err != 0) {
        fail("cannot write", err);
    }
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
    if (!temp_.empty() && sys::removesOpenFiles) {
        sys::removeName(temp_); // nothing to find in $TMPDIR, whatever ends the run
        temp_.clear();
    }
}

// A file that exists is replaced only where a shell redirection could write it,
// and only where the folder lets the user replace it.
void Output::checkReplaceable() const {
    const int fd = sys::openFile(target_.c_str(), O_WRONLY | sys::openNoCtty | sys::openNonBlock |
                                                      sys::openNoFollow | sys::openCloexec);
    if (fd < 0) {
        fail("cannot write", errno);
    }
    sys::close(fd);
    if (sys::stickyForbidsReplacing(target_, folderOf(target_))) {
        fail("cannot replace", EPERM);
    }
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
        const int fd =
            openMayBlock(target_.c_str(), O_WRONLY | sys::openNoCtty | sys::openCloexec | sys::openBinary);
        if (fd < 0) {
            fail("cannot write", errno);
        }
        kind_ = Kind::Stream;
        targetFd_ = fd;
        ownsTargetFd_ = true;
        openSpool();
        return;
    }
    if (exists && sys::sharedByLinks(st)) {
        // Its links stay one file: it is written in place at the commit. Opened
        // for reading too where allowed, so that a failed commit can put back
        // what it held.
        const int fd = sys::openShared(target_);
        if (fd < 0) {
            fail("cannot write", errno);
        }
        kind_ = Kind::Overwrite;
        targetFd_ = fd;
        ownsTargetFd_ = true;
        openSpool();
        return;
    }
    if (exists) {
        checkReplaceable();
    }
    kind_ = Kind::Replace;
    existed_ = exists;
    tempFolder_ = tempFolder.empty() ? folderOf(target_) : tempFolder;
    // A folder that was removed (a working folder, say) takes no new name, but
    // some file systems still open an unnamed file in it: say so now, as every
    // file system would at the open, not at the end of the run.
    if (sys::folderRemoved(tempFolder_)) {
        fail("cannot write", ENOENT);
    }
    tempFd_ = openTemporary(tempFolder_, temp_, unnamed_);
    if (tempFd_ < 0) {
        fail("cannot write", errno);
    }
    if (const int err = sys::keepOwnerAndMode(tempFd_, exists, st); err != 0) {
        fail("cannot write", err);
    }
}

void Output::write(const void* data, std::size_t size) {
    if (size >= sys::bufferSize) {
        flushBuffer();
        writeThrough(static_cast<const char*>(data), size);
        return;
    }
    std::memcpy(room(size), data, size);
    buffered_ += size;
}

char* Output::room(std::size_t size) {
    if (size > sys::bufferSize - buffered_) {
        flushBuffer();
    }
    return block() + buffered_;
}

char* Output::block() {
    if (!buffer_) {
        buffer_ = std::make_unique<char[]>(sys::bufferSize);
    }
    return buffer_.get();
}

void Output::wrote(std::size_t size) {
    buffered_ += size;
}

char* Output::copyChunk() {
    // The buffer is empty by the commit, and its pages are in memory already;
    // every platform's sys::ioChunk is at most its size.
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
    return io::closeTemporary(fd);
}

void Output::finishTemporary() {
    if (tempFd_ < 0) {
        return; // closed already
    }
    flushBuffer();
    if (kind_ != Kind::Replace || unnamed_) {
        if (!sys::rewind(tempFd_)) {
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
    if (!unnamed_) {
        return;
    }
    const std::string folder = folderOf(target_);
    for (int i = 0; i < 100; ++i) {
        std::string name = inFolder(folder, hiddenName());
        const int err = sys::linkUnnamed(tempFd_, name);
        if (err == 0) {
            temp_ = std::move(name);
            unnamed_ = false;
            closeTemporary();
            return;
        }
        if (err != EEXIST) {
            fail("cannot put in place", err);
        }
    }
    fail("cannot put in place", EEXIST);
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
        // Where there are no links (ENOSYS), it is moved aside.
        if (const int err = sys::hardLink(target_, name); err == 0) {
            backup_ = std::move(name);
            return;
        } else if (err == EEXIST) {
            continue;
        } else if (err != EPERM && err != EOPNOTSUPP && err != ENOSYS && err != EMLINK) {
            fail("cannot replace", err);
        }
        if (const int err = sys::renameOver(target_, name); err != 0) {
            fail("cannot replace", err);
        }
        backup_ = std::move(name);
        backupAside_ = true;
        return;
    }
    fail("cannot replace", EEXIST);
}

void Output::putInPlace() {
    if (const int err = sys::renameOver(temp_, target_); err != 0) {
        fail("cannot put in place", err);
    }
    temp_.clear();
    placed_ = true;
}

// A file with several links: what it holds is kept in $TMPDIR, then the new
// content is written over it.
void Output::overwrite() {
    if (const int err = sys::sizeOf(targetFd_, savedSize_); err != 0) {
        fail("cannot write", err);
    }
    std::string name;
    bool unnamed = false;
    savedFd_ = openTemporary(temporaryFolder(), name, unnamed);
    if (savedFd_ < 0) {
        failSpool(errno);
    }
    if (!name.empty()) {
        sys::removeName(name);
    }
    bool readFailed = false;
    if (!sys::rewind(targetFd_)) {
        fail("cannot write", errno);
    }
    if (const int err = copyAll(targetFd_, savedFd_, copyChunk(), nullptr, true, readFailed); err != 0) {
        if (!readFailed) {
            failSpool(err);
        }
        // Open for writing only: what it held cannot be kept.
        io::closeTemporary(savedFd_);
        savedFd_ = -1;
    }
    placed_ = true;
    if (!sys::rewind(targetFd_)) {
        fail("cannot write", errno);
    }
    if (const int err = copyAll(tempFd_, targetFd_, copyChunk(), nullptr, true, readFailed); err != 0) {
        readFailed ? failSpool(err) : fail("cannot write", err);
    }
    if (const int err = sys::truncateHere(targetFd_); err != 0) {
        fail("cannot write", err);
    }
}

void Output::copyToTarget() {
    std::uint64_t& bytes = receiving(descriptor_ == 1 ? std::string("standard output") : which());
    bool readFailed = false;
    if (const int err = copyAll(tempFd_, targetFd_, copyChunk(), &bytes, true, readFailed); err != 0) {
        if (err == EINTR && !readFailed && sys::transfersOutliveInterrupt) {
            // The host may still be writing from the chunk after the signal
            // ended the wait: it is never freed, or used again.
            (void)buffer_.release();
        }
        readFailed ? failSpool(err) : fail("cannot write", err);
    }
    if (ownsTargetFd_) {
        const int fd = targetFd_;
        targetFd_ = -1;
        ownsTargetFd_ = false;
        if (const int err = sys::close(fd); err != 0) {
            fail("cannot write", err);
        }
    }
}

// Puts back what the commit changed for this output. Runs to the end, whatever
// signal arrives.
void Output::undo() {
    if (kind_ == Kind::Replace) {
        if (placed_) {
            if (backup_.empty()) {
                sys::removeName(target_);
            } else {
                sys::renameOver(backup_, target_);
            }
        } else if (!backup_.empty()) {
            if (backupAside_) {
                sys::renameOver(backup_, target_);
            } else {
                sys::removeName(backup_);
            }
        }
        backup_.clear();
        placed_ = false;
    }
    if (kind_ == Kind::Overwrite && placed_ && savedFd_ >= 0) {
        bool readFailed = false;
        if (sys::rewind(savedFd_) && sys::rewind(targetFd_) &&
            copyAll(savedFd_, targetFd_, copyChunk(), nullptr, false, readFailed) == 0) {
            sys::truncateTo(targetFd_, savedSize_);
        }
        placed_ = false;
    }
}

void Output::dropBackup() {
    if (!backup_.empty()) {
        sys::removeName(backup_);
        backup_.clear();
    }
    if (savedFd_ >= 0) {
        io::closeTemporary(savedFd_);
        savedFd_ = -1;
    }
}

void Output::discard() {
    closeTemporary();
    if (!temp_.empty()) {
        sys::removeName(temp_);
        temp_.clear();
    }
    if (savedFd_ >= 0) {
        io::closeTemporary(savedFd_);
        savedFd_ = -1;
    }
    if (ownsTargetFd_) {
        sys::close(targetFd_);
        ownsTargetFd_ = false;
    }
    targetFd_ = -1;
}

} // namespace zm::io
