// The manager's performance figures. Every figure is measured beside its baseline in the same run, since
// the machines are shared and noisy, and reported as the median over repetitions:
//   1. a symbol headline event with 100,000 bookings against one with 100 bookings;
//   2. a provider headline event with 100,000 changes pending against one with 100 pending;
//   3. one worker pass delivering 10,000 changes to 10 views, per view call, against plain virtual calls;
//   4. the host thread's AddNotify, RemoveNotify (of another view) and GetNewsProviderName while a view
//      spends 200 ms in each worker callback: the 99th percentile latency;
//   5. the heap bytes one booking costs at 100,000 bookings;
//   6. RemoveNotify of a view with 100,000 bookings against one with 100 bookings;
//   7. the feed reader, bytes to headline records, against a bare libxml2 parse of the same bytes;
//  14. figure 3's worker pass delivering to watches of the C interface instead of views: what the C layer
//      adds per call, beside the direct virtual calls of figure 3.
// The program prints the table of the figures with their bounds and exits with 1 when one is out.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/AllocationCounter.h"
#include "bench/BenchViews.h"
#include "bench/CollectingReporter.h"
#include "bench/FigureTable.h"
#include "bench/ReaderBench.h"
#include "bench/RssNewsMgrTestAccess.h"
#include "capi/CApiInternal.h"
#include "news/RssNewsMgr.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSmall = 100;
constexpr int kLarge = 100000;
constexpr int kRepetitions = 5;

CString SymbolName(int i) {
  char text[16];
  std::snprintf(text, sizeof text, "S%06d", i);
  return CString(text);
}

// A manager with an open session, its worker stopped so that passes run only when a benchmark asks.
class CBenchManager {
 public:
  explicit CBenchManager(const CString& strProviderIDs) {
    m_mgr.Init("bench", "bench", "config", "s1", "s2", "s3", false, "user");
    CRssNewsMgrTestAccess::StopWorker(m_mgr);
    m_mgr.SetProviderIDs(strProviderIDs);
  }
  ~CBenchManager() { m_mgr.Finit(); }
  CBenchManager(const CBenchManager&) = delete;
  CBenchManager& operator=(const CBenchManager&) = delete;

  CRssNewsMgr& operator*() { return m_mgr; }
  CRssNewsMgr* operator->() { return &m_mgr; }

 private:
  CRssNewsMgr m_mgr;
};

// Figures 1, 5 and 6: `count` symbol bookings, one view each.
class CBookingFixture {
 public:
  explicit CBookingFixture(int count) : m_mgr("P1,P2"), m_views(static_cast<std::size_t>(count)), m_count(count) {
    const std::size_t before = bench::LiveHeapBytes();
    for (int i = 0; i < count; ++i) m_mgr->AddNotify(&m_views[static_cast<std::size_t>(i)], SymbolName(i), 0);
    m_bytesPerBooking = static_cast<double>(bench::LiveHeapBytes() - before) / count;
    // Events name symbols spread evenly over the map, so a walk would cover half of it on average.
    for (int k = 0; k < kFired; ++k) m_fired.push_back(SymbolName(k * count / kFired));
  }

  void FireOne(long n) {
    m_mgr->OnSymbolNewsHeadLineChange_Date("P1", m_fired[static_cast<std::size_t>(n % kFired)], 1);
  }
  double BytesPerBooking() const { return m_bytesPerBooking; }
  // Times the removal of one view, spread over the map as the events are, and registers it again.
  double RemoveOneSeconds(long n) {
    const int k = static_cast<int>(n % kFired) * m_count / kFired;
    IRSSNewsObjEvent* view = &m_views[static_cast<std::size_t>(k)];
    const auto t0 = Clock::now();
    m_mgr->RemoveNotify(view, "");
    const auto t1 = Clock::now();
    m_mgr->AddNotify(view, SymbolName(k), 0);
    return std::chrono::duration<double>(t1 - t0).count();
  }

 private:
  static constexpr int kFired = 64;
  CBenchManager m_mgr;
  std::vector<CCountingView> m_views;
  std::vector<CString> m_fired;
  int m_count;
  double m_bytesPerBooking = 0;
};

