#pragma once

// What the programs need of files beyond the standard library: an atomic
// replace, this process's number for names of its own, and the system's
// reason for a failure in words a user acts on.

#include <string>

namespace platform {

// Moves `from` to `to` in one step, replacing what `to` was: a reader sees
// the old file or the new one, never a part. Both in the same folder.
// Nothing, or the reason it failed.
std::string replaceFile(const std::string &from, const std::string &to);

// Makes a new, empty file at `path`, for this process alone: it fails
// where anything (a file, a link another user planted) is there already.
// Nothing, or the reason it failed.
std::string createNewFile(const std::string &path);

// Removes a file; nothing happens where there is none.
void removeFile(const std::string &path);

// This process's number, for files it names as its own.
long processId();

// Why the system refused, from the C library's error number: "no such
// folder", "no permission", "the disk is full", ...
std::string reasonOf(int errorNumber);

}  // namespace platform
