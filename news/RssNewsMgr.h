// CRssNewsMgr: the one object through which the host gets RSS news. It holds one session of the news
// service, the registry of the host's views and their bookings, the category tree, and a worker thread that
// delivers collected headline changes to the views once a second.
//
// Threads: the host's thread calls the public operations, the service calls the event operations on its
// own thread(s), and the worker delivers changes. One mutex guards all state; it is never held while the
// manager calls a view or the service.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "libs/newssvc/WTRSSNewsSvc.h"
#include "module/VxRssExport.h"
#include "news/BookingInfo.h"
#include "news/BookingTextIndex.h"
#include "news/CallTracker.h"
#include "news/NewsChange.h"
#include "news/PendingChangeIndex.h"
#include "news/RSSNewsObjEvent.h"
#include "news/RssSubject.h"
#include "news/StopEvent.h"
#include "news/TaskInfo.h"
#include "port/CString.h"
#include "port/Mutex.h"

class CWnd;  // the host's window that owns the settings dialog (libs/vxcommon/Wnd.h)

class VXRSS_API CRssNewsMgr : public IRssSubject, public IWTRSSNewsSvcEvent {
 public:
  enum NotifyType { NOTIFY_CLEAR = 0, NOTIFY_CHANGE = 1 };
  enum EventType { EVENT_PROVIDER = 0, EVENT_SYMBOL = 1, EVENT_ALL = 2 };
  // Open total-headline requests (AddNotify for provider news, GetNewsHeadline) hold one of these slots until
  // answered or cancelled. With all taken, such a request is refused: AddNotify registers and books the
  // view but returns false, GetNewsHeadline returns false, and nothing is asked of the service.
  static constexpr int kTaskSlots = 100;

  CRssNewsMgr();
  ~CRssNewsMgr() override;
  CRssNewsMgr(const CRssNewsMgr&) = delete;
  CRssNewsMgr& operator=(const CRssNewsMgr&) = delete;

  // Session.
  bool Init(const CString& strFactoryArg1, const CString& strFactoryArg2, const CString& strConfigRoot,
            const CString& strSessionArg1, const CString& strSessionArg2, const CString& strSessionArg3,
            bool bAuthorizedExch, const CString& strUserRoot) EXCLUDES(m_mtx);
  void Finit() EXCLUDES(m_mtx);
  bool SetServerTime(long lValue1, long lValue2) EXCLUDES(m_mtx);
  int GetRefCount() EXCLUDES(m_mtx);
  bool IsCategoryReady() EXCLUDES(m_mtx);
  void GetRSSNewsSel(CString& strSel) EXCLUDES(m_mtx);

  // Registry (IRssSubject).
  bool AddNotify(IRSSNewsObjEvent* pObj, const CString& strIDs, long lDate) EXCLUDES(m_mtx) override;
  bool AddNotify(IRSSNewsObjEvent* pObj) EXCLUDES(m_mtx) override;
  bool RemoveNotify(IRSSNewsObjEvent* pObj, const CString& strIDs) EXCLUDES(m_mtx) override;

  // Queries.
  bool GetNewsHeadline(IRSSNewsObjEvent* pObj, std::vector<NewsHeadline>& vecOut) EXCLUDES(m_mtx);
  bool PullProviderNewsHeadline_Date(const CString& strProviderIDs, long lDate, std::vector<NewsHeadline>& vecOut)
      EXCLUDES(m_mtx);
  bool PullSymbolNewsHeadline_Date(const CString& strProviderIDs, const CString& strSymbolIDs, long lDate,
                                   std::vector<NewsHeadline>& vecOut) EXCLUDES(m_mtx);
  // The service's search of its archive (IWTRSSNewsSvc::SearchHeadline): true when it answered with a list.
  bool SearchNewsHeadline(const CString& strWords, const CString& strProviderIDs, const CString& strSymbolID,
                          long lFromDate, long lToDate, int nMax, std::vector<NewsHeadline>& vecOut) EXCLUDES(m_mtx);
  int GetNewsContent(const CString& strProviderID, long lKey1, long lKey2, CString& strContent) EXCLUDES(m_mtx);
  int GetSymbolNewsContent(const CString& strProviderID, const CString& strSymbolID, long lKey1, long lKey2,
                           CString& strContent) EXCLUDES(m_mtx);
  bool GetNewsProviderName(const CString& strProviderID, CString& strName) EXCLUDES(m_mtx);

