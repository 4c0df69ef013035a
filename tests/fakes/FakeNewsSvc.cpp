#include "tests/fakes/FakeNewsSvc.h"

#include <atomic>
#include <cstring>

namespace fakes {

namespace {

std::atomic<FakeNewsSvc*> g_installed{nullptr};

std::string Text(const CString& s) { return s.str(); }

}  // namespace

NewsHeadline MakeHeadline(const ScriptedHeadline& headline) {
  NewsHeadline record{};
  std::strncpy(record.szDate, headline.date.c_str(), sizeof(record.szDate) - 1);
  std::strncpy(record.szTime, headline.time.c_str(), sizeof(record.szTime) - 1);
  char* const block = static_cast<char*>(::operator new(headline.tag.size() + 1));
  std::memcpy(block, headline.tag.c_str(), headline.tag.size() + 1);
  record.pBlock = block;
  return record;
}

std::string TakeTags(std::vector<NewsHeadline>& list) {
  std::string tags;
  for (NewsHeadline& record : list) {
    tags += (tags.empty() ? "" : ",") + std::string(record.pBlock ? static_cast<const char*>(record.pBlock) : "");
    ::operator delete(record.pBlock);
    record.pBlock = nullptr;
  }
  list.clear();
  return tags;
}

std::string FakeNewsSvc::Format(const std::string& op, const Args& args) {
  std::string call = op + "(";
  for (std::size_t i = 0; i < args.size(); ++i) call += (i ? ";" : "") + args[i];
  return call + ")";
}

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

void FakeNewsSvc::AddCategory(const CString& strName, std::vector<std::pair<CString, CString>> items) {
  Locked([&] { m_categories.push_back(std::make_unique<Category>(m_log, strName, std::move(items))); });
}

void FakeNewsSvc::AddNullCategory() {
  Locked([&] { m_categories.push_back(nullptr); });
}

void FakeNewsSvc::FireFromThread(std::function<void(IWTRSSNewsSvcEvent&)> fire, bool bHoldOwnLock) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_threads.emplace_back([this, pSink = m_pSink, fire = std::move(fire), bHoldOwnLock] {
    if (!pSink) return;
    std::unique_lock<std::recursive_mutex> own(m_ownLock, std::defer_lock);
    if (bHoldOwnLock) own.lock();
    fire(*pSink);
  });
}

void FakeNewsSvc::JoinThreads() {
  std::vector<std::thread> threads;
  Locked([&] { threads.swap(m_threads); });
  for (std::thread& thread : threads) thread.join();
}

IWTRSSNewsSvc* FakeNewsSvc::Open(const CString& str1, const CString& str2, const CString& strConfig) {
  Record("QMGetWTRSSNewsSvc", {Text(str1), Text(str2), Text(strConfig)});
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_bFactoryFails ? nullptr : this;
}

int FakeNewsSvc::Answer(const std::string& op, const Args& args, int nDefault, std::vector<NewsHeadline>* pList,
                        CString* pContent) {
  bool bUseOwnLock = false;
  Answerer answerer;
  Locked([&] {
    bUseOwnLock = m_bUseOwnLock;
    answerer = m_answerer;
  });
  std::unique_lock<std::recursive_mutex> own(m_ownLock, std::defer_lock);
  if (bUseOwnLock) own.lock();
  const std::string call = Format(op, args);
  m_log.Add(call);
  if (answerer) {
    if (const std::optional<int> nStatus = answerer(op, args, pList, pContent)) return *nStatus;
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto headlines = m_headlines.find(call);
  if (pList && headlines != m_headlines.end()) {
    for (const ScriptedHeadline& headline : headlines->second) pList->push_back(MakeHeadline(headline));
  }
  const auto content = m_contents.find(call);
  if (pContent && content != m_contents.end()) *pContent = content->second;
  for (const std::string& key : {call, op}) {
    if (const auto result = m_results.find(key); result != m_results.end()) return result->second;
  }
  return nDefault;
}

int FakeNewsSvc::Login(IWTRSSNewsSvcEvent* pSink) {
  Locked([&] { m_pSink = pSink; });
  return Answer("Login", {}, 1);
}

int FakeNewsSvc::Logout(IWTRSSNewsSvcEvent* pSink) {
  Locked([&] {
    if (m_pSink == pSink) m_pSink = nullptr;
  });
  return Answer("Logout", {}, 1);
}

int FakeNewsSvc::GetCategoryCount() {
  int nCount = 0;
  Locked([&] { nCount = static_cast<int>(m_categories.size()); });
  return Answer("GetCategoryCount", {}, nCount);
}

IRSSNewsCategory* FakeNewsSvc::GetCategory(int nIndex) {
  Answer("GetCategory", {std::to_string(nIndex)}, 0);
  std::lock_guard<std::mutex> lock(m_mutex);
  if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= m_categories.size()) return nullptr;
  return m_categories[static_cast<std::size_t>(nIndex)].get();
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
