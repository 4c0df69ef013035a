// FakeNewsSvc: a scripted news service. Every call is recorded in order with its arguments as "Operation(arg;arg;...)"
// (out-parameters left out); every answer is what the test scripted; events can be fired from a thread of the fake's
// own. While installed, the service library's exported functions (QMGetWTRSSNewsSvc and the rest) answer with this
// object.
#pragma once

#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "libs/newssvc/WTRSSNewsSvc.h"
#include "tests/fakes/CallLog.h"

namespace fakes {

// A headline as a test writes it; the record made from it carries a heap block holding `tag`.
struct ScriptedHeadline {
  std::string date;
  std::string time;
  std::string tag;
};

inline NewsHeadline MakeHeadline(const ScriptedHeadline& headline) {
  NewsHeadline record{};
  std::strncpy(record.szDate, headline.date.c_str(), sizeof(record.szDate) - 1);
  std::strncpy(record.szTime, headline.time.c_str(), sizeof(record.szTime) - 1);
  char* const block = static_cast<char*>(::operator new(headline.tag.size() + 1));
  std::memcpy(block, headline.tag.c_str(), headline.tag.size() + 1);
  record.pBlock = block;
  return record;
}

// The tags of a list, joined with ",", and the list's blocks freed.
inline std::string TakeTags(std::vector<NewsHeadline>& list) {
  std::string tags;
  for (NewsHeadline& record : list) {
    tags += (tags.empty() ? "" : ",") + std::string(record.pBlock ? static_cast<const char*>(record.pBlock) : "");
    ::operator delete(record.pBlock);
    record.pBlock = nullptr;
  }
  list.clear();
  return tags;
}

class FakeNewsSvc : public IWTRSSNewsSvc {
 public:
  using Args = std::vector<std::string>;
  // Answers a call before the script tables: gets the operation, its arguments and the list or content it fills (null
  // when it has none); returns the status, or nothing to leave the call to the tables.
  using Answerer = std::function<std::optional<int>(const std::string& op, const Args& args,
                                                    std::vector<NewsHeadline>* pList, CString* pContent)>;

  FakeNewsSvc() = default;
  ~FakeNewsSvc() {
    JoinThreads();
    FakeNewsSvc* self = this;
    Installed().compare_exchange_strong(self, nullptr);
  }
  FakeNewsSvc(const FakeNewsSvc&) = delete;
  FakeNewsSvc& operator=(const FakeNewsSvc&) = delete;

  // The exported functions serve this object from now on (until another is installed or it is destroyed).
  void Install() { Installed() = this; }
  // The installed service, which the exported functions serve.
  static std::atomic<FakeNewsSvc*>& Installed() {
    static std::atomic<FakeNewsSvc*> installed{nullptr};
    return installed;
  }

  CallLog& Log() { return m_log; }

  // Scripting. `key` is an operation ("Connect") or one call ("GetTotalHeadline(A)"), which wins. Statuses default to
  // success: non-zero for Connect and the booking operations, 0 elsewhere; GetCategoryCount answers the number of
  // categories added.
  void SetFactoryFails(bool bFails) {
    Locked([&] { m_bFactoryFails = bFails; });
  }
  void SetResult(const std::string& key, int nStatus) {
    Locked([&] { m_results[key] = nStatus; });
  }
  void SetHeadlines(const std::string& call, std::vector<ScriptedHeadline> headlines) {
    Locked([&] { m_headlines[call] = std::move(headlines); });
  }
  void SetContent(const std::string& call, const CString& strContent) {
    Locked([&] { m_contents[call] = strContent; });
  }
  void AddCategory(const CString& strName, std::vector<std::pair<CString, CString>> items) {
    Locked([&] { m_categories.push_back(std::make_unique<Category>(m_log, strName, std::move(items))); });
  }
  void AddNullCategory() {
    Locked([&] { m_categories.push_back(nullptr); });
  }
  void AnswerWith(Answerer answerer) {
    Locked([&] { m_answerer = std::move(answerer); });
  }
  // Every operation holds a lock of the service's own while it records and answers (recursive, as a real service's
  // would be).
  void UseOwnLock(bool bUse) {
    Locked([&] { m_bUseOwnLock = bUse; });
  }
  // Fires events from a new thread of the fake's own, optionally holding the service's own lock meanwhile.
  void FireFromThread(std::function<void(IWTRSSNewsSvcEvent&)> fire, bool bHoldOwnLock = false) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_threads.emplace_back([this, pSink = m_pSink, fire = std::move(fire), bHoldOwnLock] {
      if (!pSink) return;
      std::unique_lock<std::recursive_mutex> own(m_ownLock, std::defer_lock);
      if (bHoldOwnLock) own.lock();
      fire(*pSink);
    });
  }
  void JoinThreads() {
    std::vector<std::thread> threads;
    Locked([&] { threads.swap(m_threads); });
    for (std::thread& thread : threads) thread.join();
  }

