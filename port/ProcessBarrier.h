// A memory barrier that every thread of the process passes: after ProcessWideBarrier returns, each other
// thread has run a full barrier, so a store it made before that point is visible to the caller, and a load
// it makes after that point sees what the caller stored before the call. This lets a hot path order its
// store before its load with a compiler fence only, while the rare side pays for a system call.
#pragma once

namespace port {

// Prepares the process for ProcessWideBarrier; false when the system offers no such barrier, in which
// case the hot path must use a full fence of its own.
bool EnableProcessWideBarrier();

// Only after EnableProcessWideBarrier returned true.
void ProcessWideBarrier();

}  // namespace port
