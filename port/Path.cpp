#include "port/Path.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include <climits>
#endif

namespace port {

CString JoinPath(const CString& folder, const CString& name) {
  CString path;
  path.Format("%s%c%s", folder.GetString(), kPathSeparator, name.GetString());
  return path;
}

CString ExecutableFolder() {
#ifdef _WIN32
  char buffer[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return CString();
  const CString path(buffer, static_cast<int>(length));
#else
  char buffer[PATH_MAX] = {};
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return CString();
  const CString path(buffer, static_cast<int>(length));
#endif
  const int cut = path.ReverseFind(kPathSeparator);
  return cut < 0 ? CString() : path.Left(cut);
}

}  // namespace port
