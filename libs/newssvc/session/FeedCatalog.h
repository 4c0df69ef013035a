// CFeedCatalog: the parts of the news service put together, and the way a feed takes through them at each
// poll: the configuration's snapshot (CConfigStore), the scheduler and its fetcher (CFeedScheduler), the
// reader (bytes to items), the ingest (CFeedIngest: tags, identity, the commit), the items in memory
// (CMemoryItems) and the queries (CFeedQueries). Poll and TakeFetched run on the service's thread, one call
// at a time; the parts' accessors on any thread, as each part's header says. It has no lock of its own:
// each piece of state has one owner among the parts.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "libs/newssvc/archive/NewsArchive.h"
#include "libs/newssvc/config/ConfigStore.h"
#include "libs/newssvc/ingest/FeedIngest.h"
#include "libs/newssvc/query/FeedQueries.h"
#include "libs/newssvc/query/MemoryItems.h"
#include "libs/newssvc/source/FeedScheduler.h"
#include "port/CString.h"

namespace newssvc {

struct PollResult {
  bool categoriesChanged = false;
  std::vector<FeedChange> changes;
};

class CFeedCatalog {
 public:
  using Log = std::function<void(const std::string&)>;

  CFeedCatalog(CString configPath, CString feedsFolder);

  // Where what went wrong with a feed (fetch, read) is written, one line a call; standard error when none is
  // set. Set before the first poll.
  void SetLog(Log log) { m_log = std::move(log); }
  // The archive to keep items in (not owned; it outlives the catalog), before the first poll.
  void AttachArchive(CNewsArchive* archive);

  // Re-reads what changed since the last poll (everything when `force`) and starts the fetches that are due;
  // `now` dates items without a date. The new items are committed before they are reported.
  PollResult Poll(bool force, UtcSeconds now);
  // Reads the feeds fetched since the last call.
  PollResult TakeFetched(UtcSeconds now);

  CConfigStore& Config() { return m_config; }
  const CConfigStore& Config() const { return m_config; }
  CFeedScheduler& Scheduler() { return m_scheduler; }
  const CFeedScheduler& Scheduler() const { return m_scheduler; }
  const CFeedQueries& Queries() const { return m_queries; }

 private:
  // The current snapshot, which the scheduler and the ingest follow from now on.
  const ServiceSnapshot& Follow();
  void ReadFile(const DueFile& file, const ServiceSnapshot& snapshot, UtcSeconds now);
  void ReadFetched(const ServiceSnapshot& snapshot, UtcSeconds now);
  void Write(const std::string& line) const;

  Log m_log;
  CConfigStore m_config;
  CMemoryItems m_memory;
  CFeedScheduler m_scheduler;
  CFeedIngest m_ingest;
  CFeedQueries m_queries;
  // The service's thread only.
  std::shared_ptr<const ServiceSnapshot> m_followed;
  std::vector<DueFile> m_due;
};

}  // namespace newssvc
