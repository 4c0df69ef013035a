#include "tests/fakes/FakeNewsSvc.h"

#include <atomic>

namespace fakes {

namespace {

std::atomic<FakeNewsSvc*> g_installed{nullptr};

std::string Text(const CString& s) { return s.str(); }

}  // namespace

// A category group; Release is recorded so a test sees that the manager handed it back.
class FakeNewsSvc::Category : public IRSSNewsCategory {
 public:
  Category(CallLog& log, CString name, std::vector<std::pair<CString, CString>> items)
      : m_log(log), m_name(std::move(name)), m_items(std::move(items)) {}
  void Release() override { m_log.Add("Release(" + Text(m_name) + ")"); }
  CString GetName() override { return m_name; }
  int GetItemCount() override { return static_cast<int>(m_items.size()); }
  CString GetItemID(int index) override { return m_items.at(static_cast<std::size_t>(index)).first; }
  CString GetItemName(int index) override { return m_items.at(static_cast<std::size_t>(index)).second; }

 private:
  CallLog& m_log;
  CString m_name;
  std::vector<std::pair<CString, CString>> m_items;
};

FakeNewsSvc::FakeNewsSvc() = default;

FakeNewsSvc::~FakeNewsSvc() {
  JoinThreads();
  FakeNewsSvc* self = this;
  g_installed.compare_exchange_strong(self, nullptr);
}

void FakeNewsSvc::Install() { g_installed = this; }
FakeNewsSvc* FakeNewsSvc::Installed() { return g_installed; }

IWTRSSNewsSvcEvent* FakeNewsSvc::Sink() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_pSink;
}

void FakeNewsSvc::SetFactoryFails(bool bFails) {
  Locked([&] { m_bFactoryFails = bFails; });
}
void FakeNewsSvc::SetResult(const std::string& op, int nStatus) {
  Locked([&] { m_results[op] = nStatus; });
}
void FakeNewsSvc::SetResultFor(const std::string& op, const std::string& args, int nStatus) {
  Locked([&] { m_results[op + "(" + args + ")"] = nStatus; });
}
void FakeNewsSvc::SetHeadlines(const std::string& op, const std::string& args,
                               std::vector<ScriptedHeadline> headlines) {
  Locked([&] { m_headlines[op + "(" + args + ")"] = std::move(headlines); });
}
void FakeNewsSvc::SetContent(const std::string& op, const std::string& args, const CString& strContent) {
  Locked([&] { m_contents[op + "(" + args + ")"] = strContent; });
}
void FakeNewsSvc::AddCategory(const CString& strName, std::vector<std::pair<CString, CString>> items) {
  Locked([&] { m_categories.push_back(std::make_unique<Category>(m_log, strName, std::move(items))); });
}
void FakeNewsSvc::AddNullCategory() {
  Locked([&] { m_categories.push_back(nullptr); });
}
void FakeNewsSvc::OnCall(const std::string& op, Hook hook) {
  Locked([&] { m_hooks[op] = std::move(hook); });
}
void FakeNewsSvc::AnswerWith(Answerer answerer) {
  Locked([&] { m_answerer = std::move(answerer); });
}
void FakeNewsSvc::UseOwnLock(bool bUse) {
  Locked([&] { m_bUseOwnLock = bUse; });
}

void FakeNewsSvc::FireFromThread(std::function<void(IWTRSSNewsSvcEvent&)> fire, bool bHoldOwnLock) {
  IWTRSSNewsSvcEvent* const pSink = Sink();
  std::lock_guard<std::mutex> lock(m_mutex);
  m_threads.emplace_back([this, pSink, fire = std::move(fire), bHoldOwnLock] {
    if (!pSink) return;
    std::unique_lock<std::recursive_mutex> own(m_ownLock, std::defer_lock);
    if (bHoldOwnLock) own.lock();
    fire(*pSink);
  });
}

void FakeNewsSvc::JoinThreads() {
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    threads.swap(m_threads);
  }
  for (std::thread& thread : threads) thread.join();
}

