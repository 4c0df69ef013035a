#include "port/FileReplace.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#endif

namespace port {

namespace {

// Names are random, so a clash with another writer's temporary file is all but impossible; creating the
// file exclusively makes it harmless all the same, at the cost of a new name.
constexpr int kNameAttempts = 16;

// A name beside `target` that no other save uses: the process ID tells processes apart, the random part
// the saves of one process.
std::string TemporaryName(const std::string& target, unsigned long processId) {
  std::random_device random;
  const unsigned long long salt = (static_cast<unsigned long long>(random()) << 32) ^ random();
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, ".%lx.%016llx.tmp", processId, salt);
  return target + suffix;
}

#ifdef _WIN32

constexpr ULONGLONG kBusyRetryMs = 1000;
constexpr DWORD kBusyPauseMs = 50;
// The attributes a replacement file takes over from the file it replaces.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

struct HandleCloser {
  using pointer = HANDLE;
  void operator()(HANDLE handle) const {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};
using Handle = std::unique_ptr<HANDLE, HandleCloser>;

// Another program holding the file open without sharing it, usually for a moment. Moving over such a file
// reports access denied rather than a sharing violation.
bool IsBusy(DWORD error, bool moving) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || (moving && error == ERROR_ACCESS_DENIED);
}

// Decides, for one save, whether a failed step is worth another try: only while the file is busy, and
// only for about a second in all.
class BusyRetry {
 public:
  bool PauseBeforeRetry(DWORD error, bool moving) const {
    if (!IsBusy(error, moving) || GetTickCount64() - m_start >= kBusyRetryMs) return false;
    Sleep(kBusyPauseMs);
    return true;
  }

 private:
  const ULONGLONG m_start = GetTickCount64();
};

// The file a reparse point (a symbolic link) leads to; the path itself for anything else.
bool FollowLinks(std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return true;
  const Handle file(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return false;
  char buffer[MAX_PATH * 4];
  const DWORD length = GetFinalPathNameByHandleA(file.get(), buffer, sizeof buffer, FILE_NAME_NORMALIZED);
  if (length == 0 || length >= sizeof buffer) return false;
  path.assign(buffer, length);
  return true;
}

// The attributes the new file gets; false when the existing file may not be replaced. Opening the file
// for writing writes nothing, but fails while it is denied to us or held without sharing.
bool ProbeTarget(const std::string& path, const BusyRetry& retry, DWORD& attributes) {
  const DWORD existing = GetFileAttributesA(path.c_str());
  if (existing == INVALID_FILE_ATTRIBUTES) {
    attributes = FILE_ATTRIBUTE_NORMAL;
    return GetLastError() == ERROR_FILE_NOT_FOUND;
  }
  if ((existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) return false;
  attributes = (existing & kKeptAttributes) != 0 ? existing & kKeptAttributes : FILE_ATTRIBUTE_NORMAL;
  while (true) {
    const Handle probe(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (probe.get() != INVALID_HANDLE_VALUE) return true;
    if (!retry.PauseBeforeRetry(GetLastError(), false)) return false;
  }
}

Handle CreateTemporary(const std::string& target, DWORD attributes, std::string& tempPath) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    tempPath = TemporaryName(target, GetCurrentProcessId());
    Handle file(CreateFileA(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr));
    if (file.get() != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return Handle(INVALID_HANDLE_VALUE);
}

// Writes, flushes to the disk and closes.
bool WriteFlushed(Handle file, const std::string& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return FlushFileBuffers(file.get()) && CloseHandle(file.release());
}

// Write-through: the move is on the disk when the call returns.
bool MoveOver(const std::string& from, const std::string& to, const BusyRetry& retry) {
  while (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    if (!retry.PauseBeforeRetry(GetLastError(), true)) return false;
  }
  return true;
}

bool Replace(std::string target, const std::string& bytes) {
  const BusyRetry retry;
  DWORD attributes = FILE_ATTRIBUTE_NORMAL;
  if (!FollowLinks(target) || !ProbeTarget(target, retry, attributes)) return false;
  std::string tempPath;
  Handle file = CreateTemporary(target, attributes, tempPath);
  if (file.get() == INVALID_HANDLE_VALUE) return false;
  if (WriteFlushed(std::move(file), bytes) && MoveOver(tempPath, target, retry)) return true;
  DeleteFileA(tempPath.c_str());
  return false;
}

#else

constexpr int kMaxLinks = 40;  // as many as the kernel follows in one path

class Fd {
 public:
  explicit Fd(int fd) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Fd(Fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd& operator=(Fd&&) = delete;

  int get() const { return m_fd; }
  bool Close() { return ::close(std::exchange(m_fd, -1)) == 0; }

 private:
  int m_fd;
};

std::string FolderOf(const std::string& path) {
  const std::size_t cut = path.rfind('/');
  if (cut == std::string::npos) return ".";
  return cut == 0 ? "/" : path.substr(0, cut);
}

// The file a chain of symbolic links leads to (it may not exist yet); the path itself when it is no link.
bool FollowLinks(std::string& path) {
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) return errno == ENOENT;
    if (!S_ISLNK(status.st_mode)) return true;
    char target[PATH_MAX];
    const ssize_t length = readlink(path.c_str(), target, sizeof target);
    if (length <= 0 || length >= static_cast<ssize_t>(sizeof target)) return false;
    const std::string link(target, static_cast<std::size_t>(length));
    path = link[0] == '/' ? link : FolderOf(path) + "/" + link;
  }
  return false;
}

// What the new file must look like; `exists` false when there is no file yet (it then gets the default
// permissions). False when the existing file may not be replaced. Opening it for writing writes nothing,
// but fails when it is denied to us.
struct TargetState {
  bool exists = false;
  mode_t mode = 0;
};

bool ProbeTarget(const std::string& path, TargetState& state) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return errno == ENOENT;
  if (!S_ISREG(status.st_mode) || (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
  const Fd probe(open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
  state = TargetState{true, static_cast<mode_t>(status.st_mode & 07777)};
  return probe.get() >= 0;
}

Fd CreateTemporary(const std::string& target, std::string& tempPath) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    tempPath = TemporaryName(target, static_cast<unsigned long>(getpid()));
    Fd file(open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (file.get() >= 0 || errno != EEXIST) return file;
  }
  return Fd(-1);
}

bool WriteAll(int fd, const std::string& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

// Gives the file its permissions, writes it, syncs it to the disk and closes it.
bool WriteSynced(Fd file, const TargetState& state, const std::string& bytes) {
  if (state.exists && fchmod(file.get(), state.mode) != 0) return false;
  return WriteAll(file.get(), bytes) && fsync(file.get()) == 0 && file.Close();
}

// A rename is on the disk once its folder is synced.
bool SyncFolder(const std::string& folder) {
  const Fd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) return false;
  // A file system that cannot sync a folder says so with EINVAL; there is nothing more to do there.
  return fsync(dir.get()) == 0 || errno == EINVAL;
}

bool Replace(std::string target, const std::string& bytes) {
  TargetState state;
  if (!FollowLinks(target) || !ProbeTarget(target, state)) return false;
  std::string tempPath;
  Fd file = CreateTemporary(target, tempPath);
  if (file.get() < 0) return false;
  if (!WriteSynced(std::move(file), state, bytes) || rename(tempPath.c_str(), target.c_str()) != 0) {
    unlink(tempPath.c_str());
    return false;
  }
  return SyncFolder(FolderOf(target));
}

#endif

}  // namespace

bool ReplaceFileContents(const CString& path, const std::string& bytes) {
  return !path.IsEmpty() && Replace(path.str(), bytes);
}

}  // namespace port
