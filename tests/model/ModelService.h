// CModelScript: the answers of the scripted news service for one step of a model run. CModelService: the
// fake news service of tests/fakes answering from a CModelScript. The manager reaches one through the
// service library's exported functions (see Install); the reference model calls another directly. Each
// records every call it receives in its log, the trace of its side.
//
// Both services answer from the same script: the k-th roll within a step is the same on both sides, so two
// traces that agree up to a call also agree on what that call answered.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/fakes/FakeNewsSvc.h"

using Trace = CallLog;

class CModelScript {
 public:
  // Starts a step whose answers derive from `stepSeed`; `failPercent` is how often an answer is a refusal.
  void BeginStep(uint64_t stepSeed, int failPercent) {
    m_stepSeed = stepSeed;
    m_failPercent = failPercent;
  }
  int CategoryCount() const { return m_categoryCount; }
  void SetCategoryCount(int count) { m_categoryCount = count; }

  // A value in [0, 100) for the `index`-th roll of the current step.
  int Roll(int index) const;
  int FailPercent() const { return m_failPercent; }

 private:
  uint64_t m_stepSeed = 0;
  int m_failPercent = 0;
  int m_categoryCount = 1;
};

class CModelService {
 public:
  explicit CModelService(const CModelScript& script);

  fakes::FakeNewsSvc& Svc() { return m_svc; }
  Trace& Log() { return m_svc.Log(); }
  // Starts counting the rolls from zero again, as each step does.
  void ResetCounters() { m_rolls = 0; }
  // Per booking the service was asked for ("P list" or "S symbol;date;list"), how often it was asked to book
  // it minus how often to unbook it; bookings at zero are left out.
  const std::map<std::string, int>& NetBookings() const { return m_net; }

 private:
  std::optional<int> Answer(const std::string& op, const fakes::FakeNewsSvc::Args& args,
                            std::vector<NewsHeadline>* pList, CString* pContent);
  int NextRoll() { return m_script.Roll(m_rolls++); }
  bool NextRefuses() { return NextRoll() < m_script.FailPercent(); }

  const CModelScript& m_script;
  int m_rolls = 0;
  std::map<std::string, int> m_net;
  fakes::FakeNewsSvc m_svc;
};
