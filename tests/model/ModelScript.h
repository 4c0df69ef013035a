// CModelScript: the answers of the scripted news service for one step of a model run, and the trace that
// records every call the service and the views receive.
//
// The manager and the reference model each talk to a service of their own, both answering from the same
// script: the k-th call of one kind within a step gets the same answer on both sides, so two traces that
// agree up to a call also agree on what that call answered.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/fakes/CallLog.h"

using Trace = CallLog;

// Kinds of scripted answer; each kind counts its calls separately within a step.
enum class AnswerKind { kBook, kUnbookSymbol, kCancel, kRequest, kListStatus, kListSize, kContentStatus, kCount };

class CModelScript {
 public:
  // Starts a step whose answers derive from `stepSeed`; `failPercent` is how often an answer is a refusal.
  void BeginStep(uint64_t stepSeed, int failPercent) {
    m_stepSeed = stepSeed;
    m_failPercent = failPercent;
  }
  int CategoryCount() const { return m_categoryCount; }
  void SetCategoryCount(int count) { m_categoryCount = count; }

  // A value in [0, 100) for the `index`-th call of `kind` in the current step.
  int Roll(AnswerKind kind, int index) const;
  bool Refuses(AnswerKind kind, int index) const { return Roll(kind, index) < m_failPercent; }

 private:
  uint64_t m_stepSeed = 0;
  int m_failPercent = 0;
  int m_categoryCount = 1;
};
