#pragma once

#include <string>

namespace zm::io {

// A new temporary file in folder, readable and writable by the user alone:
// unnamed where it can be (name is then empty), else under a hidden name.
// Returns the descriptor, or -1 with errno set.
int openTemporary(const std::string& folder, std::string& name, bool& unnamed);
// Closes a descriptor openTemporary gave: 0, or the error.
int closeTemporary(int fd);

} // namespace zm::io
