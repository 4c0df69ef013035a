// LiveFeed: plays a publisher that adds news to the bundled Big5 feed, the way publishers update a feed
// file: the new version is written beside it and renamed over it.
#pragma once

#include <string>

namespace demo {

class LiveFeed {
 public:
  explicit LiveFeed(std::string path);

  // Adds the next sample item at the top of the feed; false when the feed cannot be read or written. The
  // item has no date of its own, so the news service dates it when it first sees it.
  bool AddItem(std::string& titleUtf8);

 private:
  const std::string m_path;
  int m_nAdded = 0;
  long long m_llRun;  // this run's start, seconds since the epoch
};

}  // namespace demo