  // Provider ID list.
  CString GetProviderIDs() EXCLUDES(m_mtx);
  void SetProviderIDs(const CString& strProviderIDs) EXCLUDES(m_mtx);
  void RefreshProviderIDs(const CString& strProviderIDs) EXCLUDES(m_mtx);
  void UIRefresh(IRSSNewsObjEvent* pObj) EXCLUDES(m_mtx);

  // Settings dialog.
  bool ShowRSSNewsSettingDlg(CWnd* pParent, const CString& strUserRoot) EXCLUDES(m_mtx);

  // Service events (IWTRSSNewsSvcEvent).
  void OnCategoryChange() EXCLUDES(m_mtx) override;
  void OnProviderHeadLineChange_Date(const CString& strProviderID, long lDate) EXCLUDES(m_mtx) override;
  void OnNewsContentChange(const CString& strProviderID, long lKey1, long lKey2) EXCLUDES(m_mtx) override;
  void OnSymbolNewsHeadLineChange_Date(const CString& strProviderID, const CString& strSymbolID, long lDate)
      EXCLUDES(m_mtx) override;
  void OnSymbolNewsContentChange(const CString& strProviderID, const CString& strSymbolID, long lKey1, long lKey2)
      EXCLUDES(m_mtx) override;
  void OnGetTotalHeadLineReq(const CString& strProviderID, int nTaskID) EXCLUDES(m_mtx) override;

 private:
  friend class CRssNewsMgrTestAccess;  // lets the tests drive one delivery pass without the worker's timing

  using ObjMap = std::map<CBookingInfo, std::vector<IRSSNewsObjEvent*>>;
  // What the manager knows of one view: the key of its latest booking (kept after the view leaves), and one
  // booking whose list holds it, so that a view's bookings are found without walking the registry.
  struct ViewRecord {
    CBookingInfo booking;
    ObjMap::iterator itHeldIn;  // m_mapObj.end() while no booking holds the view
  };
  using ViewCall = std::function<void(IRSSNewsObjEvent&)>;
  using ServiceCall = std::function<void(IWTRSSNewsSvc&)>;

  // One call to a view, planned under m_mtx and run after it is released.
  struct PlannedCall {
    IRSSNewsObjEvent* pObj = nullptr;
    CCallTracker::Ticket ticket;
    ViewCall call;
  };

  // The open session, held for the length of one operation so that Finit cannot release it underneath.
  struct SessionLease {
    IWTRSSNewsSvc* pSvc;
    CCallTracker::Scope use;
  };

  // Session.
  bool Login() EXCLUDES(m_mtx);
  bool Logout(IWTRSSNewsSvc* pSession) EXCLUDES(m_mtx);
  bool Log(int nLevel, const CString& strText);
  std::optional<SessionLease> LeaseSessionLocked() REQUIRES(m_mtx);
  std::optional<SessionLease> LeaseSession() EXCLUDES(m_mtx);  // takes the lock for the lease only
  // The session, when a booking's text equals `strID` ignoring case; nothing otherwise.
  std::optional<SessionLease> LeaseSessionIfBooked(const CString& strID) EXCLUDES(m_mtx);
  void CloseSession() EXCLUDES(m_mtx);

  // Calls out to views.
  PlannedCall PlanCallLocked(IRSSNewsObjEvent* pObj, ViewCall call) REQUIRES(m_mtx);
  bool RunCall(const PlannedCall& planned) EXCLUDES(m_mtx);
  void RunCalls(const std::vector<PlannedCall>& calls) EXCLUDES(m_mtx);

