// Workspace: the folders the demo runs on. The bundled sample data is copied to a working folder, so the
// live part can add items to a feed without touching the sources; the user's own folders are used as
// they are. The news service's archive lives beside the copy (Archive/), so it survives the next run in
// the same working folder. On the first run the working feed also carries a week of earlier news
// (data/History), which the service archives; the feed is then put back to its latest items, so that
// those earlier items are found only in the archive from then on.
#pragma once

#include <string>

#include "demo/DemoOptions.h"

namespace demo {

class Workspace {
 public:
  Workspace() = default;
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  // False, with a message in `error`, when the folders cannot be prepared.
  bool Prepare(const DemoOptions& options, std::string& error);

  const std::string& ConfigRoot() const { return m_configRoot; }  // holds Config/
  const std::string& UserRoot() const { return m_userRoot; }      // holds Data/
  // The working copy of the bundled Big5 feed; empty when the user's own feeds are shown.
  const std::string& LiveFeedPath() const { return m_liveFeed; }
  // Whether this run's working feed carries the week of earlier news (the archive was still empty).
  bool LoadsHistory() const { return m_bLoadsHistory; }
  // Puts the working feed back to the bundled one, without the earlier news; false when it cannot.
  bool RestoreLiveFeed() const;
  // The working copy's feeds folder (Config/feeds).
  std::string FeedsFolder() const;
  // Points the working copy's configuration at `baseUrl` instead of its feed files, with every exchange
  // logged; false when the configuration cannot be rewritten.
  bool ReadFeedsFrom(const std::string& baseUrl);

 private:
  std::string m_configRoot;
  std::string m_userRoot;
  std::string m_liveFeed;
  std::string m_created;  // a folder this object made and removes at the end
  bool m_bLoadsHistory = false;
};

}  // namespace demo
