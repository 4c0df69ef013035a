// Reading a whole file that another program may replace meanwhile (feeds, the settings file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "port/CString.h"

namespace port {

// Reads the whole file into `bytes`. False when it cannot be opened or read, or holds more than `limit`
// bytes. Reads in chunks rather than trusting a size query, so devices and pipes are bounded too. While the
// file is open, a writer may still move another file over it (as POSIX always allows; on Windows the file
// is opened with delete sharing): the reader keeps reading the old content.
bool ReadFileBounded(const CString& path, std::size_t limit, std::string& bytes);

// A regular file's size and last-write time, the time as fine as the file system keeps it (100 ns on
// Windows, nanoseconds on POSIX; MinGW's std::filesystem gives whole seconds, so a file rewritten with the
// same size within a second would look unchanged). False when the path names no regular file.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t modified = 0;
};
bool GetFileStamp(const CString& path, FileStamp& stamp);

}  // namespace port
