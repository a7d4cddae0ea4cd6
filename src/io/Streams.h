#pragma once

#include <cstddef>
#include <cstdint>

namespace zm::io {

// open(2) for a file that may make the open wait (a FIFO with no other end yet);
// a signal ends the wait with EINTR.
int openMayBlock(const char* path, int flags);
// read(2); a signal ends a wait with EINTR.
long readSome(int fd, char* data, std::size_t size);

// Writes all of it, or returns the error. An interruptible write stops at a
// signal, between two chunks or in a blocked call, and returns EINTR.
int writeAll(int fd, const char* data, std::size_t size, std::uint64_t* counted, bool interruptible);
// Copies from the current position of one descriptor to the current position of
// the other, through chunk (sys::ioChunk bytes). Returns 0, or the error and
// whether reading caused it.
int copyAll(int from, int to, char* chunk, std::uint64_t* counted, bool interruptible, bool& readFailed);

} // namespace zm::io
