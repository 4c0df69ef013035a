// FakeNewsSvc: a scripted news service. Every call is recorded in order with its arguments as "Operation(arg;arg;...)"
// (out-parameters left out); every answer is what the test scripted; events can be fired from a thread of the fake's
// own. While installed, the service library's exported functions (QMGetWTRSSNewsSvc and the rest) answer with this
// object.
#pragma once

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

NewsHeadline MakeHeadline(const ScriptedHeadline& headline);
// The tags of a list, joined with ",", and the list's blocks freed.
std::string TakeTags(std::vector<NewsHeadline>& list);

class FakeNewsSvc : public IWTRSSNewsSvc {
 public:
  using Args = std::vector<std::string>;
  // Answers a call before the script tables: gets the operation, its arguments and the list or content it fills (null
  // when it has none); returns the status, or nothing to leave the call to the tables.
  using Answerer = std::function<std::optional<int>(const std::string& op, const Args& args,
                                                    std::vector<NewsHeadline>* pList, CString* pContent)>;

  FakeNewsSvc();
  ~FakeNewsSvc();
  FakeNewsSvc(const FakeNewsSvc&) = delete;
  FakeNewsSvc& operator=(const FakeNewsSvc&) = delete;

  // The exported functions serve this object from now on (until another is installed or it is destroyed).
  void Install();
  static FakeNewsSvc* Installed();

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
  void AddCategory(const CString& strName, std::vector<std::pair<CString, CString>> items);
  void AddNullCategory();
  void AnswerWith(Answerer answerer) {
    Locked([&] { m_answerer = std::move(answerer); });
  }
  // Every operation holds a lock of the service's own while it records and answers (recursive, as a real service's
  // would be).
  void UseOwnLock(bool bUse) {
    Locked([&] { m_bUseOwnLock = bUse; });
  }
  // Fires events from a new thread of the fake's own, optionally holding the service's own lock meanwhile.
  void FireFromThread(std::function<void(IWTRSSNewsSvcEvent&)> fire, bool bHoldOwnLock = false);
  void JoinThreads();

  // Called by the exported functions.
  IWTRSSNewsSvc* Open(const CString& str1, const CString& str2, const CString& strConfig);
  void Record(const std::string& op, const Args& args) { m_log.Add(Format(op, args)); }
  static std::string Format(const std::string& op, const Args& args);

  int Login(IWTRSSNewsSvcEvent* pSink) override;
  int Logout(IWTRSSNewsSvcEvent* pSink) override;
  int SetSessionInfo(const CString& s1, const CString& s2, const CString& s3) override {
    return Answer("SetSessionInfo", {s1.str(), s2.str(), s3.str()}, 1);
  }
  int Connect() override { return Answer("Connect", {}, 1); }
  int Disconnect() override { return Answer("Disconnect", {}, 1); }
  int GetCategoryCount() override;
  IRSSNewsCategory* GetCategory(int nIndex) override;
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

 private:
  class Category;

  // Changes the script under its lock.
  template <typename Change>
  void Locked(Change change) {
    std::lock_guard<std::mutex> lock(m_mutex);
    change();
  }
  // Records the call and returns its status, filling the list or content the call has.
  int Answer(const std::string& op, const Args& args, int nDefault, std::vector<NewsHeadline>* pList = nullptr,
             CString* pContent = nullptr);

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
