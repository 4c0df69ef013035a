#include "libs/newssvc/session/SessionRegistry.h"

#include <algorithm>

namespace newssvc {

CSessionRegistry& CSessionRegistry::Instance() {
  static CSessionRegistry registry;
  return registry;
}

void CSessionRegistry::Add(CRssNewsSession* session) {
  port::MutexLock lock(m_mtx);
  m_sessions.push_back(session);
}

void CSessionRegistry::Remove(CRssNewsSession* session) {
  port::MutexLock lock(m_mtx);
  m_sessions.erase(std::remove(m_sessions.begin(), m_sessions.end(), session), m_sessions.end());
}

void CSessionRegistry::ForEach(const std::function<void(CRssNewsSession&)>& action) {
  port::MutexLock lock(m_mtx);
  for (CRssNewsSession* session : m_sessions) action(*session);
}

}  // namespace newssvc
