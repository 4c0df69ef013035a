// CRssNewsMgrTestAccess: what the model test needs of the manager beyond its public face: a snapshot of the
// registry taken under the manager's lock, and the worker's delivery pass run on the test's own thread so
// that every callback lands in a known step.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "news/RssNewsMgr.h"
#include "tests/model/ReferenceModel.h"

class CRssNewsMgrTestAccess {
 public:
  static void StopWorker(CRssNewsMgr& mgr) { mgr.EndThread(); }
  static bool RunPass(CRssNewsMgr& mgr) { return mgr.NotifyChangeSetToAllObj(); }

  // The bookings the service should hold for the registry, keyed as CModelService::NetBookings: each
  // booking of the registry once, none while the provider list is empty.
  static std::map<std::string, int> HeldAtService(CRssNewsMgr& mgr) {
    std::lock_guard lock(mgr.m_mtx);
    std::map<std::string, int> held;
    const CString& list = mgr.m_strProviderIDs;
    if (list.IsEmpty()) return held;
    for (const auto& [key, views] : mgr.m_mapObj) {
      const bool bProvider = key.strBookingID.CompareNoCase(list) == 0;
      ++held[bProvider ? "P " + list.str()
                       : "S " + key.strBookingID.str() + ";" + std::to_string(key.lBookingDate) + ";" + list.str()];
    }
    return held;
  }

  static std::string Describe(CRssNewsMgr& mgr) {
    std::lock_guard lock(mgr.m_mtx);
    std::map<IRSSNewsObjEvent*, CBookingInfo> mapObjInfo;
    for (const auto& [pObj, record] : mgr.m_mapObjInfo) mapObjInfo.emplace(pObj, record.booking);
    return ::Describe(RegistrySnapshot{mgr.m_strProviderIDs, mgr.m_bCategoryReady, mgr.m_mapObj, mapObjInfo,
                                       mgr.m_vecChangeSet, mgr.m_vecPendingIDs, mgr.m_vecPendingNotify, mgr.m_mapTask,
                                       mgr.m_bTaskFree, mgr.m_nRefCount});
  }
};
