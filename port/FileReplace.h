// Replacing the whole content of a small file (the settings file) so that neither a crash, a power loss
// nor a second writer leaves a mixture: the new content goes to a temporary file of its own, under a
// unique name beside the file, reaches the disk, and is then moved over the file, and the move itself is
// made to reach the disk too.
#pragma once

#include <string>

#include "port/CString.h"

namespace port {

// Makes `bytes` the whole content of the file at `path`, creating the file when it does not exist. True
// once the new content is on disk. False when it could not be written; the file then keeps its old
// content and no temporary file is left (except when only the last step, syncing the folder after the
// move, fails: the file may then already hold the new content, though it is not known to be on disk).
//
// - A file that cannot be opened for writing, or is marked read-only (no write permission bit on POSIX,
//   the read-only attribute on Windows), is refused, even for a user who could override the mark.
// - The file keeps its permission bits (POSIX) or its attributes (Windows).
// - When `path` is a symbolic link, the file it leads to is replaced and the link stays as it is.
// - On Windows, a file that another program holds open without sharing it (a virus scanner, an indexer)
//   is tried again for about a second before the call gives up.
bool ReplaceFileContents(const CString& path, const std::string& bytes);

}  // namespace port
