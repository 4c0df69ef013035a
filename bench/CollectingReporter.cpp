#include "bench/CollectingReporter.h"

#include <algorithm>

void CCollectingReporter::ReportRuns(const std::vector<Run>& runs) {
  for (const Run& run : runs) {
    if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
    Sample& sample = m_samples[run.run_name.function_name];
    sample.seconds.push_back(run.real_accumulated_time / static_cast<double>(run.iterations));
    for (const auto& [key, counter] : run.counters) sample.counters[key].push_back(counter.value);
  }
  ConsoleReporter::ReportRuns(runs);
}

double CCollectingReporter::MedianSeconds(const std::string& name) const { return Median(Find(name).seconds); }

double CCollectingReporter::MedianCounter(const std::string& name, const std::string& counter) const {
  const auto& counters = Find(name).counters;
  const auto it = counters.find(counter);
  return it == counters.end() ? 0 : Median(it->second);
}

const CCollectingReporter::Sample& CCollectingReporter::Find(const std::string& name) const {
  static const Sample kNone;
  const auto it = m_samples.find(name);
  return it == m_samples.end() ? kNone : it->second;
}

double CCollectingReporter::Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}
