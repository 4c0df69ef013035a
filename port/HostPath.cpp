#include "port/HostPath.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace port {

#ifdef _WIN32

bool PathFromUtf8(const std::string& utf8, CString& path) {
  path.Empty();
  if (utf8.empty()) return true;
  const int length = static_cast<int>(utf8.size());
  const int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
  if (wideLength <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, &wide[0], wideLength);
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, nullptr, 0, "?", nullptr);
  if (n <= 0) return false;
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, &bytes[0], n, "?", nullptr);
  path = CString(std::move(bytes));
  return true;
}

#else

bool PathFromUtf8(const std::string& utf8, CString& path) {
  path = CString(utf8);
  return true;
}

#endif

}  // namespace port
