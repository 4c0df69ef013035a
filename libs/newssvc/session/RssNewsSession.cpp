#include "libs/newssvc/session/RssNewsSession.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <set>

#include "libs/newssvc/config/NewsCategory.h"
#include "port/CodePage.h"
#include "port/Path.h"
#include "port/Text.h"

namespace newssvc {

namespace {

bool ListHas(const std::vector<std::string>& list, const std::string& id) {
  return std::find(list.begin(), list.end(), id) != list.end();
}

}  // namespace

CRssNewsSession::CRssNewsSession(const CString& configFolder, const CString& configFile, const CString& zone)
    : m_strConfigFolder(configFolder),
      m_catalog(port::JoinPath(configFolder, configFile.IsEmpty() ? CString(kDefaultConfigFile) : configFile),
                configFolder) {
  const CString exeFolder = port::ExecutableFolder();
  if (!exeFolder.IsEmpty())
    m_log.storage(port::JoinPath(exeFolder, "LOG").GetString(), "VX", "RSSNewsSvc", true, false);
  m_catalog.SetLog([this](const std::string& line) { m_log(0x100).Write("%s", line.c_str()); });
  // Fetched feeds are read on the event thread, as soon as they arrive.
  m_catalog.Scheduler().SetOnFetched([this] { m_thread.Post([this] { ReportFetched(); }); });
  int offset = 0;
  if (ParseZoneOffset(zone.str(), offset)) m_catalog.Config().SetZoneOverride(offset);
}

CRssNewsSession::~CRssNewsSession() { m_thread.Stop(); }

bool CRssNewsSession::Open() {
  if (!m_catalog.Config().Load()) return false;
  const std::shared_ptr<const ServiceSnapshot> settings = m_catalog.Config().Current();
  const CString folder = settings->Config().archiveFolder;
  const bool absolute = folder.str().find_first_of("/\\") == 0 || (folder.GetLength() > 1 && folder.str()[1] == ':');
  const CString archiveFolder = folder.IsEmpty() ? m_strConfigFolder
                                : absolute       ? folder
                                                 : port::JoinPath(m_strConfigFolder, folder);
  m_archive = std::make_unique<CNewsArchive>(archiveFolder.str(), settings->Config().archiveDays);
  m_archive->Open();  // when it fails, writes try again and queries answer from memory
  m_catalog.AttachArchive(m_archive.get());
  return true;
}

void CRssNewsSession::Destroy(std::unique_ptr<CRssNewsSession> session) {
  if (!session || !session->m_thread.IsCurrent()) return;  // destroyed here, its thread joined
  CEventThread& thread = session->m_thread;
  thread.ReleaseAfterTask(std::move(session));
}

int CRssNewsSession::Login(IWTRSSNewsSvcEvent* pSink) {
  port::MutexLock lock(m_mtx);
  m_pSink = pSink;
  return 1;
}

int CRssNewsSession::Logout(IWTRSSNewsSvcEvent* pSink) {
  port::MutexLock lock(m_mtx);
  if (m_pSink != pSink) return 0;
  m_pSink = nullptr;
  if (m_thread.IsCurrent()) return 1;
  while (m_nDelivering != 0) m_cvIdle.wait(m_mtx);
  return 1;
}

// The feeds folder (empty: the Config folder), a poll interval in milliseconds overriding the
// configuration's (empty or 0: the configuration's), and the user's name, which the service does not use.
int CRssNewsSession::SetSessionInfo(const CString& strFeedsFolder, const CString& strPollMilliseconds,
                                    const CString& /*strUser*/) {
  if (!strFeedsFolder.IsEmpty()) m_catalog.Config().SetFeedsFolder(strFeedsFolder);
  const long poll = std::strtol(strPollMilliseconds.GetString(), nullptr, 10);
  const int pollOverride = poll > 0 ? static_cast<int>(std::clamp<long>(poll, ServiceConfig::kMinPollMilliseconds,
                                                                        ServiceConfig::kMaxPollMilliseconds))
                                    : 0;
  {
    port::MutexLock lock(m_mtx);
    m_nPollOverride = pollOverride;
  }
  m_catalog.Config().SetIntervalOverride(pollOverride);
  return 1;
}

int CRssNewsSession::Connect() {
  {
    port::MutexLock lock(m_mtx);
    if (m_bConnected) return 1;
    m_bConnected = true;
  }
  // Connect runs on the host's screen thread: the feeds are read on the session's thread, first of all its
  // tasks, so a request made after Connect is answered once they have been read.
  m_thread.Start([this] { Poll(false); }, PollInterval());
  m_thread.Post([this] { Poll(true); });
  return 1;
}

int CRssNewsSession::Disconnect() {
  m_thread.Stop();
  port::MutexLock lock(m_mtx);
  m_bConnected = false;
  m_vecTasks.clear();
  return 1;
}

int CRssNewsSession::GetCategoryCount() {
  return static_cast<int>(m_catalog.Config().Current()->Config().groups.size());
}

IRSSNewsCategory* CRssNewsSession::GetCategory(int nIndex) {
  const std::shared_ptr<const ServiceSnapshot> settings = m_catalog.Config().Current();
  const std::vector<CategoryGroup>& groups = settings->Config().groups;
  if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= groups.size()) return nullptr;
  return CNewsCategory::Create(groups[static_cast<std::size_t>(nIndex)]);
}

