// CFeedQueries: answers the views' questions (headline lists, an item's content, a provider's newest date)
// from the archive's readers and the items memory holds that the archive has not written yet; from memory
// alone when the archive cannot be read. Any thread calls it; it has no lock and no state of its own beyond
// what it is given before the first query.
#pragma once

#include <vector>

#include "libs/newssvc/NewsHeadline.h"
#include "libs/newssvc/archive/NewsArchive.h"
#include "libs/newssvc/config/ConfigStore.h"
#include "libs/newssvc/query/MemoryItems.h"
#include "port/CString.h"

namespace newssvc {

// Which items a headline query wants: one date or all (0), and items tagged with one of the symbols or
// all (empty).
struct HeadlineFilter {
  long date = 0;
  std::vector<std::string> symbols;
};

// A search of the archive: words (UTF-8) as CNewsArchive::Search takes them, providers joined with ","
// (empty: every configured provider), a symbol (empty: any), dates YYYYMMDD in the records' zone (0: open),
// at most `limit` items (0 or more than kMaxItems: kMaxItems).
struct HeadlineSearch {
  std::string words;
  CString providerIDs;
  std::string symbol;
  long fromDate = 0;
  long toDate = 0;
  int limit = 0;
};

class CFeedQueries {
 public:
  // Status of a query: the provider is configured, or not.
  static constexpr int kOk = 0;
  static constexpr int kUnknownProvider = -1;
  // GetContent: the provider is known but no longer holds the item.
  static constexpr int kNoSuchItem = 1;

  CFeedQueries(const CConfigStore& config, const CMemoryItems& memory) : m_config(config), m_memory(memory) {}

  // The archive to read (not owned), before the first query.
  void AttachArchive(CNewsArchive* archive) { m_pArchive = archive; }

  // Records of every listed provider ("," between IDs) that pass the filter, provider by provider, each
  // newest first. kUnknownProvider when no listed provider is configured.
  int GetHeadlines(const CString& providerIDs, const HeadlineFilter& filter, std::vector<NewsHeadline>& list) const;
  int GetContent(const CString& providerID, long key1, CString& content) const;
  // The archive's items that match the search, newest first, each record with its snippet; kNoSuchItem when
  // the archive cannot be read (items only in memory are not searched).
  int Search(const HeadlineSearch& search, std::vector<NewsHeadline>& list) const;
  // The service's date value of the provider's newest item; 0 when it has none.
  long LatestDate(const CString& providerID) const;

 private:
  void CollectHeadlines(const CString& providerID, const HeadlineFilter& filter, const RecordZone& zone,
                        std::vector<StoredItem>& items) const;
  bool QueryArchive(const CString& providerID, const HeadlineFilter& filter, const RecordZone& zone,
                    std::vector<StoredItem>& items) const;
  bool FindArchived(const CString& providerID, long serial, StoredItem& item) const;

  const CConfigStore& m_config;
  const CMemoryItems& m_memory;
  CNewsArchive* m_pArchive = nullptr;
};

}  // namespace newssvc
