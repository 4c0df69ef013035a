// A folder path a host gives as UTF-8, in the form the module's file calls read: the system's ANSI code
// page on Windows (characters it lacks become "?"), the same bytes elsewhere.
#pragma once

#include <string>

#include "port/CString.h"

namespace port {

// False when `utf8` is not valid UTF-8.
bool PathFromUtf8(const std::string& utf8, CString& path);

}  // namespace port
