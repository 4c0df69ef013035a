// The news service library QMDBRSSNews as the module sees it: the session interface, the category objects,
// the event sink and the exported functions.
#pragma once

#include <vector>

#include "libs/newssvc/NewsHeadline.h"
#include "port/CString.h"

#if defined(_WIN32) && defined(QMDBRSSNEWS_BUILDING_DLL)
#define QMDBRSSNEWS_API __declspec(dllexport)
#else
#define QMDBRSSNEWS_API
#endif

// One category group of the service: a name and a list of items (provider ID, display name).
class IRSSNewsCategory {
 public:
  virtual void Release() = 0;  // the caller is done with the object
  virtual CString GetName() = 0;
  virtual int GetItemCount() = 0;
  virtual CString GetItemID(int index) = 0;
  virtual CString GetItemName(int index) = 0;

 protected:
  ~IRSSNewsCategory() = default;
};

// The sink through which the service reports its events, possibly on a thread of its own and possibly
// from inside one of its own operations.
class IWTRSSNewsSvcEvent {
 public:
  virtual void OnCategoryChange() = 0;
  virtual void OnProviderHeadLineChange_Date(const CString& strProviderID, long lDate) = 0;
  virtual void OnNewsContentChange(const CString& strProviderID, long lKey1, long lKey2) = 0;
  virtual void OnSymbolNewsHeadLineChange_Date(const CString& strProviderID, const CString& strSymbolID,
                                               long lDate) = 0;
  virtual void OnSymbolNewsContentChange(const CString& strProviderID, const CString& strSymbolID, long lKey1,
                                         long lKey2) = 0;
  virtual void OnGetTotalHeadLineReq(const CString& strProviderID, int nTaskID) = 0;

 protected:
  ~IWTRSSNewsSvcEvent() = default;
};

// One session of the news service. Lists hand over the heap blocks of their records to the receiver.
// Success values differ by operation: Connect and the booking operations answer non-zero for done, the
// list, request and content operations 0.
//
// The service serving RSS feeds (libs/newssvc/session/RssNewsSession.h) gives the session values these meanings:
// SetSessionInfo(feeds folder for relative feed sources (empty: the configuration folder), poll interval
// in milliseconds (empty: the configuration's), user name (not used)). Lists are newest first; the list
// operations take one provider ID or several joined with ","; a provider the configuration does not name
// answers -1. GetNewsContent answers 0 with "<a href='URL'>title</a>" followed by the description, 1 when
// the provider no longer holds the item, -1 for an unknown provider.
class IWTRSSNewsSvc {
 public:
  virtual int Login(IWTRSSNewsSvcEvent* pSink) = 0;
  virtual int Logout(IWTRSSNewsSvcEvent* pSink) = 0;
  virtual int SetSessionInfo(const CString& str1, const CString& str2, const CString& str3) = 0;
  virtual int Connect() = 0;
  virtual int Disconnect() = 0;
  virtual int GetCategoryCount() = 0;
  virtual IRSSNewsCategory* GetCategory(int nIndex) = 0;
  virtual int BookProviderNews(const CString& strProviderIDs) = 0;
  virtual int UnbookProviderNews(const CString& strProviderIDs) = 0;
  virtual int GetTotalHeadline(const CString& strProviderID, std::vector<NewsHeadline>& vecList) = 0;
  virtual int ReqTotalHeadline(const CString& strProviderID, int nTaskID) = 0;
  virtual int CancelTotalHeadline(int nTaskID) = 0;
  virtual int GetProviderHeadline_Date(const CString& strProviderID, long lDate,
                                       std::vector<NewsHeadline>& vecList) = 0;
  virtual int GetNewsContent(const CString& strProviderID, long lKey1, long lKey2, CString& strContent) = 0;
  virtual int BookSymbolNews_Date(const CString& strSymbolIDs, long lDate, const CString& strProviderIDs) = 0;
  virtual int UnbookSymbolNews_Date(const CString& strSymbolIDs, long lDate, const CString& strProviderIDs) = 0;
  virtual int GetSymbolHeadline(const CString& strProviderID, const CString& strSymbolIDs,
                                std::vector<NewsHeadline>& vecList) = 0;
  virtual int GetSymbolHeadline_Date(const CString& strProviderID, const CString& strSymbolID, long lDate,
                                     std::vector<NewsHeadline>& vecList) = 0;
  virtual int GetSymbolNewsContent(const CString& strProviderID, const CString& strSymbolID, long lKey1, long lKey2,
                                   CString& strContent) = 0;
  // After the calls above, which keep their places in the table of virtual functions. Searches the archive:
  // at most nMax items whose title or content text holds every word of strWords (Big5; words separated by
  // spaces, a phrase in double quotes), of the listed providers (empty: every provider), tagged with the
  // symbol when one is given, dated lFromDate to lToDate (YYYYMMDD, either 0: open), newest first. Each
  // record's block holds a snippet after the link (see NewsHeadline.h). 0 with the list filled, -1 when no
  // listed provider is configured, 1 when the archive cannot be read now.
  virtual int SearchHeadline(const CString& strWords, const CString& strProviderIDs, const CString& strSymbolID,
                             long lFromDate, long lToDate, int nMax, std::vector<NewsHeadline>& vecList) = 0;

 protected:
  ~IWTRSSNewsSvc() = default;
};

// Opens a session; null on failure (the configuration file cannot be read). strConfig is the service's
// configuration folder; str1 names the configuration file in it (empty: "RSSNewsSvc.xml", format in
// ServiceConfig.h); str2 is a time zone for the records' dates and times, a numeric offset such as "+08:00"
// (empty: the configuration's zone, else the machine's).
QMDBRSSNEWS_API IWTRSSNewsSvc* QMGetWTRSSNewsSvc(const CString& str1, const CString& str2, const CString& strConfig);
// Releases a session and sets the pointer null.
QMDBRSSNEWS_API void QMReleaseWTRSSNewsSvc(IWTRSSNewsSvc** ppSvc);
// The server's clock for every open session: lValue1 the date YYYYMMDD, lValue2 the time HHMMSS, in the
// records' zone. Items without a date of their own are dated by it. Values that are no time are ignored.
QMDBRSSNEWS_API void QMRSSNewsSvcSetServerTime(long lValue1, long lValue2);
// Ask for fresh headlines; they come back as headline events. Every feed is read again at once, and every
// provider (or the symbol text for every provider, with nDate) is reported even when nothing changed.
QMDBRSSNEWS_API void QMRSSNewsSvc_UpdateProviderCache();
QMDBRSSNEWS_API void QMRSSNewsSvc_UpdateSymbolCache(const CString& strID, int nDate);
