// Folder paths. The module forms every path as "folder, separator, name"; the separator is the
// platform's own ("\" on Windows, "/" elsewhere).
#pragma once

#include <filesystem>

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

// A path the module holds, for std::filesystem and for libraries that take UTF-8 file names (SQLite, through
// u8string()). On Windows the module's paths are in the system's ANSI code page, which the file calls of this
// folder read; the standard library would read a narrow name in another code page and name another file.
std::filesystem::path FileSystemPath(const CString& path);

}  // namespace port
