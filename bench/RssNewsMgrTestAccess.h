// CRssNewsMgrTestAccess: lets a benchmark stop the manager's worker and run its delivery pass on a thread
// of the benchmark's choosing, so that passes happen when the measurement wants them.
#pragma once

#include "news/RssNewsMgr.h"

class CRssNewsMgrTestAccess {
 public:
  static void StopWorker(CRssNewsMgr& mgr) { mgr.EndThread(); }
  static bool RunPass(CRssNewsMgr& mgr) { return mgr.NotifyChangeSetToAllObj(); }
};
