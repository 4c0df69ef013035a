#include "port/ProcessBarrier.h"

#ifdef _WIN32
#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0600
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600  // FlushProcessWriteBuffers
#endif
#include <windows.h>
#else
#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace port {

#ifdef _WIN32

bool EnableProcessWideBarrier() { return true; }

void ProcessWideBarrier() { FlushProcessWriteBuffers(); }

#else

namespace {

long Membarrier(int command) { return syscall(__NR_membarrier, command, 0, 0); }

}  // namespace

bool EnableProcessWideBarrier() {
  // Registering is per process and may be repeated; the expedited barrier interrupts only the threads of
  // this process that are running.
  static const bool bEnabled = [] {
    const long commands = Membarrier(MEMBARRIER_CMD_QUERY);
    return commands > 0 && (commands & MEMBARRIER_CMD_PRIVATE_EXPEDITED) != 0 &&
           Membarrier(MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED) == 0;
  }();
  return bEnabled;
}

void ProcessWideBarrier() { Membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED); }

#endif

}  // namespace port
