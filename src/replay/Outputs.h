#pragma once

#include <csignal>
#include <cstddef>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zm::render {

// An output that cannot be opened, written or put in place. The message is
// one line that names the output and the system's reason.
struct OutputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The run was stopped by SIGINT or SIGTERM.
struct Interrupted {
    int signal;
};

// Installs handlers for SIGINT and SIGTERM that only note the signal, and makes
// a broken pipe an error returned by write instead of a silent death.
void catchInterrupts();
// The signal that arrived, or 0.
int pendingInterrupt();
// Throws Interrupted if a signal arrived.
void checkInterrupt();
// Ends the process as the signal would have, after the run has cleaned up.
[[noreturn]] void dieOf(int signal);

// Keeps the standard descriptors taken, so that no file the run opens becomes
// "standard output" by accident; notes whether standard output was closed.
void guardStandardDescriptors();

// One file the run writes. Whatever is written goes to a private temporary file
// until the whole set is committed:
//  - a regular file, or a name that does not exist yet: a temporary file beside
//    it that is renamed over the name (through a symbolic link, the file it
//    points to is replaced and the link stays);
//  - standard output ("-"), a device, a pipe or a socket: opened at once and
//    written in place at commit from a temporary file elsewhere; never removed.
class Output {
  public:
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void write(const void* data, std::size_t size);
    void write(std::string_view s) { write(s.data(), s.size()); }
    // Done writing: the temporary file of a regular file is closed now, so that
    // many outputs (frames) do not hold a descriptor each until the commit.
    void close();

    // The name as the user wrote it, and the file it is going to.
    const std::string& name() const { return name_; }
    const std::string& target() const { return target_; }
    bool inPlace() const { return inPlace_; }

  private:
    friend class OutputSet;
    Output(std::string name, std::string option);

    void openFile();
    void openInPlace(int fd);
    void flushBuffer();
    void finishTemporary();
    void copyToTarget();
    void rename();
    void discard();
    [[noreturn]] void fail(const std::string& what, int err) const;

    std::string name_;
    std::string option_;
    std::string target_;
    std::string temp_; // path of the temporary file beside the target
    int tempFd_ = -1;
    int targetFd_ = -1; // in place: the descriptor written at commit
    bool ownsTargetFd_ = false;
    bool inPlace_ = false;
    std::string buffer_;
};

// Every output of one run, committed together at the end of a successful run or
// not at all. Until commit, nothing that existed before the run is touched;
// without commit, everything the run made (temporary files, folders) goes.
class OutputSet {
  public:
    OutputSet() = default;
    ~OutputSet();
    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;

    // A file to write; option names it in messages ("--png"). The same file may
    // not be given twice.
    Output& add(const std::string& name, const std::string& option);
    // Makes a folder and its missing parents; the ones made are removed again
    // unless the set is committed.
    void makeFolder(const std::string& path, const std::string& option);
    // Gives an output not yet committed another name in the same folder.
    void rename(Output& out, const std::string& name);

    // Writes the outputs written in place, then puts the files in place.
    void commit();
    // Removes what the run made. Safe to call more than once.
    void discard();

  private:
    std::vector<std::unique_ptr<Output>> outputs_;
    std::map<std::string, std::string> targets_; // the files given so far, resolved, and their options
    void claim(const Output& out);
    std::vector<std::string> madeFolders_; // in the order made, parents first
    bool committed_ = false;
};

} // namespace zm::render
