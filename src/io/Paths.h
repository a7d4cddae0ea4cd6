#pragma once

#include <filesystem>
#include <string>

// How the outputs name files: folders, hidden names, descriptors' names.
namespace zm::io {

// $TMPDIR, or the system's temporary folder.
std::string temporaryFolder();
// The folder a path is in ("." for a bare name).
std::string folderOf(const std::string& path);
// A folder's path without a trailing separator, so that one folder has one key.
std::filesystem::path normalFolder(const std::filesystem::path& p);
// A hidden name of fixed length for temporary files and backups, whatever the
// length of the name they stand in for.
std::string hiddenName();
std::string inFolder(const std::string& folder, const std::string& leaf);
// Whether anything has the name (a dangling link too).
bool nameExists(const std::string& path);
// The path made absolute, or as it is where that fails (the working folder was
// removed): an open of it then fails with the reason, instead of the run
// ending on an exception.
std::filesystem::path absoluteOr(const std::filesystem::path& p);
// The descriptor a name stands for (/dev/stdout, /dev/fd/N, /proc/self/fd/N),
// or -1. Such a name is the open descriptor itself, not a file to replace.
int descriptorNamed(const std::filesystem::path& path);

} // namespace zm::io
