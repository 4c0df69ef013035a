#include "libs/newssvc/session/FeedCatalog.h"

#include <cstdio>
#include <exception>

#include "libs/newssvc/parse/FeedCharset.h"
#include "libs/newssvc/parse/FeedReader.h"
#include "libs/vxutil/XMLHelper.h"

namespace newssvc {

namespace {

// A file feed's validators are its size and modification time.
FeedState FileFeedState(const FileStamp& stamp, bool readable) {
  FeedState state;
  state.etag = stamp.exists ? std::to_string(stamp.size) : std::string();
  state.lastModified = stamp.exists ? std::to_string(stamp.modified) : std::string();
  state.lastError = readable ? std::string() : stamp.exists ? "cannot read the feed" : "the feed file is missing";
  return state;
}

}  // namespace

CFeedCatalog::CFeedCatalog(CString configPath, CString feedsFolder)
    : m_config(std::move(configPath), std::move(feedsFolder)),
      m_scheduler([this](const std::string& line) { Write(line); }),
      m_ingest(m_memory),
      m_queries(m_config, m_memory) {}

void CFeedCatalog::AttachArchive(CNewsArchive* archive) {
  m_ingest.AttachArchive(archive);
  m_queries.AttachArchive(archive);
}

PollResult CFeedCatalog::Poll(bool force, UtcSeconds now) {
  PollResult result;
  result.categoriesChanged = m_config.ReloadIfChanged(force);
  const ServiceSnapshot& snapshot = Follow();
  m_ingest.SyncWithArchive(snapshot, [this](const CString& providerID, const std::string& url, const FeedState& state) {
    m_scheduler.Restore(providerID, url, state);
  });
  m_scheduler.Poll(snapshot, force, m_due);
  for (const DueFile& file : m_due) ReadFile(file, snapshot, now);
  ReadFetched(snapshot, now);
  m_ingest.Commit(snapshot.Zone(), result.changes);  // the new items, committed, become the changes reported
  return result;
}

PollResult CFeedCatalog::TakeFetched(UtcSeconds now) {
  PollResult result;
  const ServiceSnapshot& snapshot = Follow();
  ReadFetched(snapshot, now);
  m_ingest.Commit(snapshot.Zone(), result.changes);
  return result;
}

const ServiceSnapshot& CFeedCatalog::Follow() {
  std::shared_ptr<const ServiceSnapshot> current = m_config.Current();
  if (current != m_followed) {
    m_scheduler.Follow(*current);
    m_ingest.Follow(*current);
    m_memory.Retain(current->Providers());
    m_followed = std::move(current);
  }
  return *m_followed;
}

// Nothing a feed holds may end the service's thread: a feed that fails in any way is skipped like an
// unreadable one, and keeps the items read from it before.
void CFeedCatalog::ReadFile(const DueFile& file, const ServiceSnapshot& snapshot, UtcSeconds now) {
  const std::string& path = file.path.str();
  try {
    std::vector<FeedItem> items;
    bool illFormed = false;
    const bool readable = file.stamp.exists && file.stamp.size <= CXMLHelper::kMaxFileSize &&
                          CFeedReader::ReadFile(file.path, items, &illFormed);
    if (!readable && file.stamp.exists) Write("feed " + path + " cannot be read; its last items are kept");
    if (readable && illFormed) Write("feed " + path + " is ill-formed; its readable items are read");
    m_ingest.NoteState(file.providerID, FileFeedState(file.stamp, readable));
    if (readable) m_ingest.Take(file.providerID, std::move(items), snapshot.Config().symbolWords, now);
  } catch (const std::exception& error) {
    Write("feed " + path + " skipped: " + error.what());
    m_ingest.NoteState(file.providerID, FileFeedState(file.stamp, false));
  }
}

void CFeedCatalog::ReadFetched(const ServiceSnapshot& snapshot, UtcSeconds now) {
  for (FetchedFeed& feed : m_scheduler.TakeFetched()) {
    std::vector<FeedItem> items;
    const bool readable = ReadFetchedFeed(feed.body, feed.charset, items);
    m_scheduler.ReportRead(feed.providerID, readable);
    if (readable) m_ingest.Take(feed.providerID, std::move(items), snapshot.Config().symbolWords, now);
  }
  for (const auto& changed : m_scheduler.TakeChangedStates()) m_ingest.NoteState(changed.first, changed.second);
}

void CFeedCatalog::Write(const std::string& line) const {
  if (m_log) {
    m_log(line);
  } else {
    std::fprintf(stderr, "newssvc: %s\n", line.c_str());
  }
}

}  // namespace newssvc