int CRssNewsSession::BookProviderNews(const CString& strProviderIDs) {
  port::MutexLock lock(m_mtx);
  return AddBooking(m_mapProviderBookings, strProviderIDs);
}

int CRssNewsSession::UnbookProviderNews(const CString& strProviderIDs) {
  port::MutexLock lock(m_mtx);
  DropBooking(m_mapProviderBookings, strProviderIDs);
  return 1;
}

int CRssNewsSession::BookSymbolNews_Date(const CString& strSymbolIDs, long /*lDate*/,
                                         const CString& /*strProviderIDs*/) {
  port::MutexLock lock(m_mtx);
  return AddBooking(m_mapSymbolBookings, strSymbolIDs);
}

int CRssNewsSession::UnbookSymbolNews_Date(const CString& strSymbolIDs, long /*lDate*/,
                                           const CString& /*strProviderIDs*/) {
  port::MutexLock lock(m_mtx);
  DropBooking(m_mapSymbolBookings, strSymbolIDs);
  return 1;
}

int CRssNewsSession::GetTotalHeadline(const CString& strProviderID, std::vector<NewsHeadline>& vecList) {
  return m_catalog.Queries().GetHeadlines(strProviderID, HeadlineFilter{}, vecList);
}

int CRssNewsSession::ReqTotalHeadline(const CString& strProviderID, int nTaskID) {
  if (!m_catalog.Config().Current()->HasProvider(strProviderID)) return CFeedQueries::kUnknownProvider;
  {
    port::MutexLock lock(m_mtx);
    if (!m_bConnected) return 1;
    m_vecTasks.emplace_back(nTaskID, strProviderID);
  }
  m_thread.Post([this, strProviderID, nTaskID] {
    {
      // Answered only while still requested: CancelTotalHeadline may have withdrawn it meanwhile.
      port::MutexLock lock(m_mtx);
      const auto it = std::find(m_vecTasks.begin(), m_vecTasks.end(), std::make_pair(nTaskID, strProviderID));
      if (it == m_vecTasks.end()) return;
      m_vecTasks.erase(it);
    }
    Deliver([&](IWTRSSNewsSvcEvent& sink) { sink.OnGetTotalHeadLineReq(strProviderID, nTaskID); });
  });
  return 0;
}

int CRssNewsSession::CancelTotalHeadline(int nTaskID) {
  port::MutexLock lock(m_mtx);
  const auto removed = std::remove_if(m_vecTasks.begin(), m_vecTasks.end(),
                                      [nTaskID](const std::pair<int, CString>& task) { return task.first == nTaskID; });
  const bool any = removed != m_vecTasks.end();
  m_vecTasks.erase(removed, m_vecTasks.end());
  return any ? 0 : 1;
}