// Figure 2: `count` provider changes pending; events repeat pending ones, spread over the change set.
class CPendingFixture {
 public:
  explicit CPendingFixture(int count) : m_mgr("P1,P2"), m_count(count) {
    m_mgr->AddNotify(&m_view);
    for (long date = 1; date <= count; ++date) m_mgr->OnProviderHeadLineChange_Date("P1", date);
  }

  void FireOne(long n) { m_mgr->OnProviderHeadLineChange_Date("P1", 1 + (n * 7919) % m_count); }

 private:
  CBenchManager m_mgr;
  CCountingView m_view;
  long m_count;
};

// Figure 3: 10 views on the provider booking, 10,000 changes per pass.
class CDeliveryFixture {
 public:
  static constexpr int kViews = 10;
  static constexpr long kChanges = 10000;

  CDeliveryFixture() : m_mgr("P1") {
    for (CCountingView& view : m_views) {
      m_mgr->AddNotify(&view);
      m_targets.push_back(&view);
    }
  }

  void Record() {
    for (long date = 1; date <= kChanges; ++date) m_mgr->OnProviderHeadLineChange_Date("P1", date);
  }
  void Deliver() { CRssNewsMgrTestAccess::RunPass(*m_mgr); }
  // The baseline: the same calls to the same views, straight from a loop.
  void CallDirectly() {
    const CString provider("P1");
    for (long date = 1; date <= kChanges; ++date)
      for (IRSSNewsObjEvent* view : m_targets) view->OnProviderHeadlineChange(provider, date);
  }

 private:
  CBenchManager m_mgr;
  CCountingView m_views[kViews];
  std::vector<IRSSNewsObjEvent*> m_targets;
};

// Figure 14: figure 3's pass, delivered to watches of the C interface whose callbacks count as the views do.
class CCApiDeliveryFixture {
 public:
  CCApiDeliveryFixture() {
    vxrss_open_options options{"bench", "bench", "config", "s1", "s2", "s3", 0, "user", VXRSS_TEXT_UTF8};
    vxrss_open(&options, &m_session);
    CRssNewsMgrTestAccess::StopWorker(m_session->mgr);
    m_session->mgr.SetProviderIDs("P1");
    vxrss_callbacks callbacks{};
    callbacks.provider_headline_change = [](void* calls, const char*, int32_t) { ++*static_cast<long*>(calls); };
    for (vxrss_watch*& watch : m_watches) vxrss_watch_providers(m_session, &callbacks, &m_nCalls, &watch);
  }
  ~CCApiDeliveryFixture() { vxrss_close(m_session); }
  CCApiDeliveryFixture(const CCApiDeliveryFixture&) = delete;
  CCApiDeliveryFixture& operator=(const CCApiDeliveryFixture&) = delete;

  void Record() {
    for (long date = 1; date <= CDeliveryFixture::kChanges; ++date)
      m_session->mgr.OnProviderHeadLineChange_Date("P1", date);
  }
  void Deliver() { CRssNewsMgrTestAccess::RunPass(m_session->mgr); }

 private:
  vxrss_session* m_session = nullptr;
  vxrss_watch* m_watches[CDeliveryFixture::kViews] = {};
  long m_nCalls = 0;
};

// Figure 4: latencies of host-thread operations, with or without a worker pass stuck in a slow view.
double HostLatencyP99Micros(bool bBusyWorker) {
  CBenchManager mgr("P1,P2");
  CSlowView slow(std::chrono::milliseconds(200));
  mgr->AddNotify(&slow);
  std::atomic<bool> stop{false};
  std::thread passes;
  if (bBusyWorker) {
    passes = std::thread([&] {
      for (long date = 1; !stop.load(); ++date) {
        mgr->OnProviderHeadLineChange_Date("P1", date);
        CRssNewsMgrTestAccess::RunPass(*mgr);
      }
    });
    while (!slow.Entered()) std::this_thread::yield();
  }
  std::vector<CCountingView> views(64);
  std::vector<double> micros;
  CString name;
  const auto stopAt = Clock::now() + std::chrono::milliseconds(1500);
  for (int i = 0; Clock::now() < stopAt; ++i) {
    IRSSNewsObjEvent* view = &views[static_cast<std::size_t>(i % 64)];
    const auto t0 = Clock::now();
    mgr->AddNotify(view, SymbolName(i % 64), 0);
    const auto t1 = Clock::now();
    mgr->RemoveNotify(view, "");
    const auto t2 = Clock::now();
    mgr->GetNewsProviderName("P1", name);
    const auto t3 = Clock::now();
    for (const auto& d : {t1 - t0, t2 - t1, t3 - t2})
      micros.push_back(std::chrono::duration<double, std::micro>(d).count());
  }
  stop = true;
  if (passes.joinable()) passes.join();
  mgr->RemoveNotify(&slow, "");
  const std::size_t at = micros.size() * 99 / 100;
  std::nth_element(micros.begin(), micros.begin() + static_cast<std::ptrdiff_t>(at), micros.end());
  return micros[at];
}

