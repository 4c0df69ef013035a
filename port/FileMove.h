// Moving a file over another one, the last step of replacing a file atomically: write a temporary file
// beside the target, then move it over the target.
#pragma once

#include "port/CString.h"

namespace port {

// Renames `from` to `to`, replacing `to` when it exists. On one volume the replacement is atomic: a reader
// sees the old file or the new one, never a mixture. False when the move fails; both files then stay as
// they were.
bool MoveFileOver(const CString& from, const CString& to);

}  // namespace port
