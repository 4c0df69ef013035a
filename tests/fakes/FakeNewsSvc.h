// FakeNewsSvc: a scripted news service. Every call is recorded in order with its arguments as
// "Operation(arg;arg;...)" (out-parameters left out); every answer is what the test scripted; events can be
// fired inline from inside an operation or from a thread of the fake's own. While installed, the service
// library's exported functions (QMGetWTRSSNewsSvc and the rest) answer with this object.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
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
// The tag in a record's block ("" without one).
std::string HeadlineTag(const NewsHeadline& record);
// The tags of a list, joined with ",", and the list's blocks freed.
std::string TakeTags(std::vector<NewsHeadline>& list);

class FakeNewsSvc : public IWTRSSNewsSvc {
 public:
  using Args = std::vector<std::string>;
  using Hook = std::function<void(const Args& args)>;
  // Answers a call in place of the script tables: gets the operation, its usual status and the list or
  // content it fills (null when it has none), returns the status.
  using Answerer =
      std::function<int(const std::string& op, int nDefault, std::vector<NewsHeadline>* pList, CString* pContent)>;

  FakeNewsSvc();
  ~FakeNewsSvc();
  FakeNewsSvc(const FakeNewsSvc&) = delete;
  FakeNewsSvc& operator=(const FakeNewsSvc&) = delete;

  // The exported functions serve this object from now on (until another is installed or it is destroyed).
  void Install();
  static FakeNewsSvc* Installed();

  CallLog& Log() { return m_log; }
  IWTRSSNewsSvcEvent* Sink() const;

  // Scripting. Statuses default to success: non-zero for Connect and the booking operations, 0 elsewhere;
  // GetCategoryCount answers the number of categories added unless set.
  void SetFactoryFails(bool bFails);
  void SetResult(const std::string& op, int nStatus);
  void SetResultFor(const std::string& op, const std::string& args, int nStatus);
  void SetHeadlines(const std::string& op, const std::string& args, std::vector<ScriptedHeadline> headlines);
  void SetContent(const std::string& op, const std::string& args, const CString& strContent);
  void AddCategory(const CString& strName, std::vector<std::pair<CString, CString>> items);
  void AddNullCategory();
  // Runs `hook` inside every call of `op`, after it is recorded and before it answers.
  void OnCall(const std::string& op, Hook hook);
  // From now on every call is answered by `answerer` (its hook still runs first).
  void AnswerWith(Answerer answerer);
  // Every operation holds a lock of the service's own while it records, runs its hook and answers
  // (recursive, as a real service's would be).
  void UseOwnLock(bool bUse);
  // Fires events from a new thread of the fake's own, optionally holding the service's own lock meanwhile.
  void FireFromThread(std::function<void(IWTRSSNewsSvcEvent&)> fire, bool bHoldOwnLock = false);
  void JoinThreads();

  // Called by the exported functions.
  IWTRSSNewsSvc* Open(const CString& str1, const CString& str2, const CString& strConfig);
  void Record(const std::string& op, const Args& args) { m_log.Add(Format(op, args)); }
  static std::string Format(const std::string& op, const Args& args);

  int Login(IWTRSSNewsSvcEvent* pSink) override;
  int Logout(IWTRSSNewsSvcEvent* pSink) override;
  int SetSessionInfo(const CString& str1, const CString& str2, const CString& str3) override;
  int Connect() override;
  int Disconnect() override;
  int GetCategoryCount() override;
  IRSSNewsCategory* GetCategory(int nIndex) override;
  int BookProviderNews(const CString& strProviderIDs) override;
  int UnbookProviderNews(const CString& strProviderIDs) override;
  int GetTotalHeadline(const CString& strProviderID, std::vector<NewsHeadline>& vecList) override;
  int ReqTotalHeadline(const CString& strProviderID, int nTaskID) override;
  int CancelTotalHeadline(int nTaskID) override;
  int GetProviderHeadline_Date(const CString& strProviderID, long lDate, std::vector<NewsHeadline>& vecList) override;
  int GetNewsContent(const CString& strProviderID, long lKey1, long lKey2, CString& strContent) override;
  int BookSymbolNews_Date(const CString& strSymbolIDs, long lDate, const CString& strProviderIDs) override;
  int UnbookSymbolNews_Date(const CString& strSymbolIDs, long lDate, const CString& strProviderIDs) override;
  int GetSymbolHeadline(const CString& strProviderID, const CString& strSymbolIDs,
                        std::vector<NewsHeadline>& vecList) override;
  int GetSymbolHeadline_Date(const CString& strProviderID, const CString& strSymbolID, long lDate,
                             std::vector<NewsHeadline>& vecList) override;
  int GetSymbolNewsContent(const CString& strProviderID, const CString& strSymbolID, long lKey1, long lKey2,
                           CString& strContent) override;

 private:
  class Category;

  // Changes the script under its lock.
  template <typename Change>
  void Locked(Change change) {
    std::lock_guard<std::mutex> lock(m_mutex);
    change();
  }
  // The service's own lock for one operation, when the test asked for it.
  std::unique_lock<std::recursive_mutex> HoldOwnLock();
  // Records the call, runs its hook and returns its status, filling the list or content the call has.
  int Answer(const std::string& op, const Args& args, int nDefault, std::vector<NewsHeadline>* pList = nullptr,
             CString* pContent = nullptr);
  void FillList(const std::string& op, const Args& args, std::vector<NewsHeadline>& vecList);
  void FillContent(const std::string& op, const Args& args, CString& strContent);

  CallLog m_log;
  mutable std::mutex m_mutex;  // guards the script below, never held while a hook runs
  std::recursive_mutex m_ownLock;
  bool m_bUseOwnLock = false;
  bool m_bFactoryFails = false;
  IWTRSSNewsSvcEvent* m_pSink = nullptr;
  std::map<std::string, int> m_results;
  std::map<std::string, std::vector<ScriptedHeadline>> m_headlines;
  std::map<std::string, CString> m_contents;
  std::map<std::string, Hook> m_hooks;
  Answerer m_answerer;
  std::vector<std::unique_ptr<Category>> m_categories;
  std::vector<std::thread> m_threads;
};

}  // namespace fakes