  // Worker. Each worker has a stop request of its own, so stopping one never ends or spares another.
  struct Worker {
    std::unique_ptr<CStopEvent> pStop;
    std::thread thread;
  };
  bool StartThread() EXCLUDES(m_mtxWorkers);
  void EndThread() EXCLUDES(m_mtx, m_mtxWorkers);
  unsigned int OnRunningProc(CStopEvent& evStop) EXCLUDES(m_mtx);
  bool NotifyChangeSetToAllObj() EXCLUDES(m_mtx);
  // One pass's calls, planned under m_mtx: per change in order, the views of the booking it is served to.
  struct DeliveryPlan {
    struct Recipient {
      IRSSNewsObjEvent* pObj;
      CCallTracker::Ticket ticket;
    };
    struct Step {
      const NewsChange* pChange;
      std::size_t nAudience;
    };
    std::vector<NewsChange> vecChanges;
    std::deque<Recipient> recipients;                      // each view of the pass once; a deque keeps their addresses
    std::vector<std::vector<const Recipient*>> audiences;  // per served booking, its views in list order
    std::vector<Step> vecSteps;
  };
  DeliveryPlan PlanDeliveryLocked() REQUIRES(m_mtx);

  // Category tree.
  bool InitCategory() EXCLUDES(m_mtx);

  // Registry.
  bool InsertElementToMapObj(const CBookingInfo& key, IRSSNewsObjEvent* pObj, bool& bNewKey) REQUIRES(m_mtx);
  bool SearchObjInfoByID(std::map<CBookingInfo, std::vector<IRSSNewsObjEvent*>>::iterator& it, const CString& strID)
      REQUIRES(m_mtx);
  bool BuildTaskInfo(int& nTaskID, IRSSNewsObjEvent* pObj, const CString& strIDs) REQUIRES(m_mtx);
  void ReleaseCancelledTask(int nTaskID, IRSSNewsObjEvent* pObj) EXCLUDES(m_mtx);
  static void SplitIDs(const CString& strSource, CStringArray& arrResult, CString strSeparator);
  void ClearMapInfo() REQUIRES(m_mtx);
  bool RemoveFromRegistry(IRSSNewsObjEvent* pObj) EXCLUDES(m_mtx);
  // The removal the manager starts itself when a view's callback failed: like RemoveNotify, but it does not
  // wait for the view's calls on other threads, which may be waiting for the thread that removes it.
  bool RemoveFailedView(IRSSNewsObjEvent* pObj) EXCLUDES(m_mtx);
  void ForgetView(IRSSNewsObjEvent* pObj) EXCLUDES(m_mtx);
  bool TakeNextQueuedRegistration(std::pair<CString, IRSSNewsObjEvent*>& registration, long& lDate) EXCLUDES(m_mtx);
  ObjMap::iterator FindFirstBookingNoCase(const CString& strID) REQUIRES(m_mtx);
  // The view's record, created empty when it has none.
  ViewRecord& RecordOfLocked(IRSSNewsObjEvent* pObj) REQUIRES(m_mtx);
  // Keep the index of the bookings that hold each view in step with the bookings' lists.
  void NoteJoinedLocked(IRSSNewsObjEvent* pObj, ObjMap::iterator booking) REQUIRES(m_mtx);
  void NoteLeftLocked(IRSSNewsObjEvent* pObj, ObjMap::iterator booking) REQUIRES(m_mtx);
  // The bookings whose lists hold the view, in key order.
  std::vector<ObjMap::iterator> BookingsHoldingLocked(IRSSNewsObjEvent* pObj) const REQUIRES(m_mtx);
  bool HoldsABookingLocked(IRSSNewsObjEvent* pObj) const REQUIRES(m_mtx);
  bool IsInProviderListLocked(const CString& strID) const REQUIRES(m_mtx);
  CString BookingKeyLocked(const CString& strProviderID) const REQUIRES(m_mtx);

