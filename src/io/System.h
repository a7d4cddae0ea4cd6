#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/stat.h>

// The system calls the outputs make, one file for each platform, which
// cmake/Sources.cmake picks: SystemPosix.cpp holds what every POSIX system
// shares (a native one and the runtime under Node), SystemPosixNative.cpp a
// native POSIX process, SystemNode.cpp the runtime under Node, and
// SystemWindows.cpp Windows.
namespace zm::io::sys {

// An output's buffer, which the copies at the commit go through too.
constexpr std::size_t bufferSize = std::size_t{1} << 20;
// The most read or written in one call: an interrupt waits for no more.
extern const std::size_t ioChunk;

// Flags of open(2) that not every system has: 0 where it has none.
extern const int openBinary;
extern const int openCloexec;
extern const int openNoFollow;
extern const int openNoCtty;
extern const int openNonBlock;

// --- The process ------------------------------------------------------------

// read(2) and write(2); a signal ends a wait with EINTR.
long read(int fd, char* data, std::size_t size);
long write(int fd, const char* data, std::size_t size);
// open(2) for a file that may make the open wait; a signal ends the wait.
int openMayBlock(const char* path, int flags);
// Where the host takes the signals for the program (Node), lets it do so now
// and then and notes a signal it took; elsewhere nothing.
void takeHostSignal();
// A transfer that an interrupt ended may still go on in the background (Node):
// its buffer is then never freed or used again.
extern const bool transfersOutliveInterrupt;

// Installs handler for SIGINT, SIGTERM and SIGHUP (without restarting the calls
// they interrupt), and makes a broken pipe an error returned by write.
void installHandlers(void (*handler)(int));
// Notes the thread the program runs on (before installHandlers).
void noteMainThread();
// Called by the handler: a signal taken by another thread goes on to the main
// thread, so that the call it is blocked in returns.
void passToMainThread(int sig);
// Ends the process as the signal would have.
[[noreturn]] void dieOf(int sig);
// SIGHUP, or -1 where there is none.
extern const int hangupSignal;

// Whether standard descriptor fd was closed when the program started; a
// closed one is taken (by /dev/null) where the system left it free.
bool closedAtStart(int fd);
// Makes a descriptor ready to be written: 0, or EBADF when it is not open for
// writing.
int readyForWriting(int fd);
// Makes a descriptor read bytes as they are, where the system reads text
// otherwise (Windows); elsewhere nothing.
void readBytes(int fd);

int processId();
// The temporary folder when $TMPDIR is not set.
std::string defaultTemporaryFolder();

// How many temporary files may be open at once before the next ones get names
// (0 where there are no unnamed ones).
int unnamedBudget();
// An unnamed temporary file in folder, or -1.
int openUnnamed(const std::string& folder);
// Gives an unnamed temporary file a name: 0, or the error.
int linkUnnamed(int fd, const std::string& name);
// The process's umask.
unsigned currentUmask();

// --- Files ------------------------------------------------------------------

int openFile(const char* path, int flags, int mode = 0);
// close(2): 0, or the error.
int close(int fd);
bool rewind(int fd);
// rename(2) and unlink(2): 0, or the error.
int renameOver(const std::string& from, const std::string& to);
int removeName(const std::string& path);
// Whether a file may be removed while it is open.
extern const bool removesOpenFiles;
// mkdir(2): 0, or -1 with errno set.
int makeDirectory(const std::string& path);
// link(2): 0, or the error (ENOSYS where there are no links).
int hardLink(const std::string& from, const std::string& to);

// Follows symbolic links from a name to the file they end at (which need not
// exist yet), or to a descriptor's name (descriptor is then set).
std::string followLinks(const std::string& name, int& err, int& descriptor);
// Whether the rules of a sticky folder keep the user from replacing, or from
// removing, a file in it.
bool stickyForbidsReplacing(const std::string& file, const std::string& folder);
bool stickyForbidsRemoving(const std::string& file, const std::string& folder);
// A folder that was removed while open (a working folder, say).
bool folderRemoved(const std::string& folder);
// Whether the user may make files in folder: 0, or the error.
int folderWritable(const std::string& folder);

// A regular file with more than one name.
bool sharedByLinks(const struct stat& st);
// Opens such a file to be written in place (for reading too where allowed):
// the descriptor, or -1 with errno set.
int openShared(const std::string& path);
// The new file keeps the old one's owner where the user may give it, and its
// permissions; a new file gets those the umask gives. 0, or the error.
int keepOwnerAndMode(int fd, bool existed, const struct stat& old);
// The size of an open file: 0, or the error.
int sizeOf(int fd, std::uint64_t& size);
// Cuts an open file at its current position, or at size: 0, or the error.
int truncateHere(int fd);
int truncateTo(int fd, std::uint64_t size);
// The file behind an open descriptor, as the system sees it (under Node, the
// process's own descriptor, not the runtime's picture of it): 0, or the error.
int statDescriptor(int fd, struct stat& st);
// What makes two names one file ("file DEVICE:INODE"), or empty.
std::string fileKey(const struct stat& st);

} // namespace zm::io::sys
