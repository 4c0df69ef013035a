// CReferenceModel: the manager's registry, provider list, change set, refresh marks, task table and
// registration queue, kept the plain way: every lookup walks the containers exactly as the rules read.
// Single-threaded, no locks, no indexes. It calls its own CModelService and, instead of calling views,
// writes the callbacks it would make into the trace (throwing where an armed view would throw).
//
// The model test drives a CRssNewsMgr and this model with the same operations and compares what both did.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "news/BookingInfo.h"
#include "news/NewsChange.h"
#include "news/RSSNewsObjEvent.h"
#include "news/TaskInfo.h"
#include "port/CString.h"
#include "tests/model/ModelService.h"

// The manager's state as both sides report it; equal snapshots mean equal registries.
struct RegistrySnapshot {
  const CString& strProviderIDs;
  bool bCategoryReady;
  const std::map<CBookingInfo, std::vector<IRSSNewsObjEvent*>>& mapObj;
  const std::map<IRSSNewsObjEvent*, CBookingInfo>& mapObjInfo;
  const std::vector<NewsChange>& vecChangeSet;
  const std::vector<CString>& vecPendingIDs;
  const std::vector<std::pair<CString, IRSSNewsObjEvent*>>& vecPendingNotify;
  const std::map<int, TaskInfo>& mapTask;
  const bool* pTaskFree;
  int nRefCount;
};
std::string Describe(const RegistrySnapshot& s);

class CReferenceModel {
 public:
  static constexpr int kTaskSlots = 100;
  enum EventType { EVENT_PROVIDER, EVENT_SYMBOL, EVENT_ALL };

  CReferenceModel(fakes::FakeNewsSvc& service, bool bCategoryReady);
  ~CReferenceModel();
  CReferenceModel(const CReferenceModel&) = delete;
  CReferenceModel& operator=(const CReferenceModel&) = delete;

  std::string Describe() const;

  bool AddNotify(IRSSNewsObjEvent* pObj, const CString& strID, long lDate);
  bool AddNotify(IRSSNewsObjEvent* pObj);
  bool RemoveNotify(IRSSNewsObjEvent* pObj, const CString& strUnused = CString());
  void RefreshProviderIDs(const CString& strNew);
  void SetProviderIDs(const CString& strIDs) { m_strProviderIDs = strIDs; }
  void UIRefresh(IRSSNewsObjEvent* pObj);
  bool GetNewsHeadline(IRSSNewsObjEvent* pObj, std::vector<NewsHeadline>& out);

  void OnCategoryChange();
  void OnProviderHeadLineChange_Date(const CString& strProviderID, long lDate);
  void OnSymbolNewsHeadLineChange_Date(const CString& strProviderID, const CString& strSymbolID, long lDate);
  void OnGetTotalHeadLineReq(const CString& strProviderID, int nTaskID);
  void OnNewsContentChange(const CString& strProviderID, long lKey1, long lKey2);
  void OnSymbolNewsContentChange(const CString& strProviderID, const CString& strSymbolID, long lKey1, long lKey2);
  // One pass of the worker.
  bool DeliverChangeSet();
  // A provider answer some task awaits, picked by `roll`; false (nothing changed) when no task awaits one.
  bool AwaitedAnswer(uint64_t roll, CString& strProviderID, int& nTaskID) const;

 private:
  using Registry = std::map<CBookingInfo, std::vector<IRSSNewsObjEvent*>>;

  bool Contained(const CString& strID) const { return m_strProviderIDs.Find(strID) >= 0; }
  Registry::iterator FindFirstByID(const CString& strID);
  bool Insert(const CBookingInfo& key, IRSSNewsObjEvent* pObj, bool& bNewKey);
  bool BuildTaskInfo(int& nTaskID, IRSSNewsObjEvent* pObj, const CString& strIDs);
  void InitCategory();
  void NotifyClear(const CString& strText, EventType eEvent);
  void NotifyChange();
  void AddChange(const NewsChange& change);
  void ClearRefreshMark(const CString& strID);
  // Calls `op` on every view of the bookings whose text is `strKey`, ignoring case.
  void HandContent(const CString& strKey, const char* op, const std::vector<std::string>& args);
  // Writes a view call into the trace; true when the view threw.
  bool CallView(IRSSNewsObjEvent* pObj, std::string call, bool bCanThrow);

  fakes::FakeNewsSvc& m_svc;
  Trace& m_trace;
  CString m_strProviderIDs;
  bool m_bCategoryReady;
  Registry m_mapObj;
  std::map<IRSSNewsObjEvent*, CBookingInfo> m_mapObjInfo;
  std::vector<NewsChange> m_vecChangeSet;
  std::vector<CString> m_vecPendingIDs;
  std::vector<std::pair<CString, IRSSNewsObjEvent*>> m_vecPendingNotify;
  std::map<int, TaskInfo> m_mapTask;
  bool m_bTaskFree[kTaskSlots];
  int m_nRefCount = 0;
  // Views that called RemoveNotify and have not registered since: no call reaches them.
  std::set<IRSSNewsObjEvent*> m_closed;
  // How often each view has been removed: a call planned before a removal of its view does not start.
  std::map<IRSSNewsObjEvent*, int> m_removals;
};

// Splits an ID list at "," the way the manager does: empty pieces kept, no empty last piece.
std::vector<CString> SplitList(const CString& strList);
