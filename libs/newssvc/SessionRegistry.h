// The open sessions of the process, so that the exported functions without a session argument
// (server time, cache updates) reach every session.
#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "libs/newssvc/RssNewsSession.h"

namespace newssvc {

class CSessionRegistry {
 public:
  static CSessionRegistry& Instance();

  void Add(CRssNewsSession* session);
  void Remove(CRssNewsSession* session);
  // Runs `action` on every open session; a session is not released while this runs.
  void ForEach(const std::function<void(CRssNewsSession&)>& action);

 private:
  std::mutex m_mtx;
  std::vector<CRssNewsSession*> m_sessions;
};

}  // namespace newssvc