  // Called by the exported functions.
  IWTRSSNewsSvc* Open(const CString& str1, const CString& str2, const CString& strConfig) {
    Record("QMGetWTRSSNewsSvc", {str1.str(), str2.str(), strConfig.str()});
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bFactoryFails ? nullptr : this;
  }
  void Record(const std::string& op, const Args& args) { m_log.Add(Format(op, args)); }
  static std::string Format(const std::string& op, const Args& args) {
    std::string call = op + "(";
    for (std::size_t i = 0; i < args.size(); ++i) call += (i ? ";" : "") + args[i];
    return call + ")";
  }

  int Login(IWTRSSNewsSvcEvent* pSink) override {
    Locked([&] { m_pSink = pSink; });
    return Answer("Login", {}, 1);
  }
  int Logout(IWTRSSNewsSvcEvent* pSink) override {
    Locked([&] {
      if (m_pSink == pSink) m_pSink = nullptr;
    });
    return Answer("Logout", {}, 1);
  }
  int SetSessionInfo(const CString& s1, const CString& s2, const CString& s3) override {
    return Answer("SetSessionInfo", {s1.str(), s2.str(), s3.str()}, 1);
  }
  int Connect() override { return Answer("Connect", {}, 1); }
  int Disconnect() override { return Answer("Disconnect", {}, 1); }
  int GetCategoryCount() override {
    int nCount = 0;
    Locked([&] { nCount = static_cast<int>(m_categories.size()); });
    return Answer("GetCategoryCount", {}, nCount);
  }
  IRSSNewsCategory* GetCategory(int nIndex) override {
    Answer("GetCategory", {std::to_string(nIndex)}, 0);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= m_categories.size()) return nullptr;
    return m_categories[static_cast<std::size_t>(nIndex)].get();
  }
  int BookProviderNews(const CString& strIDs) override { return Answer("BookProviderNews", {strIDs.str()}, 1); }
  int UnbookProviderNews(const CString& strIDs) override { return Answer("UnbookProviderNews", {strIDs.str()}, 1); }
  int GetTotalHeadline(const CString& strID, std::vector<NewsHeadline>& vecList) override {
    return Answer("GetTotalHeadline", {strID.str()}, 0, &vecList);
  }
  int ReqTotalHeadline(const CString& strID, int nTaskID) override {
    return Answer("ReqTotalHeadline", {strID.str(), std::to_string(nTaskID)}, 0);
  }
  int CancelTotalHeadline(int nTaskID) override { return Answer("CancelTotalHeadline", {std::to_string(nTaskID)}, 0); }
  int GetProviderHeadline_Date(const CString& strID, long lDate, std::vector<NewsHeadline>& vecList) override {
    return Answer("GetProviderHeadline_Date", {strID.str(), std::to_string(lDate)}, 0, &vecList);
  }
  int GetNewsContent(const CString& strID, long lKey1, long lKey2, CString& strContent) override {
    return Answer("GetNewsContent", {strID.str(), std::to_string(lKey1), std::to_string(lKey2)}, 0, nullptr,
                  &strContent);
  }
  int BookSymbolNews_Date(const CString& strSymbols, long lDate, const CString& strIDs) override {
    return Answer("BookSymbolNews_Date", {strSymbols.str(), std::to_string(lDate), strIDs.str()}, 1);
  }
  int UnbookSymbolNews_Date(const CString& strSymbols, long lDate, const CString& strIDs) override {
    return Answer("UnbookSymbolNews_Date", {strSymbols.str(), std::to_string(lDate), strIDs.str()}, 1);
  }
  int GetSymbolHeadline(const CString& strID, const CString& strSymbols, std::vector<NewsHeadline>& vecList) override {
    return Answer("GetSymbolHeadline", {strID.str(), strSymbols.str()}, 0, &vecList);
  }
  int GetSymbolHeadline_Date(const CString& strID, const CString& strSymbol, long lDate,
                             std::vector<NewsHeadline>& vecList) override {
    return Answer("GetSymbolHeadline_Date", {strID.str(), strSymbol.str(), std::to_string(lDate)}, 0, &vecList);
  }
  int GetSymbolNewsContent(const CString& strID, const CString& strSymbol, long lKey1, long lKey2,
                           CString& strContent) override {
    return Answer("GetSymbolNewsContent", {strID.str(), strSymbol.str(), std::to_string(lKey1), std::to_string(lKey2)},
                  0, nullptr, &strContent);
  }
  int SearchHeadline(const CString& strWords, const CString& strIDs, const CString& strSymbol, long lFrom, long lTo,
                     int nMax, std::vector<NewsHeadline>& vecList) override {
    return Answer("SearchHeadline",
                  {strWords.str(), strIDs.str(), strSymbol.str(), std::to_string(lFrom), std::to_string(lTo),
                   std::to_string(nMax)},
                  0, &vecList);
  }

 private:
  // A category group; Release is recorded so a test sees that the manager handed it back.
  class Category final : public IRSSNewsCategory {
   public:
    Category(CallLog& log, CString name, std::vector<std::pair<CString, CString>> items)
        : m_log(log), m_name(std::move(name)), m_items(std::move(items)) {}
    void Release() override { m_log.Add("Release(" + m_name.str() + ")"); }
    CString GetName() override { return m_name; }
    int GetItemCount() override { return static_cast<int>(m_items.size()); }
    CString GetItemID(int index) override { return m_items.at(static_cast<std::size_t>(index)).first; }
    CString GetItemName(int index) override { return m_items.at(static_cast<std::size_t>(index)).second; }

   private:
    CallLog& m_log;
    CString m_name;
    std::vector<std::pair<CString, CString>> m_items;
  };

  // Changes the script under its lock.
  template <typename Change>
  void Locked(Change change) {
    std::lock_guard<std::mutex> lock(m_mutex);
    change();
  }
  // Records the call and returns its status, filling the list or content the call has.
  int Answer(const std::string& op, const Args& args, int nDefault, std::vector<NewsHeadline>* pList = nullptr,
             CString* pContent = nullptr) {
    std::unique_lock<std::mutex> script(m_mutex);
    const bool bUseOwnLock = m_bUseOwnLock;
    const Answerer answerer = m_answerer;
    script.unlock();
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

  CallLog m_log;
  mutable std::mutex m_mutex;  // guards the script below, never held while an answerer runs
  std::recursive_mutex m_ownLock;
  bool m_bUseOwnLock = false;
  bool m_bFactoryFails = false;
  IWTRSSNewsSvcEvent* m_pSink = nullptr;
  std::map<std::string, int> m_results;
  std::map<std::string, std::vector<ScriptedHeadline>> m_headlines;
  std::map<std::string, CString> m_contents;
  Answerer m_answerer;
  std::vector<std::unique_ptr<Category>> m_categories;
  std::vector<std::thread> m_threads;
};

}  // namespace fakes
