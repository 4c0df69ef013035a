// The process-wide module logger, g_pLog, shared by every CRssNewsMgr of the process: the first Init that
// finds none creates it, and Finit of any manager destroys it.
#pragma once

#include "port/CString.h"

namespace VXRSS {

// Creates the logger in `folder` and writes its first line, unless one exists. True when it was created.
bool CreateModuleLog(const CString& folder);
// Destroys the logger if there is one.
void DestroyModuleLog();
bool ModuleLogExists();
// Writes `text` at `level`; false when there is no logger.
bool WriteModuleLog(int level, const CString& text);

}  // namespace VXRSS