IWTRSSNewsSvc* FakeNewsSvc::Open(const CString& str1, const CString& str2, const CString& strConfig) {
  Record("QMGetWTRSSNewsSvc", {Text(str1), Text(str2), Text(strConfig)});
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_bFactoryFails ? nullptr : this;
}

int FakeNewsSvc::Answer(const std::string& op, const Args& args, int nDefault, std::vector<NewsHeadline>* pList,
                        CString* pContent) {
  const auto own = HoldOwnLock();
  Record(op, args);
  Hook hook;
  Answerer answerer;
  int nStatus = nDefault;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto hookIt = m_hooks.find(op);
    if (hookIt != m_hooks.end()) hook = hookIt->second;
    answerer = m_answerer;
    const auto forArgs = m_results.find(Format(op, args));
    const auto forOp = m_results.find(op);
    if (forArgs != m_results.end()) {
      nStatus = forArgs->second;
    } else if (forOp != m_results.end()) {
      nStatus = forOp->second;
    }
  }
  if (hook) hook(args);
  if (answerer) return answerer(op, nDefault, pList, pContent);
  if (pList) FillList(op, args, *pList);
  if (pContent) FillContent(op, args, *pContent);
  return nStatus;
}

void FakeNewsSvc::FillList(const std::string& op, const Args& args, std::vector<NewsHeadline>& vecList) {
  std::vector<ScriptedHeadline> scripted;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_headlines.find(Format(op, args));
    if (it != m_headlines.end()) scripted = it->second;
  }
  for (const ScriptedHeadline& headline : scripted) vecList.push_back(MakeHeadline(headline));
}

void FakeNewsSvc::FillContent(const std::string& op, const Args& args, CString& strContent) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto it = m_contents.find(Format(op, args));
  if (it != m_contents.end()) strContent = it->second;
}

std::unique_lock<std::recursive_mutex> FakeNewsSvc::HoldOwnLock() {
  bool bUse = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    bUse = m_bUseOwnLock;
  }
  return bUse ? std::unique_lock<std::recursive_mutex>(m_ownLock) : std::unique_lock<std::recursive_mutex>();
}

int FakeNewsSvc::Login(IWTRSSNewsSvcEvent* pSink) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pSink = pSink;
  }
  return Answer("Login", {}, 1);
}

int FakeNewsSvc::Logout(IWTRSSNewsSvcEvent* pSink) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_pSink == pSink) m_pSink = nullptr;
  }
  return Answer("Logout", {}, 1);
}

int FakeNewsSvc::SetSessionInfo(const CString& str1, const CString& str2, const CString& str3) {
  return Answer("SetSessionInfo", {Text(str1), Text(str2), Text(str3)}, 1);
}

int FakeNewsSvc::Connect() { return Answer("Connect", {}, 1); }

int FakeNewsSvc::Disconnect() { return Answer("Disconnect", {}, 1); }

int FakeNewsSvc::GetCategoryCount() {
  int nCount = 0;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    nCount = static_cast<int>(m_categories.size());
  }
  return Answer("GetCategoryCount", {}, nCount);
}

IRSSNewsCategory* FakeNewsSvc::GetCategory(int nIndex) {
  Answer("GetCategory", {std::to_string(nIndex)}, 0);
  std::lock_guard<std::mutex> lock(m_mutex);
  if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= m_categories.size()) return nullptr;
  return m_categories[static_cast<std::size_t>(nIndex)].get();
}

int FakeNewsSvc::BookProviderNews(const CString& strProviderIDs) {
  return Answer("BookProviderNews", {Text(strProviderIDs)}, 1);
}

int FakeNewsSvc::UnbookProviderNews(const CString& strProviderIDs) {
  return Answer("UnbookProviderNews", {Text(strProviderIDs)}, 1);
}

int FakeNewsSvc::GetTotalHeadline(const CString& strProviderID, std::vector<NewsHeadline>& vecList) {
  return Answer("GetTotalHeadline", {Text(strProviderID)}, 0, &vecList);
}

int FakeNewsSvc::ReqTotalHeadline(const CString& strProviderID, int nTaskID) {
  return Answer("ReqTotalHeadline", {Text(strProviderID), std::to_string(nTaskID)}, 0);
}

