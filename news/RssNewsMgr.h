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
#include <mutex>
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
            bool bAuthorizedExch, const CString& strUserRoot);
  void Finit();
  bool SetServerTime(long lValue1, long lValue2);
  int GetRefCount();
  bool IsCategoryReady();
  void GetRSSNewsSel(CString& strSel);

  // Registry (IRssSubject).
  bool AddNotify(IRSSNewsObjEvent* pObj, const CString& strIDs, long lDate) override;
  bool AddNotify(IRSSNewsObjEvent* pObj) override;
  bool RemoveNotify(IRSSNewsObjEvent* pObj, const CString& strIDs) override;

  // Queries.
  bool GetNewsHeadline(IRSSNewsObjEvent* pObj, std::vector<NewsHeadline>& vecOut);
  bool PullProviderNewsHeadline_Date(const CString& strProviderIDs, long lDate, std::vector<NewsHeadline>& vecOut);
  bool PullSymbolNewsHeadline_Date(const CString& strProviderIDs, const CString& strSymbolIDs, long lDate,
                                   std::vector<NewsHeadline>& vecOut);
  int GetNewsContent(const CString& strProviderID, long lKey1, long lKey2, CString& strContent);
  int GetSymbolNewsContent(const CString& strProviderID, const CString& strSymbolID, long lKey1, long lKey2,
                           CString& strContent);
  bool GetNewsProviderName(const CString& strProviderID, CString& strName);

  // Provider ID list.
  CString GetProviderIDs();
  void SetProviderIDs(const CString& strProviderIDs);
  void RefreshProviderIDs(const CString& strProviderIDs);
  void UIRefresh(IRSSNewsObjEvent* pObj);

  // Settings dialog.
  bool ShowRSSNewsSettingDlg(CWnd* pParent, const CString& strUserRoot);

  // Service events (IWTRSSNewsSvcEvent).
  void OnCategoryChange() override;
  void OnProviderHeadLineChange_Date(const CString& strProviderID, long lDate) override;
  void OnNewsContentChange(const CString& strProviderID, long lKey1, long lKey2) override;
  void OnSymbolNewsHeadLineChange_Date(const CString& strProviderID, const CString& strSymbolID, long lDate) override;
  void OnSymbolNewsContentChange(const CString& strProviderID, const CString& strSymbolID, long lKey1,
                                 long lKey2) override;
  void OnGetTotalHeadLineReq(const CString& strProviderID, int nTaskID) override;

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
  bool Login();
  bool Logout(IWTRSSNewsSvc* pSession);
  bool Log(int nLevel, const CString& strText);
  std::optional<SessionLease> LeaseSessionLocked();
  std::optional<SessionLease> LeaseSession();  // takes the lock for the lease only
  // The session, when a booking's text equals `strID` ignoring case; nothing otherwise.
  std::optional<SessionLease> LeaseSessionIfBooked(const CString& strID);
  void CloseSession();

  // Calls out to views.
  PlannedCall PlanCallLocked(IRSSNewsObjEvent* pObj, ViewCall call);
  bool RunCall(const PlannedCall& planned);
  void RunCalls(const std::vector<PlannedCall>& calls);

  // Worker. Each worker has a stop request of its own, so stopping one never ends or spares another.
  struct Worker {
    std::unique_ptr<CStopEvent> pStop;
    std::thread thread;
  };
  bool StartThread();
  void EndThread();
  unsigned int OnRunningProc(CStopEvent& evStop);
  bool NotifyChangeSetToAllObj();
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
  DeliveryPlan PlanDeliveryLocked();

  // Category tree.
  bool InitCategory();

  // Registry.
  bool InsertElementToMapObj(const CBookingInfo& key, IRSSNewsObjEvent* pObj, bool& bNewKey);
  bool SearchObjInfoByID(std::map<CBookingInfo, std::vector<IRSSNewsObjEvent*>>::iterator& it, const CString& strID);
  bool BuildTaskInfo(int& nTaskID, IRSSNewsObjEvent* pObj, const CString& strIDs);
  void ReleaseCancelledTask(int nTaskID, IRSSNewsObjEvent* pObj);
  static void SplitIDs(const CString& strSource, CStringArray& arrResult, CString strSeparator);
  void ClearMapInfo();
  bool RemoveFromRegistry(IRSSNewsObjEvent* pObj);
  // The removal the manager starts itself when a view's callback failed: like RemoveNotify, but it does not
  // wait for the view's calls on other threads, which may be waiting for the thread that removes it.
  bool RemoveFailedView(IRSSNewsObjEvent* pObj);
  void ForgetView(IRSSNewsObjEvent* pObj);
  bool TakeNextQueuedRegistration(std::pair<CString, IRSSNewsObjEvent*>& registration, long& lDate);
  ObjMap::iterator FindFirstBookingNoCase(const CString& strID);
  // The view's record, created empty when it has none.
  ViewRecord& RecordOfLocked(IRSSNewsObjEvent* pObj);
  // Keep the index of the bookings that hold each view in step with the bookings' lists.
  void NoteJoinedLocked(IRSSNewsObjEvent* pObj, ObjMap::iterator booking);
  void NoteLeftLocked(IRSSNewsObjEvent* pObj, ObjMap::iterator booking);
  // The bookings whose lists hold the view, in key order.
  std::vector<ObjMap::iterator> BookingsHoldingLocked(IRSSNewsObjEvent* pObj) const;
  bool HoldsABookingLocked(IRSSNewsObjEvent* pObj) const;
  bool IsInProviderListLocked(const CString& strID) const;
  CString BookingKeyLocked(const CString& strProviderID) const;

  // Pending changes.
  bool IsChangePending(const NewsChange& change) const;
  void RecordChangeLocked(const NewsChange& change);
  void ClearPendingIDLocked(const CString& strID);

  // Fan-out.
  void NotifyAllObj(NotifyType eType, const CString& strText, EventType eEvent);
  std::vector<PlannedCall> PlanNotifyAllLocked(NotifyType eType, const CString& strText, EventType eEvent);
  std::vector<ServiceCall> RekeyRegistryLocked(const CString& strNewIDs);
  std::vector<ServiceCall> PlanRebookingLocked(const CString& strNewIDs);

  // Queries.
  bool GetSvcNewsHeadline(const CString& strIDs, std::vector<NewsHeadline>& vecOut);
  bool GetSvcNewsHeadline(const CString& strProviderIDs, const CString& strSymbolIDs,
                          std::vector<NewsHeadline>& vecOut);
  static bool SortByDate(std::vector<NewsHeadline>& vecList);

  // Content.
  static bool ParseUrlFromContent(CString& strText);
  std::vector<PlannedCall> PlanContentArrivalLocked(const CString& strKey, const ViewCall& call);

  CString m_strProviderIDs;
  IWTRSSNewsSvc* m_pNewsSvc = nullptr;
  std::map<IRSSNewsObjEvent*, ViewRecord> m_mapObjInfo;
  std::map<CBookingInfo, std::vector<IRSSNewsObjEvent*>> m_mapObj;
  bool m_bCategoryReady = false;
  // The running worker, and workers stopped from inside their own callbacks (a view that calls Init or
  // Finit on the worker), which end after their pass and are joined by the next EndThread on another thread.
  // Guarded by m_mtxWorkers, which is never held while a worker is joined.
  Worker m_worker;
  std::vector<Worker> m_vecStoppedWorkers;
  std::mutex m_mtxWorkers;
  std::vector<NewsChange> m_vecChangeSet;
  std::vector<CString> m_vecPendingIDs;
  std::vector<std::pair<CString, IRSSNewsObjEvent*>> m_vecPendingNotify;
  std::map<CString, std::vector<std::pair<CString, CString>>> m_mapCategory;
  std::map<int, TaskInfo> m_mapTask;
  bool m_bTaskFree[kTaskSlots] = {};
  CString m_strRSSNewsSel;
  int m_nRefCount = 0;

  // The one mutex guarding everything above; never held while a view or the service is called.
  mutable std::mutex m_mtx;
  // Which views and session uses are running where; see CCallTracker.
  CCallTracker m_calls;
  // Indexes beside m_mapObj and m_vecChangeSet, kept in step with them under m_mtx, so that the lookups
  // of the events and the worker cost the same at any size of the registry and the change set.
  CBookingTextIndex m_idxBookingText;
  CPendingChangeIndex m_idxPendingChanges;
  // The bookings that hold a view beyond the one its record names (a view that booked again without leaving).
  std::unordered_multimap<IRSSNewsObjEvent*, ObjMap::iterator> m_mapFurtherBookings;
};
