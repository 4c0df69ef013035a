// FileStamp: what tells a file's rewrite: whether it exists, its size and its last-write time.
#pragma once

#include <cstdint>

#include "port/CString.h"
#include "port/FileRead.h"

namespace newssvc {

struct FileStamp {
  bool exists = false;
  std::uintmax_t size = 0;
  std::int64_t modified = 0;

  static FileStamp Of(const CString& path) {
    FileStamp stamp;
    port::FileStamp file;
    if (!port::GetFileStamp(path, file)) return stamp;
    return {true, file.size, file.modified};
  }
  bool operator==(const FileStamp& other) const {
    return exists == other.exists && size == other.size && modified == other.modified;
  }
  bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

}  // namespace newssvc
