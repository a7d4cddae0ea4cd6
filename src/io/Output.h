#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zm::io {

// An output that cannot be opened, written or put in place. The message is
// one line that names the output and the system's reason.
struct OutputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Keeps the standard descriptors taken, so that no file the run opens becomes
// "standard output" by accident; notes which of them were closed.
void guardStandardDescriptors();

// One file the run writes. Whatever is written goes to a private temporary file
// until the whole set is committed:
//  - a regular file, or a name that does not exist yet: an unnamed temporary
//    file in its folder (a hidden named one where the file system has no
//    unnamed ones) that takes the name at the commit; through a symbolic link,
//    the file it points to is replaced and the link stays;
//  - a regular file with several hard links: written in place at the commit,
//    so that its links stay one file;
//  - standard output ("-"), a descriptor named as /dev/stdout, /dev/fd/N or
//    /proc/self/fd/N, a device, a pipe or a socket: written into at the commit
//    from a temporary file in $TMPDIR; never replaced.
// A file the user could not write with a shell redirection is refused at once.
class Output {
  public:
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void write(const void* data, std::size_t size);
    void write(std::string_view s) { write(s.data(), s.size()); }
    // Room for up to size bytes (less than the 1 MiB buffer), written in place
    // and then counted by wrote(): the trace's lines are made straight in it.
    char* room(std::size_t size);
    void wrote(std::size_t size);
    // Done writing: the temporary file of a regular file is let go now where it
    // can be, so that many outputs (frames) do not hold a descriptor each until
    // the commit.
    void close();

    // The name as the user wrote it, and the file it is going to.
    const std::string& name() const { return name_; }
    const std::string& target() const { return target_; }
    bool inPlace() const { return kind_ != Kind::Replace; }

  private:
    friend class OutputSet;
    enum class Kind { Replace, Overwrite, Stream };
    Output(std::string name, std::string option);

    void resolve();
    void openDescriptor(int fd);
    void checkReplaceable() const;
    void openSpool();
    void takeTarget(const std::string& tempFolder);
    void flushBuffer();
    void writeThrough(const char* data, std::size_t size);
    // The buffer's block, made at first use.
    char* block();
    // The block that copies at the commit go through.
    char* copyChunk();
    void finishTemporary();
    void linkIn();
    void backUp();
    void putInPlace();
    void overwrite();
    void copyToTarget();
    void undo();
    void dropBackup();
    void discard();
    int closeTemporary();
    std::string which() const;
    [[noreturn]] void fail(const std::string& what, int err) const;
    [[noreturn]] void failSpool(int err) const;

    std::string name_;
    std::string option_;
    std::string target_;
    Kind kind_ = Kind::Replace;
    int tempFd_ = -1;
    std::string temp_;       // the temporary file's name, while it has one
    std::string tempFolder_; // the folder the temporary file is in
    bool unnamed_ = false;   // the temporary file has no name until the commit
    bool spooled_ = false;   // the temporary file is in $TMPDIR
    int targetFd_ = -1;      // written in place at the commit
    bool ownsTargetFd_ = false;
    int descriptor_ = -1; // the descriptor the user named, or -1
    bool existed_ = false;
    std::string backup_;       // during the commit: the file replaced, under a hidden name
    bool backupAside_ = false; // the backup is the old file renamed, not a second link to it
    bool placed_ = false;      // during the commit: the new file has the name
    int savedFd_ = -1;         // during the commit: what an overwritten file held before
    std::uint64_t savedSize_ = 0;
    std::vector<std::string> keys_; // what makes two outputs one file
    // Bytes not yet written to the temporary file: a plain block, filled with
    // memcpy, since the trace adds one short line at a time.
    std::unique_ptr<char[]> buffer_;
    std::size_t buffered_ = 0;
};

} // namespace zm::io
