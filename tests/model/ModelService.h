// CModelService: a news service that records every call in a trace and answers from a CModelScript.
// The manager reaches one through the service library's exported functions (see Install); the reference
// model calls another directly.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "libs/newssvc/WTRSSNewsSvc.h"
#include "tests/model/ModelScript.h"

class CModelService : public IWTRSSNewsSvc {
 public:
  CModelService(const CModelScript& script, Trace& trace) : m_script(script), m_trace(trace) {}
  virtual ~CModelService() = default;
  CModelService(const CModelService&) = delete;
  CModelService& operator=(const CModelService&) = delete;

  // Makes this the session QMGetWTRSSNewsSvc hands out and the target of the cache functions.
  void Install();
  // Starts counting the calls of each answer kind from zero again, as each step does.
  void ResetCounters() { m_calls.fill(0); }
  void Record(std::string call) { m_trace.Add(std::move(call)); }

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
  int NextRoll(AnswerKind kind) { return m_script.Roll(kind, m_calls[static_cast<int>(kind)]++); }
  bool NextRefuses(AnswerKind kind) { return m_script.Refuses(kind, m_calls[static_cast<int>(kind)]++); }
  // A list answer: status 0 with 0 to 2 records (each with its own block), or a refusal.
  int FillList(std::vector<NewsHeadline>& vecList);
  int FillContent(CString& strContent);

  const CModelScript& m_script;
  Trace& m_trace;
  std::array<int, static_cast<int>(AnswerKind::kCount)> m_calls{};
};

// Frees the block of every record and empties the list.
void FreeHeadlines(std::vector<NewsHeadline>& vecList);
