// CRssNewsMgrTestAccess: what the manager's tests need beyond its public face: the worker stopped and its
// delivery pass run on the test's own thread, so that every callback lands in a known step; private helpers
// called directly; and snapshots of the registry taken under the manager's lock.
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "news/RssNewsMgr.h"

// The manager's registry, provider list, change set, refresh marks, task table and registration queue, as the
// model test compares them: equal descriptions mean equal registries.
struct RegistryState {
  static constexpr int kTaskSlots = 100;
  CString strProviderIDs;
  bool bCategoryReady = false;
  std::map<CBookingInfo, std::vector<IRSSNewsObjEvent*>> mapObj;
  std::map<IRSSNewsObjEvent*, CBookingInfo> mapObjInfo;
  std::vector<NewsChange> vecChangeSet;
  std::vector<CString> vecPendingIDs;
  std::vector<std::pair<CString, IRSSNewsObjEvent*>> vecPendingNotify;
  std::map<int, TaskInfo> mapTask;
  bool bTaskFree[kTaskSlots] = {};
  int nRefCount = 0;

  std::string Describe() const;
};

class CRssNewsMgrTestAccess {
 public:
  static void StopWorker(CRssNewsMgr& mgr) { mgr.EndThread(); }
  static bool DeliverPass(CRssNewsMgr& mgr) { return mgr.NotifyChangeSetToAllObj(); }
  static void NotifyAllObj(CRssNewsMgr& mgr, CRssNewsMgr::NotifyType eType, const CString& strText,
                           CRssNewsMgr::EventType eEvent) {
    mgr.NotifyAllObj(eType, strText, eEvent);
  }
  static std::size_t PendingChanges(CRssNewsMgr& mgr) {
    port::MutexLock lock(mgr.m_mtx);
    return mgr.m_vecChangeSet.size();
  }
  static std::size_t Bookings(CRssNewsMgr& mgr) {
    port::MutexLock lock(mgr.m_mtx);
    return mgr.m_mapObj.size();
  }
  static std::vector<std::string> Split(const CString& strSource) {
    CStringArray arr;
    arr.Add("stale");  // the split replaces what the array held
    CRssNewsMgr::SplitIDs(strSource, arr, ",");
    std::vector<std::string> pieces;
    for (const CString& piece : arr) pieces.push_back(piece.str());
    return pieces;
  }
  static bool SortByDate(std::vector<NewsHeadline>& list) { return CRssNewsMgr::SortByDate(list); }
  static bool ParseUrl(CString& strText) { return CRssNewsMgr::ParseUrlFromContent(strText); }

  static RegistryState Snapshot(CRssNewsMgr& mgr) {
    port::MutexLock lock(mgr.m_mtx);
    RegistryState state{mgr.m_strProviderIDs, mgr.m_bCategoryReady, mgr.m_mapObj,           {},
                        mgr.m_vecChangeSet,   mgr.m_vecPendingIDs,  mgr.m_vecPendingNotify, mgr.m_mapTask};
    for (const auto& [pObj, record] : mgr.m_mapObjInfo) state.mapObjInfo.emplace(pObj, record.booking);
    std::copy(std::begin(mgr.m_bTaskFree), std::end(mgr.m_bTaskFree), state.bTaskFree);
    state.nRefCount = mgr.m_nRefCount;
    return state;
  }
};
