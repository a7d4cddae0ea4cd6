#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
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

// The run was stopped by SIGINT, SIGTERM or SIGHUP.
struct Interrupted {
    int signal;
};

// Installs handlers for SIGINT, SIGTERM and SIGHUP that only note the signal
// (without restarting the call they interrupt, so that a blocked read, write or
// open returns at once), and makes a broken pipe an error returned by write
// instead of a silent death.
void catchInterrupts();
// The signal that arrived, or 0.
int pendingInterrupt();
// Throws Interrupted if a signal arrived. Under Node, where the handlers of
// signals run only when the program gives Node a turn, it gives Node one now
// and then (every 10 ms at most), so the program must be able to pause there.
void checkInterrupt();
// The same without giving Node a turn: for the checks at the event pumps inside
// a frame, where the program does not pause (under Node a signal then counts
// from the next wait for a key, a frame later at most).
void checkInterruptTaken();
// open(2) for a file that may make the open wait (a FIFO with no other end yet);
// a signal ends the wait with EINTR.
int openMayBlock(const char* path, int flags);
// The words for a system error, the same on every platform the program runs
// on under Linux: the C library of the Node build words some of them otherwise.
const char* errorText(int err);
// read(2); a signal ends a wait with EINTR.
long readSome(int fd, char* data, std::size_t size);
// Ends the process as the signal would have, after the run has cleaned up.
[[noreturn]] void dieOf(int signal);
// The line to show for an interrupted run: what the interrupt stopped, and what
// standard output (or another stream written in place) had already received:
//   "interrupted by SIGINT; nothing was written"
//   "interrupted by SIGINT; standard output got 262,144 bytes before the interrupt"
std::string interruptedMessage(int signal);

// Keeps the standard descriptors taken, so that no file the run opens becomes
// "standard output" by accident; notes which of them were closed.
void guardStandardDescriptors();

// The renderer's frame names: frame-NNNN.png with 4 or more digits.
bool isFrameName(std::string_view name);

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

// Every output of one run, committed together at the end of a successful run or
// not at all. Until commit, nothing that existed before the run is touched;
// without commit, everything the run made (temporary files, folders) goes. A
// commit that fails half way puts every file back as it was.
class OutputSet {
  public:
    OutputSet() = default;
    ~OutputSet();
    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;

    // A file to write; option names it in messages ("--png"). The same file may
    // not be given twice.
    Output& add(const std::string& name, const std::string& option);
    // A folder for outputs: it and its missing parents are made at the commit.
    // Where stale is given, the files in it whose names stale accepts and that
    // this run does not write are removed at the commit, so that the folder then
    // holds this run's set and whatever else was there.
    void makeFolder(const std::string& path, const std::string& option,
                    std::function<bool(std::string_view)> stale = {});
    // Gives an output not yet committed another name in the same folder.
    void rename(Output& out, const std::string& name);

    // Puts the files in place, then writes the outputs written in place,
    // standard output last.
    void commit();
    // Removes what the run made. Safe to call more than once.
    void discard();

  private:
    struct Folder {
        std::string path;                 // as given
        std::string option;               // for messages
        std::vector<std::string> missing; // absolute, parents first
        std::string base;                 // the nearest folder that exists
        std::function<bool(std::string_view)> stale;
    };
    struct Removed {
        std::string path;
        std::string backup;
    };

    std::vector<std::unique_ptr<Output>> outputs_;
    std::map<std::string, std::string> targets_; // the files given so far, resolved, and their options
    void claim(Output& out);
    void release(const Output& out);
    std::string temporaryFolderFor(const std::string& target) const;
    void makeFolders();
    void removeStale();
    void rollBack();
    std::vector<Folder> folders_;
    std::vector<std::string> madeFolders_; // in the order made, parents first
    std::vector<Removed> removed_;
    bool committed_ = false;
};

} // namespace zm::io