  // Pending changes.
  bool IsChangePending(const NewsChange& change) const REQUIRES(m_mtx);
  void RecordChangeLocked(const NewsChange& change) REQUIRES(m_mtx);
  void ClearPendingIDLocked(const CString& strID) REQUIRES(m_mtx);
  // The task waits for an answer for this provider.
  bool IsTaskAwaitingLocked(int nTaskID, const CString& strProviderID) const REQUIRES(m_mtx);

  // Fan-out.
  void NotifyAllObj(NotifyType eType, const CString& strText, EventType eEvent) EXCLUDES(m_mtx);
  std::vector<PlannedCall> PlanNotifyAllLocked(NotifyType eType, const CString& strText, EventType eEvent)
      REQUIRES(m_mtx);
  std::vector<ServiceCall> RekeyRegistryLocked(const CString& strNewIDs) REQUIRES(m_mtx);
  std::vector<ServiceCall> PlanRebookingLocked(const CString& strNewIDs) REQUIRES(m_mtx);

  // Queries.
  bool GetSvcNewsHeadline(const CString& strIDs, std::vector<NewsHeadline>& vecOut) EXCLUDES(m_mtx);
  bool GetSvcNewsHeadline(const CString& strProviderIDs, const CString& strSymbolIDs, std::vector<NewsHeadline>& vecOut)
      EXCLUDES(m_mtx);
  static bool SortByDate(std::vector<NewsHeadline>& vecList);

  // Content.
  static bool ParseUrlFromContent(CString& strText);
  std::vector<PlannedCall> PlanContentArrivalLocked(const CString& strKey, const ViewCall& call) REQUIRES(m_mtx);

  CString m_strProviderIDs GUARDED_BY(m_mtx);
  IWTRSSNewsSvc* m_pNewsSvc GUARDED_BY(m_mtx) = nullptr;
  std::map<IRSSNewsObjEvent*, ViewRecord> m_mapObjInfo GUARDED_BY(m_mtx);
  std::map<CBookingInfo, std::vector<IRSSNewsObjEvent*>> m_mapObj GUARDED_BY(m_mtx);
  bool m_bCategoryReady GUARDED_BY(m_mtx) = false;
  // The running worker, and workers stopped from inside their own callbacks (a view that calls Init or
  // Finit on the worker), which end after their pass and are joined by the next EndThread on another thread.
  // m_mtxWorkers is never held while a worker is joined.
  Worker m_worker GUARDED_BY(m_mtxWorkers);
  std::vector<Worker> m_vecStoppedWorkers GUARDED_BY(m_mtxWorkers);
  port::Mutex m_mtxWorkers;
  std::vector<NewsChange> m_vecChangeSet GUARDED_BY(m_mtx);
  std::vector<CString> m_vecPendingIDs GUARDED_BY(m_mtx);
  std::vector<std::pair<CString, IRSSNewsObjEvent*>> m_vecPendingNotify GUARDED_BY(m_mtx);
  std::map<CString, std::vector<std::pair<CString, CString>>> m_mapCategory GUARDED_BY(m_mtx);
  std::map<int, TaskInfo> m_mapTask GUARDED_BY(m_mtx);
  bool m_bTaskFree[kTaskSlots] GUARDED_BY(m_mtx) = {};
  CString m_strRSSNewsSel GUARDED_BY(m_mtx);
  int m_nRefCount GUARDED_BY(m_mtx) = 0;

  // The one mutex guarding the manager's state; never held while a view or the service is called.
  mutable port::Mutex m_mtx;
  // Which views and session uses are running where; see CCallTracker.
  CCallTracker m_calls;
  // Indexes beside m_mapObj and m_vecChangeSet, kept in step with them under m_mtx, so that the lookups
  // of the events and the worker cost the same at any size of the registry and the change set.
  CBookingTextIndex m_idxBookingText GUARDED_BY(m_mtx);
  CPendingChangeIndex m_idxPendingChanges GUARDED_BY(m_mtx);
  // The bookings that hold a view beyond the one its record names (a view that booked again without leaving).
  std::unordered_multimap<IRSSNewsObjEvent*, ObjMap::iterator> m_mapFurtherBookings GUARDED_BY(m_mtx);
};
