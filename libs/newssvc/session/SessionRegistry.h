// CSessionRegistry: the open sessions of the process, so that the exported functions without a session
// argument (server time, cache updates) reach every session. Host threads call it; its lock guards the list.
#pragma once

#include <functional>
#include <vector>

#include "libs/newssvc/session/RssNewsSession.h"
#include "port/Mutex.h"

namespace newssvc {

class CSessionRegistry {
 public:
  static CSessionRegistry& Instance();

  void Add(CRssNewsSession* session) EXCLUDES(m_mtx);
  void Remove(CRssNewsSession* session) EXCLUDES(m_mtx);
  // Runs `action` on every open session; a session is not released while this runs. The registry's lock is
  // held meanwhile, so `action` must not add or remove a session.
  void ForEach(const std::function<void(CRssNewsSession&)>& action) EXCLUDES(m_mtx);

 private:
  port::Mutex m_mtx;
  std::vector<CRssNewsSession*> m_sessions GUARDED_BY(m_mtx);
};

}  // namespace newssvc