int FakeNewsSvc::CancelTotalHeadline(int nTaskID) {
  return Answer("CancelTotalHeadline", {std::to_string(nTaskID)}, 0);
}

int FakeNewsSvc::GetProviderHeadline_Date(const CString& strProviderID, long lDate,
                                          std::vector<NewsHeadline>& vecList) {
  return Answer("GetProviderHeadline_Date", {Text(strProviderID), std::to_string(lDate)}, 0, &vecList);
}

int FakeNewsSvc::GetNewsContent(const CString& strProviderID, long lKey1, long lKey2, CString& strContent) {
  return Answer("GetNewsContent", {Text(strProviderID), std::to_string(lKey1), std::to_string(lKey2)}, 0, nullptr,
                &strContent);
}

int FakeNewsSvc::BookSymbolNews_Date(const CString& strSymbolIDs, long lDate, const CString& strProviderIDs) {
  return Answer("BookSymbolNews_Date", {Text(strSymbolIDs), std::to_string(lDate), Text(strProviderIDs)}, 1);
}

int FakeNewsSvc::UnbookSymbolNews_Date(const CString& strSymbolIDs, long lDate, const CString& strProviderIDs) {
  return Answer("UnbookSymbolNews_Date", {Text(strSymbolIDs), std::to_string(lDate), Text(strProviderIDs)}, 1);
}

int FakeNewsSvc::GetSymbolHeadline(const CString& strProviderID, const CString& strSymbolIDs,
                                   std::vector<NewsHeadline>& vecList) {
  return Answer("GetSymbolHeadline", {Text(strProviderID), Text(strSymbolIDs)}, 0, &vecList);
}

int FakeNewsSvc::GetSymbolHeadline_Date(const CString& strProviderID, const CString& strSymbolID, long lDate,
                                        std::vector<NewsHeadline>& vecList) {
  return Answer("GetSymbolHeadline_Date", {Text(strProviderID), Text(strSymbolID), std::to_string(lDate)}, 0, &vecList);
}

int FakeNewsSvc::GetSymbolNewsContent(const CString& strProviderID, const CString& strSymbolID, long lKey1, long lKey2,
                                      CString& strContent) {
  return Answer("GetSymbolNewsContent",
                {Text(strProviderID), Text(strSymbolID), std::to_string(lKey1), std::to_string(lKey2)}, 0, nullptr,
                &strContent);
}

}  // namespace fakes

// The service library's exported functions, served by the installed fake.
IWTRSSNewsSvc* QMGetWTRSSNewsSvc(const CString& str1, const CString& str2, const CString& strConfig) {
  fakes::FakeNewsSvc* const pSvc = fakes::FakeNewsSvc::Installed();
  return pSvc ? pSvc->Open(str1, str2, strConfig) : nullptr;
}

void QMReleaseWTRSSNewsSvc(IWTRSSNewsSvc** ppSvc) {
  if (fakes::FakeNewsSvc* const pSvc = fakes::FakeNewsSvc::Installed()) pSvc->Record("QMReleaseWTRSSNewsSvc", {});
  if (ppSvc) *ppSvc = nullptr;
}

void QMRSSNewsSvcSetServerTime(long lValue1, long lValue2) {
  if (fakes::FakeNewsSvc* const pSvc = fakes::FakeNewsSvc::Installed()) {
    pSvc->Record("QMRSSNewsSvcSetServerTime", {std::to_string(lValue1), std::to_string(lValue2)});
  }
}

void QMRSSNewsSvc_UpdateProviderCache() {
  if (fakes::FakeNewsSvc* const pSvc = fakes::FakeNewsSvc::Installed()) pSvc->Record("UpdateProviderCache", {});
}

void QMRSSNewsSvc_UpdateSymbolCache(const CString& strID, int nDate) {
  if (fakes::FakeNewsSvc* const pSvc = fakes::FakeNewsSvc::Installed()) {
    pSvc->Record("UpdateSymbolCache", {strID.str(), std::to_string(nDate)});
  }
}
