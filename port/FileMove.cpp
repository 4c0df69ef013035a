#include "port/FileMove.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdio>
#endif

namespace port {

bool MoveFileOver(const CString& from, const CString& to) {
#ifdef _WIN32
  // std::rename refuses to replace an existing file on Windows.
  return MoveFileExA(from.GetString(), to.GetString(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
  return std::rename(from.GetString(), to.GetString()) == 0;
#endif
}

}  // namespace port
