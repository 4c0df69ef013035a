// CModelService: the fake news service of tests/fakes answering from a CModelScript. The manager reaches one
// through the service library's exported functions (see Install); the reference model calls another
// directly. Each records every call it receives in its log, the trace of its side.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "tests/fakes/FakeNewsSvc.h"
#include "tests/model/ModelScript.h"

class CModelService {
 public:
  explicit CModelService(const CModelScript& script);

  fakes::FakeNewsSvc& Svc() { return m_svc; }
  Trace& Log() { return m_svc.Log(); }
  // Starts counting the calls of each answer kind from zero again, as each step does.
  void ResetCounters() { m_calls.fill(0); }
  // Per booking the service was asked for ("P list" or "S symbol;date;list"), how often it was asked to book
  // it minus how often to unbook it; bookings at zero are left out.
  const std::map<std::string, int>& NetBookings() const { return m_net; }

 private:
  int Answer(const std::string& op, int nDefault, std::vector<NewsHeadline>* pList, CString* pContent);
  int NextRoll(AnswerKind kind) { return m_script.Roll(kind, m_calls[static_cast<int>(kind)]++); }
  bool NextRefuses(AnswerKind kind) { return m_script.Refuses(kind, m_calls[static_cast<int>(kind)]++); }
  // A list answer: status 0 with 0 to 2 records (each with its own block), or a refusal.
  int FillList(std::vector<NewsHeadline>& vecList);
  int FillContent(CString& strContent);

  const CModelScript& m_script;
  std::array<int, static_cast<int>(AnswerKind::kCount)> m_calls{};
  std::map<std::string, int> m_net;
  fakes::FakeNewsSvc m_svc;
};
