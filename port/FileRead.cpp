#include "port/FileRead.h"

#include <memory>

#ifdef _WIN32
#include <windows.h>
#else
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

#endif

}  // namespace

bool ReadFileBounded(const CString& path, std::size_t limit, std::string& bytes) {
  bytes.clear();
  return !path.IsEmpty() && ReadAll(path, limit, bytes);
}

}  // namespace port