int CRssNewsSession::GetProviderHeadline_Date(const CString& strProviderID, long lDate,
                                              std::vector<NewsHeadline>& vecList) {
  HeadlineFilter filter;
  filter.date = lDate;
  return m_catalog.Queries().GetHeadlines(strProviderID, filter, vecList);
}

int CRssNewsSession::GetNewsContent(const CString& strProviderID, long lKey1, long /*lKey2*/, CString& strContent) {
  return m_catalog.Queries().GetContent(strProviderID, lKey1, strContent);
}

int CRssNewsSession::GetSymbolHeadline(const CString& strProviderID, const CString& strSymbolIDs,
                                       std::vector<NewsHeadline>& vecList) {
  return GetSymbolHeadline_Date(strProviderID, strSymbolIDs, 0, vecList);
}

int CRssNewsSession::GetSymbolHeadline_Date(const CString& strProviderID, const CString& strSymbolID, long lDate,
                                            std::vector<NewsHeadline>& vecList) {
  HeadlineFilter filter;
  filter.date = lDate;
  filter.symbols = port::SplitList(strSymbolID.str());
  if (filter.symbols.empty()) return CFeedQueries::kUnknownProvider;  // no symbol asked: nothing to match
  return m_catalog.Queries().GetHeadlines(strProviderID, filter, vecList);
}

int CRssNewsSession::GetSymbolNewsContent(const CString& strProviderID, const CString& /*strSymbolID*/, long lKey1,
                                          long lKey2, CString& strContent) {
  return GetNewsContent(strProviderID, lKey1, lKey2, strContent);
}

int CRssNewsSession::SearchHeadline(const CString& strWords, const CString& strProviderIDs, const CString& strSymbolID,
                                    long lFromDate, long lToDate, int nMax, std::vector<NewsHeadline>& vecList) {
  HeadlineSearch search;
  search.words = port::Utf8FromBig5(strWords);
  search.providerIDs = strProviderIDs;
  search.symbol = strSymbolID.str();
  search.fromDate = lFromDate;
  search.toDate = lToDate;
  search.limit = nMax;
  return m_catalog.Queries().Search(search, vecList);
}

void CRssNewsSession::UpdateProviderCache() {
  m_thread.Post([this] {
    Poll(true);
    const std::shared_ptr<const ServiceSnapshot> settings = m_catalog.Config().Current();
    for (const ProviderConfig& provider : settings->Providers()) {
      const long date = m_catalog.Queries().LatestDate(provider.id);
      Deliver([&](IWTRSSNewsSvcEvent& sink) { sink.OnProviderHeadLineChange_Date(provider.id, date); });
    }
  });
}

void CRssNewsSession::UpdateSymbolCache(const CString& strSymbolIDs, int nDate) {
  m_thread.Post([this, strSymbolIDs, nDate] {
    Poll(true);
    const std::shared_ptr<const ServiceSnapshot> settings = m_catalog.Config().Current();
    for (const ProviderConfig& provider : settings->Providers())
      Deliver(
          [&](IWTRSSNewsSvcEvent& sink) { sink.OnSymbolNewsHeadLineChange_Date(provider.id, strSymbolIDs, nDate); });
  });
}

void CRssNewsSession::SetServerTime(long lDate, long lTime) {
  const int year = static_cast<int>(lDate / 10000), month = static_cast<int>(lDate / 100 % 100);
  const int day = static_cast<int>(lDate % 100), hour = static_cast<int>(lTime / 10000);
  const int minute = static_cast<int>(lTime / 100 % 100), second = static_cast<int>(lTime % 100);
  if (year < 1970 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || lTime < 0 || hour > 23 ||
      minute > 59 || second > 59)
    return;
  const UtcSeconds local = FromCivil(year, month, day, hour, minute, second);
  const UtcSeconds server = local - m_catalog.Config().Current()->Zone().OffsetAt(local);
  const auto machine =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  port::MutexLock lock(m_mtx);
  m_llClockOffset = server - machine;
}

