// Folder paths. The module forms every path as "folder, separator, name"; the separator is the
// platform's own ("\" on Windows, "/" elsewhere).
#pragma once

#include "port/CString.h"

namespace port {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// folder + separator + name, formatted as "%s<sep>%s": a folder that already ends in a separator keeps it.
CString JoinPath(const CString& folder, const CString& name);

// The folder of the running executable (no trailing separator); empty when it cannot be found.
CString ExecutableFolder();

}  // namespace port
