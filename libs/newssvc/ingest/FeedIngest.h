// CFeedIngest: takes a read feed's items in. It tags them with the configured symbols, keeps those that are
// new (to memory, to the archive and to its retention window), converts them once into the archive's form,
// commits them together with the feeds' changed states, and only then puts them in memory and reports them.
// The archive numbers the items it writes; while it cannot be written, they are numbered from
// kFirstMemorySerial, served from memory and reported all the same, and written (renumbered) later.
// Every call runs on the service's thread, so it has no lock; it calls the archive and the memory store,
// which have their own.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "libs/newssvc/archive/NewsArchive.h"
#include "libs/newssvc/config/ConfigStore.h"
#include "libs/newssvc/parse/FeedItem.h"
#include "libs/newssvc/query/MemoryItems.h"
#include "libs/newssvc/source/FeedState.h"
#include "port/CString.h"

namespace newssvc {

// One new item as a change report needs it.
struct NewItem {
  long date;  // the service's date value, YYYYMMDD
  std::vector<std::string> symbols;
};

struct FeedChange {
  CString providerID;
  std::vector<NewItem> items;
};

class CFeedIngest {
 public:
  using Restore = std::function<void(const CString& providerID, const std::string& url, const FeedState& state)>;

  explicit CFeedIngest(CMemoryItems& memory) : m_memory(memory) {}

  // The archive to keep items in (not owned; it outlives the ingest), before the first poll.
  void AttachArchive(CNewsArchive* archive);
  // Takes the snapshot's providers as the ones to take in; the state of those that stay is kept.
  void Follow(const ServiceSnapshot& snapshot);
  // Notes the archive's last serial of the providers not synced yet and hands the state a URL feed had in
  // the last session back to `restore`, when it belongs to the source configured now.
  void SyncWithArchive(const ServiceSnapshot& snapshot, const Restore& restore);

  // A feed's state as its source keeps it, written with the next commit when more than its schedule changed.
  void NoteState(const CString& providerID, const FeedState& state);
  // The items a read of the feed gave; `now` dates those without a date.
  void Take(const CString& providerID, std::vector<FeedItem> items, const std::vector<SymbolWords>& symbols,
            UtcSeconds now);
  // Commits what was taken since the last commit and puts the new items in memory; `changes` gets them.
  void Commit(const RecordZone& zone, std::vector<FeedChange>& changes);

 private:
  struct Feed {
    bool synced = false;                  // serial and state taken over from the archive
    long syncedSerial = 0;                // the archive's last serial then: items numbered after it are new here too
    long lastSerial = 0;                  // the highest serial the archive gave the feed, as far as this process knows
    long memorySerials = 0;               // serials this process gave while the archive could not be written
    std::vector<ArchiveItem> unarchived;  // new items waiting to be written, oldest first
  };

  void DropArchived(const CString& providerID, long upTo, UtcSeconds now, std::vector<FeedItem>& items) const;
  void TakeIn(const CString& providerID, Feed& feed, const ArchiveBatch& written, bool stored, const RecordZone& zone,
              FeedChange& change);

  CMemoryItems& m_memory;
  CNewsArchive* m_pArchive = nullptr;
  std::map<CString, Feed> m_feeds;
  bool m_allSynced = true;
  std::map<std::string, FeedState> m_archivedStates;  // what the archive holds: loaded, then as written
  std::map<std::string, FeedState> m_pendingStates;   // noted states the archive does not hold yet
};

}  // namespace newssvc
