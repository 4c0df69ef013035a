// Figure 7: the feed reader, from a feed's bytes to the service's headline records, against a bare libxml2
// parse of the same bytes (no decoding of our own, no DOM of our own, no records), over the feed files
// beside the repository.
#pragma once

#include <string>
#include <vector>

namespace bench {

class CReaderFixture {
 public:
  // Loads every .xml file below `folder`.
  explicit CReaderFixture(const std::string& folder);

  std::size_t Files() const { return m_feeds.size(); }
  std::size_t Bytes() const;
  // One pass over every feed; the number of records (or of parsed documents) made.
  std::size_t ReadToRecords() const;
  std::size_t ParseWithLibxml2() const;

 private:
  std::vector<std::string> m_feeds;
};

}  // namespace bench