void CRssNewsSession::Poll(bool force) {
  const PollResult result = m_catalog.Poll(force, Now());
  m_thread.SetInterval(PollInterval());  // the configuration may have changed it
  if (result.categoriesChanged) Deliver([](IWTRSSNewsSvcEvent& sink) { sink.OnCategoryChange(); });
  Report(result.changes);
}

void CRssNewsSession::ReportFetched() { Report(m_catalog.TakeFetched(Now()).changes); }

// One provider event per date with new items, for providers inside a booked provider list; one symbol
// event per booked symbol text and date whose new items carry one of its symbols.
void CRssNewsSession::Report(const std::vector<FeedChange>& changes) {
  const std::vector<CString> providerLists = BookedProviderLists();
  const std::vector<CString> symbolTexts = BookedSymbolTexts();
  for (const FeedChange& change : changes) {
    const bool providerBooked = std::any_of(providerLists.begin(), providerLists.end(), [&](const CString& list) {
      return ListHas(port::SplitList(list.str()), change.providerID.str());
    });
    std::set<long> dates;
    for (const NewItem& item : change.items) dates.insert(item.date);
    for (auto date = dates.rbegin(); providerBooked && date != dates.rend(); ++date)
      Deliver([&](IWTRSSNewsSvcEvent& sink) { sink.OnProviderHeadLineChange_Date(change.providerID, *date); });
    for (const CString& text : symbolTexts) {
      const std::vector<std::string> symbols = port::SplitList(text.str());
      std::set<long> symbolDates;
      for (const NewItem& item : change.items)
        for (const std::string& symbol : item.symbols)
          if (ListHas(symbols, symbol)) symbolDates.insert(item.date);
      for (auto date = symbolDates.rbegin(); date != symbolDates.rend(); ++date)
        Deliver(
            [&](IWTRSSNewsSvcEvent& sink) { sink.OnSymbolNewsHeadLineChange_Date(change.providerID, text, *date); });
    }
  }
}

void CRssNewsSession::Deliver(const Event& event) {
  IWTRSSNewsSvcEvent* sink = nullptr;
  {
    port::MutexLock lock(m_mtx);
    if (!m_pSink) return;
    sink = m_pSink;
    ++m_nDelivering;
  }
  struct Done {
    CRssNewsSession& session;
    ~Done() {
      {
        port::MutexLock lock(session.m_mtx);
        --session.m_nDelivering;
      }
      session.m_cvIdle.notify_all();
    }
  } done{*this};
  try {
    event(*sink);
  } catch (...) {
    // A sink that throws must not end the service's thread; the event is simply lost.
  }
}

std::chrono::milliseconds CRssNewsSession::PollInterval() const {
  int overridden = 0;
  {
    port::MutexLock lock(m_mtx);
    overridden = m_nPollOverride;
  }
  return std::chrono::milliseconds(overridden > 0 ? overridden : m_catalog.Config().Current()->PollMilliseconds());
}

UtcSeconds CRssNewsSession::Now() const {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  port::MutexLock lock(m_mtx);
  return std::chrono::duration_cast<std::chrono::seconds>(now).count() + m_llClockOffset;
}

std::vector<CString> CRssNewsSession::BookedProviderLists() const {
  port::MutexLock lock(m_mtx);
  std::vector<CString> lists;
  for (const auto& booking : m_mapProviderBookings) lists.push_back(booking.first);
  return lists;
}

std::vector<CString> CRssNewsSession::BookedSymbolTexts() const {
  port::MutexLock lock(m_mtx);
  std::vector<CString> texts;
  for (const auto& booking : m_mapSymbolBookings) texts.push_back(booking.first);
  return texts;
}

int CRssNewsSession::AddBooking(std::map<CString, int>& bookings, const CString& text) {
  if (text.IsEmpty()) return 0;
  ++bookings[text];
  return 1;
}

void CRssNewsSession::DropBooking(std::map<CString, int>& bookings, const CString& text) {
  const auto it = bookings.find(text);
  if (it != bookings.end() && --it->second <= 0) bookings.erase(it);
}

}  // namespace newssvc