// Figure 7's legs run in turns, each a few passes over every feed, so that neither runs in a quieter stretch
// of a shared machine than the other (run one after the other, the ratio varied from 2.6 to 4.0 x between
// runs of the same build).
bench::Paired MeasureReader(const bench::CReaderFixture& feeds) {
  constexpr int kPairs = 31;
  constexpr int kPasses = 4;
  const auto timed = [](auto pass) {
    return [pass] {
      const auto start = Clock::now();
      for (int i = 0; i < kPasses; ++i) benchmark::DoNotOptimize(pass());
      return std::chrono::duration<double>(Clock::now() - start).count() / kPasses;
    };
  };
  return bench::MeasurePaired(kPairs, timed([&feeds] { return feeds.ReadToRecords(); }),
                              timed([&feeds] { return feeds.ParseWithLibxml2(); }));
}

void RegisterBenchmarks(CBookingFixture& smallBookings, CBookingFixture& largeBookings, CPendingFixture& smallPending,
                        CPendingFixture& largePending, CDeliveryFixture& delivery, CCApiDeliveryFixture& capi) {
  auto events = [](auto& fixture) {
    return [&fixture](benchmark::State& state) {
      long n = 0;
      for (auto _ : state) fixture.FireOne(n++);
    };
  };
  benchmark::RegisterBenchmark("symbol_event/bookings:100", events(smallBookings))->Repetitions(kRepetitions);
  benchmark::RegisterBenchmark("symbol_event/bookings:100000", events(largeBookings))->Repetitions(kRepetitions);
  auto removals = [](CBookingFixture& fixture) {
    return [&fixture](benchmark::State& state) {
      long n = 0;
      for (auto _ : state) state.SetIterationTime(fixture.RemoveOneSeconds(n++));
    };
  };
  benchmark::RegisterBenchmark("remove_notify/bookings:100", removals(smallBookings))
      ->UseManualTime()
      ->Repetitions(kRepetitions);
  benchmark::RegisterBenchmark("remove_notify/bookings:100000", removals(largeBookings))
      ->UseManualTime()
      ->Repetitions(kRepetitions);
  benchmark::RegisterBenchmark("provider_event/pending:100", events(smallPending))->Repetitions(kRepetitions);
  benchmark::RegisterBenchmark("provider_event/pending:100000", events(largePending))->Repetitions(kRepetitions);
  benchmark::RegisterBenchmark("delivery/worker_pass",
                               [&delivery](benchmark::State& state) {
                                 for (auto _ : state) {
                                   state.PauseTiming();
                                   delivery.Record();
                                   state.ResumeTiming();
                                   delivery.Deliver();
                                 }
                               })
      ->Repetitions(kRepetitions)
      ->Iterations(20);
  benchmark::RegisterBenchmark("delivery/c_interface_pass",
                               [&capi](benchmark::State& state) {
                                 for (auto _ : state) {
                                   state.PauseTiming();
                                   capi.Record();
                                   state.ResumeTiming();
                                   capi.Deliver();
                                 }
                               })
      ->Repetitions(kRepetitions)
      ->Iterations(20);
  benchmark::RegisterBenchmark("delivery/direct_calls",
                               [&delivery](benchmark::State& state) {
                                 for (auto _ : state) delivery.CallDirectly();
                               })
      ->Repetitions(kRepetitions)
      ->Iterations(20);
  for (const bool busy : {false, true}) {
    benchmark::RegisterBenchmark(busy ? "host_latency/worker_in_slow_view" : "host_latency/worker_idle",
                                 [busy](benchmark::State& state) {
                                   for (auto _ : state) state.counters["p99_us"] = HostLatencyP99Micros(busy);
                                 })
        ->Repetitions(3)
        ->Iterations(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::printf("setting up: 100,000 bookings, 100,000 pending changes...\n");
  std::fflush(stdout);
  CBookingFixture smallBookings(kSmall), largeBookings(kLarge);
  CPendingFixture smallPending(kSmall), largePending(kLarge);
  CDeliveryFixture delivery;
  CCApiDeliveryFixture capiDelivery;
  RegisterBenchmarks(smallBookings, largeBookings, smallPending, largePending, delivery, capiDelivery);
  CCollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const CCollectingReporter& r = reporter;
  const double symbolSmall = r.MedianSeconds("symbol_event/bookings:100");
  const double symbolLarge = r.MedianSeconds("symbol_event/bookings:100000");
  const double removeSmall = r.MedianSeconds("remove_notify/bookings:100");
  const double removeLarge = r.MedianSeconds("remove_notify/bookings:100000");
  const double pendingSmall = r.MedianSeconds("provider_event/pending:100");
  const double pendingLarge = r.MedianSeconds("provider_event/pending:100000");
  const double calls = static_cast<double>(CDeliveryFixture::kViews) * CDeliveryFixture::kChanges;
  const double perDelivered = r.MedianSeconds("delivery/worker_pass") / calls;
  const double perDirect = r.MedianSeconds("delivery/direct_calls") / calls;
  const double perCApi = r.MedianSeconds("delivery/c_interface_pass") / calls;
  const double idleP99 = r.MedianCounter("host_latency/worker_idle", "p99_us");
  const double busyP99 = r.MedianCounter("host_latency/worker_in_slow_view", "p99_us");
  const bench::CReaderFixture feeds(VXRSS_FEEDS_DIR);
  const bench::Paired reader = MeasureReader(feeds);
  const double readerSeconds = reader.a;
  const double libxml2Seconds = reader.b;
  const double megabytes = static_cast<double>(feeds.Bytes()) / 1e6;

  const std::vector<bench::Figure> figures = {
      {"symbol event, 100,000 vs 100 bookings", symbolLarge / symbolSmall, 2, "x",
       bench::Format("%.2f us vs %.2f us", symbolLarge * 1e6, symbolSmall * 1e6)},
      {"provider event, 100,000 vs 100 pending", pendingLarge / pendingSmall, 2, "x",
       bench::Format("%.2f us vs %.2f us", pendingLarge * 1e6, pendingSmall * 1e6)},
      {"worker delivery vs direct virtual call", perDelivered / perDirect, 5, "x",
       bench::Format("%.1f ns vs %.1f ns per call", perDelivered * 1e9, perDirect * 1e9)},
      {"host call p99, worker in 200 ms callback", busyP99, 1000, "us",
       bench::Format("idle worker: %.2f us; busy: %.2f us", idleP99, busyP99)},
      {"heap bytes per booking at 100,000", largeBookings.BytesPerBooking(), 256, "B",
       bench::Format("at 100: %.0f B; at 100,000: %.0f B", smallBookings.BytesPerBooking(),
                     largeBookings.BytesPerBooking())},
      {"RemoveNotify, 100,000 vs 100 bookings", removeLarge / removeSmall, 2, "x",
       bench::Format("%.2f us vs %.2f us", removeLarge * 1e6, removeSmall * 1e6)},
      {"feed reader vs bare libxml2 parse, same bytes", reader.ratio, 3, "x",
       bench::Format("%.1f MB/s vs %.1f MB/s", megabytes / readerSeconds, megabytes / libxml2Seconds) +
           bench::Format(" (pairs %.2f-%.2f x;", reader.lowRatio, reader.highRatio) +
           bench::Format(" %.0f records/s over %.0f files)", static_cast<double>(feeds.ReadToRecords()) / readerSeconds,
                         static_cast<double>(feeds.Files()))},
  };
  const bool bHold = bench::PrintFigures(1, figures);
  const std::vector<bench::Figure> capiFigures = {
      {"C interface callback: ns added per call", (perCApi - perDelivered) * 1e9, 5, "ns",
       bench::Format("C watch %.1f ns vs view %.1f ns", perCApi * 1e9, perDelivered * 1e9) +
           bench::Format(" vs direct virtual call %.1f ns per call, %.0f watches", perDirect * 1e9,
                         CDeliveryFixture::kViews)},
  };
  return bench::PrintFigures(14, capiFigures) && bHold ? 0 : 1;
}
