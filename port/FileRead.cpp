#include "port/FileRead.h"

#include <memory>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>

#include <cstdio>
#endif

namespace port {

namespace {

constexpr std::size_t kChunk = 65536;

#ifdef _WIN32

struct HandleCloser {
  using pointer = HANDLE;
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};

bool ReadAll(const CString& path, std::size_t limit, std::string& bytes) {
  const std::unique_ptr<HANDLE, HandleCloser> file(CreateFileA(path.GetString(), GENERIC_READ,
                                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return false;
  char chunk[kChunk];
  while (true) {
    DWORD got = 0;
    if (!ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) return false;
    if (got == 0) return true;
    bytes.append(chunk, got);
    if (bytes.size() > limit) return false;
  }
}

bool ReadStamp(const CString& path, FileStamp& stamp) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.GetString(), GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return false;
  stamp.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  stamp.modified = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                             data.ftLastWriteTime.dwLowDateTime);
  return true;
}

#else

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

bool ReadAll(const CString& path, std::size_t limit, std::string& bytes) {
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.GetString(), "rb"));
  if (!file) return false;
  char chunk[kChunk];
  while (true) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
    bytes.append(chunk, got);
    if (bytes.size() > limit) return false;
    if (got < sizeof chunk) return std::ferror(file.get()) == 0;
  }
}

bool ReadStamp(const CString& path, FileStamp& stamp) {
  struct stat info;
  if (stat(path.GetString(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  stamp.size = static_cast<std::uint64_t>(info.st_size);
  stamp.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return true;
}

#endif

}  // namespace

bool ReadFileBounded(const CString& path, std::size_t limit, std::string& bytes) {
  bytes.clear();
  return !path.IsEmpty() && ReadAll(path, limit, bytes);
}

bool GetFileStamp(const CString& path, FileStamp& stamp) {
  stamp = FileStamp();
  return !path.IsEmpty() && ReadStamp(path, stamp);
}

}  // namespace port
