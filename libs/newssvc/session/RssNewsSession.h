// CRssNewsSession: one session of the news service, serving the RSS feeds its configuration names.
//
// Events reach the sink on the session's own event thread, never while the session holds a lock of its
// own, so the sink may call back into the session. After Logout returns, no new event starts; an event
// running on another thread is waited for (Logout called from inside an event does not wait).
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "libs/newssvc/WTRSSNewsSvc.h"
#include "libs/newssvc/session/EventThread.h"
#include "libs/newssvc/session/FeedCatalog.h"
#include "libs/vxlog/VXLog.h"
#include "port/Mutex.h"

namespace newssvc {

class CRssNewsSession final : public IWTRSSNewsSvc {
 public:
  static constexpr const char* kDefaultConfigFile = "RSSNewsSvc.xml";

  // configFolder: the Config folder; configFile: the file in it (empty: kDefaultConfigFile); zone: a
  // numeric offset for the records (empty: the configuration's zone, else the machine's).
  CRssNewsSession(const CString& configFolder, const CString& configFile, const CString& zone);
  ~CRssNewsSession();
  CRssNewsSession(const CRssNewsSession&) = delete;
  CRssNewsSession& operator=(const CRssNewsSession&) = delete;

  // Reads the configuration and opens the archive; false when the configuration cannot be read (the
  // factory then fails). A session whose archive cannot be opened serves from memory.
  bool Open();
  // Destroys the session. Released from inside one of its own events, it is destroyed on its event thread
  // once that event has returned, since the event and the poll that sent it still run on it.
  static void Destroy(std::unique_ptr<CRssNewsSession> session);

  int Login(IWTRSSNewsSvcEvent* pSink) EXCLUDES(m_mtx) override;
  int Logout(IWTRSSNewsSvcEvent* pSink) EXCLUDES(m_mtx) override;
  int SetSessionInfo(const CString& strFeedsFolder, const CString& strPollMilliseconds, const CString& strUser)
      EXCLUDES(m_mtx) override;
  // Starts the session's thread and returns: the categories are known from Open, the feeds are read by the
  // thread's first poll, which reports like every later one.
  int Connect() EXCLUDES(m_mtx) override;
  int Disconnect() EXCLUDES(m_mtx) override;
  int GetCategoryCount() EXCLUDES(m_mtx) override;
  IRSSNewsCategory* GetCategory(int nIndex) EXCLUDES(m_mtx) override;
  int BookProviderNews(const CString& strProviderIDs) EXCLUDES(m_mtx) override;
  int UnbookProviderNews(const CString& strProviderIDs) EXCLUDES(m_mtx) override;
  int GetTotalHeadline(const CString& strProviderID, std::vector<NewsHeadline>& vecList) EXCLUDES(m_mtx) override;
  int ReqTotalHeadline(const CString& strProviderID, int nTaskID) EXCLUDES(m_mtx) override;
  int CancelTotalHeadline(int nTaskID) EXCLUDES(m_mtx) override;
  int GetProviderHeadline_Date(const CString& strProviderID, long lDate, std::vector<NewsHeadline>& vecList)
      EXCLUDES(m_mtx) override;
  int GetNewsContent(const CString& strProviderID, long lKey1, long lKey2, CString& strContent)
      EXCLUDES(m_mtx) override;
  int BookSymbolNews_Date(const CString& strSymbolIDs, long lDate, const CString& strProviderIDs)
      EXCLUDES(m_mtx) override;
  int UnbookSymbolNews_Date(const CString& strSymbolIDs, long lDate, const CString& strProviderIDs)
      EXCLUDES(m_mtx) override;
  int GetSymbolHeadline(const CString& strProviderID, const CString& strSymbolIDs, std::vector<NewsHeadline>& vecList)
      EXCLUDES(m_mtx) override;
  int GetSymbolHeadline_Date(const CString& strProviderID, const CString& strSymbolID, long lDate,
                             std::vector<NewsHeadline>& vecList) EXCLUDES(m_mtx) override;
  int GetSymbolNewsContent(const CString& strProviderID, const CString& strSymbolID, long lKey1, long lKey2,
                           CString& strContent) EXCLUDES(m_mtx) override;
  int SearchHeadline(const CString& strWords, const CString& strProviderIDs, const CString& strSymbolID, long lFromDate,
                     long lToDate, int nMax, std::vector<NewsHeadline>& vecList) override;

  // Re-read every feed at once and report every provider (QMRSSNewsSvc_UpdateProviderCache).
  void UpdateProviderCache() EXCLUDES(m_mtx);
  // Re-read every feed at once and report the symbol for every provider (QMRSSNewsSvc_UpdateSymbolCache).
  void UpdateSymbolCache(const CString& strSymbolIDs, int nDate) EXCLUDES(m_mtx);
  // The server's clock, date YYYYMMDD and time HHMMSS in the records' zone: items without a date of their
  // own are dated by it from now on. Values that are no date and time are ignored.
  void SetServerTime(long lDate, long lTime) EXCLUDES(m_mtx);

  // Transfer limits for the feeds fetched over HTTP (time-outs, stall, body size); before Connect.
  void SetHttpLimits(const HttpLimits& limits) { m_catalog.Scheduler().SetHttpLimits(limits); }
  CFeedCatalog& Catalog() { return m_catalog; }

 private:
  using Event = std::function<void(IWTRSSNewsSvcEvent&)>;

  void Poll(bool force) EXCLUDES(m_mtx);
  void ReportFetched() EXCLUDES(m_mtx);
  void Report(const std::vector<FeedChange>& changes) EXCLUDES(m_mtx);
  void Deliver(const Event& event) EXCLUDES(m_mtx);
  std::chrono::milliseconds PollInterval() const EXCLUDES(m_mtx);
  UtcSeconds Now() const EXCLUDES(m_mtx);
  std::vector<CString> BookedProviderLists() const EXCLUDES(m_mtx);
  std::vector<CString> BookedSymbolTexts() const EXCLUDES(m_mtx);
  static int AddBooking(std::map<CString, int>& bookings, const CString& text);
  static void DropBooking(std::map<CString, int>& bookings, const CString& text);

  const CString m_strConfigFolder;
  CVXLog m_log;                             // the service's own log: fetch and read failures, once per change of state
  std::unique_ptr<CNewsArchive> m_archive;  // outlives the catalog, which uses it
  CEventThread m_thread;                    // before the catalog: the catalog's fetch thread posts to it until it ends
  CFeedCatalog m_catalog;

  // Guards the members below; never held while the sink or the catalog is called or a task is posted.
  mutable port::Mutex m_mtx;
  port::CondVar m_cvIdle;
  IWTRSSNewsSvcEvent* m_pSink GUARDED_BY(m_mtx) = nullptr;
  int m_nDelivering GUARDED_BY(m_mtx) = 0;
  bool m_bConnected GUARDED_BY(m_mtx) = false;
  int m_nPollOverride GUARDED_BY(m_mtx) = 0;
  long long m_llClockOffset GUARDED_BY(m_mtx) = 0;
  std::map<CString, int> m_mapProviderBookings GUARDED_BY(m_mtx);  // booked provider-list text -> count
  std::map<CString, int> m_mapSymbolBookings GUARDED_BY(m_mtx);    // booked symbol text -> count
  // Requested (task ID, provider ID), not yet answered.
  std::vector<std::pair<int, CString>> m_vecTasks GUARDED_BY(m_mtx);
};

}  // namespace newssvc
