#include "module/ModuleLog.h"

#include <memory>

#include "libs/vxlog/VXLog.h"
#include "port/Mutex.h"

namespace {

constexpr int kInitLogLevel = 0x100;

// Managers may be created and closed on different threads, so the pointer has a lock of its own.
port::Mutex g_logMutex;
std::unique_ptr<CVXLog> g_pLog GUARDED_BY(g_logMutex);

}  // namespace

namespace VXRSS {

bool CreateModuleLog(const CString& folder) {
  port::MutexLock lock(g_logMutex);
  if (g_pLog) return false;
  g_pLog = std::make_unique<CVXLog>();
  g_pLog->storage(folder.GetString(), "VX", "vxRSSMgr", true, false);
  (*g_pLog)(kInitLogLevel).Write("CVRSSMgr::Init Log init");
  return true;
}

void DestroyModuleLog() {
  port::MutexLock lock(g_logMutex);
  g_pLog.reset();
}

bool ModuleLogExists() {
  port::MutexLock lock(g_logMutex);
  return g_pLog != nullptr;
}

bool WriteModuleLog(int level, const CString& text) {
  port::MutexLock lock(g_logMutex);
  if (!g_pLog) return false;
  (*g_pLog)(level).Write(text);
  return true;
}

}  // namespace VXRSS
