// CCollectingReporter: prints Google Benchmark's usual console report and keeps, for each benchmark by
// its registered name, every repetition's time per iteration and counters, so the program can compute
// its figures from medians.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class CCollectingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override;

  // Medians over the repetitions; 0 when the benchmark did not run.
  double MedianSeconds(const std::string& name) const;
  double MedianCounter(const std::string& name, const std::string& counter) const;

 private:
  struct Sample {
    std::vector<double> seconds;
    std::map<std::string, std::vector<double>> counters;
  };
  const Sample& Find(const std::string& name) const;
  static double Median(std::vector<double> values);

  std::map<std::string, Sample> m_samples;
};
