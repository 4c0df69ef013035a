// The threading guarantees: no lock held across calls out, RemoveNotify's waiting rules, the worker, and
// stress runs that the sanitizer builds check for races and use after free.
#include <atomic>
#include <map>
#include <memory>
#include <stdexcept>
#include <thread>

#include "news/StopEvent.h"
#include "tests/news/ManagerTestSupport.h"

using namespace std::chrono_literals;

// RemoveNotify waits for the view's call running on another thread; views removing themselves from their calls
// on two threads at once do not wait for each other.
TEST_F(ManagerTest, RemoveNotifyWaitsForTheViewsCallOnAnotherThreadButNotForTheViewsOwnRemoval) {
  Open("11,12");
  svc.SetContent("GetNewsContent(11;1;1)", "text");
  mgr.AddNotify(&v1);
  CStopEvent inside;
  CStopEvent release;
  std::atomic<bool> bCallEnded{false};
  v1.SetHook([&](const std::string& entry) {
    if (entry.find("OnNewsContentArrive") == std::string::npos) return;
    inside.Set();
    release.WaitFor(60s);
    bCallEnded = true;
  });
  svc.FireFromThread([](IWTRSSNewsSvcEvent& sink) { sink.OnNewsContentChange("11", 1, 1); });
  inside.WaitFor(60s);
  std::future<void> removed = std::async(std::launch::async, [&] {
    mgr.RemoveNotify(&v1, "");
    EXPECT_TRUE(bCallEnded) << "RemoveNotify returned while the view's call was running";
  });
  EXPECT_EQ(removed.wait_for(200ms), std::future_status::timeout);
  release.Set();
  RunBounded("the remover", [&] { removed.get(); });
  svc.JoinThreads();

  std::atomic<int> nInside{0};
  v2.SetHook([&](const std::string& entry) {
    if (entry.find("OnNewsContentArrive") == std::string::npos) return;
    ++nInside;
    while (nInside < 2) std::this_thread::yield();
    mgr.RemoveNotify(&v2, "");
  });
  mgr.AddNotify(&v2);
  RunBounded("two self-removals", [&] {
    svc.FireFromThread([](IWTRSSNewsSvcEvent& sink) { sink.OnNewsContentChange("11", 1, 1); });
    svc.FireFromThread([](IWTRSSNewsSvcEvent& sink) { sink.OnNewsContentChange("11", 1, 1); });
    svc.JoinThreads();
  });
}

TEST_F(ManagerTest, ServiceHoldingItsOwnLockWhileFiringDoesNotDeadlockTheHost) {
  Open("11,12");
  svc.UseOwnLock(true);
  svc.SetHeadlines("GetProviderHeadline_Date(11;1)", {{"1", "1", "h"}});
  // The service answers a total-headline request from inside ReqTotalHeadline, on the calling thread.
  svc.AnswerWith([this](const std::string& op, const fakes::FakeNewsSvc::Args& args, auto*, auto*) {
    if (op == "ReqTotalHeadline") mgr.OnGetTotalHeadLineReq(args[0].c_str(), std::stoi(args[1]));
    return std::optional<int>();
  });
  v1.SetHook([this](const std::string&) { mgr.GetRefCount(); });
  RunBounded("host and service thread", [&] {
    for (int round = 0; round < 20; ++round) {
      svc.FireFromThread(
          [this](IWTRSSNewsSvcEvent& sink) {
            sink.OnProviderHeadLineChange_Date("11", 1);
            sink.OnNewsContentChange("11", 1, 1);
            std::vector<NewsHeadline> out;
            mgr.PullProviderNewsHeadline_Date("11", 1, out);
            fakes::TakeTags(out);
          },
          true);
      mgr.AddNotify(&v1);
      mgr.AddNotify(&v2, "2330", round);
      CRssNewsMgrTestAccess::DeliverPass(mgr);
      mgr.RemoveNotify(&v1, "");
      mgr.RemoveNotify(&v2, "");
    }
    svc.JoinThreads();
  });
  EXPECT_EQ(mgr.GetRefCount(), 0);
}

// The service answers a task while holding a lock of its own, and the view throws from the answer, so the
// manager removes the view. Meanwhile the view's worker callback waits for that same lock. A removal the
// manager starts itself does not wait for the view's calls on other threads.
TEST_F(ManagerTest, RemovalAfterAThrowingTaskAnswerDoesNotWaitForTheViewsWorkerCallback) {
  Open("11");
  svc.UseOwnLock(true);
  mgr.AddNotify(&v1);
  mgr.OnProviderHeadLineChange_Date("11", 1);
  CStopEvent inside;
  CStopEvent serviceLocked;
  v1.SetHook([&](const std::string& entry) {
    if (entry.find("OnTotalHeadline") != std::string::npos) throw std::runtime_error("the view fails");
    if (entry.find("OnProviderHeadlineChange") == std::string::npos) return;
    inside.Set();
    serviceLocked.WaitFor(10s);
    std::vector<NewsHeadline> out;
    mgr.PullProviderNewsHeadline_Date("11", 1, out);  // waits for the service's lock
  });
  RunBounded("a removal started by a task answer", [&] {
    std::thread pass([this] { CRssNewsMgrTestAccess::DeliverPass(mgr); });
    inside.WaitFor(10s);
    svc.FireFromThread(
        [&](IWTRSSNewsSvcEvent& sink) {
          serviceLocked.Set();
          sink.OnGetTotalHeadLineReq("11", 0);
        },
        true);
    svc.JoinThreads();
    pass.join();
  });
  EXPECT_EQ(mgr.GetRefCount(), 0) << "the failing view was removed";
}

// The worker delivers on a thread of its own. A view that reconnects from its worker callback calls Init on the
// worker itself; every worker the manager started must end promptly when the host stops it, while events keep
// arriving: a worker left running would deliver the last change below.
TEST_F(ManagerTest, WorkerDeliversOnItsOwnThreadAndEveryWorkerEndsPromptlyAtFinit) {
  Open("11,12", false);
  std::atomic<bool> bReconnecting{false};
  std::promise<std::thread::id> reconnectedOn;
  v1.SetHook([&](const std::string& entry) {
    if (entry.find("OnProviderHeadlineChange") == std::string::npos || bReconnecting.exchange(true)) return;
    mgr.Init("f1", "f2", "root", "s1", "s2", "s3", false, "user");
    reconnectedOn.set_value(std::this_thread::get_id());
  });
  mgr.AddNotify(&v1);
  mgr.OnProviderHeadLineChange_Date("11", 1);
  std::future<std::thread::id> deliveredOn = reconnectedOn.get_future();
  ASSERT_EQ(deliveredOn.wait_for(10s), std::future_status::ready);
  EXPECT_NE(deliveredOn.get(), std::this_thread::get_id());

  mgr.SetProviderIDs("11,12");
  mgr.AddNotify(&v1);
  std::atomic<bool> bStop{false};
  std::thread events([&] {
    while (!bStop) mgr.OnProviderHeadLineChange_Date("11", 2);
  });
  const auto start = std::chrono::steady_clock::now();
  RunBounded("Finit after a reconnect from the worker", [this] {
    mgr.Finit();
    mgr.Finit();
  });
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  bStop = true;
  events.join();
  Open("11,12");
  mgr.AddNotify(&v2);
  mgr.OnProviderHeadLineChange_Date("11", 3);
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(log.Count("v2.OnProviderHeadlineChange(11;3)"), 0u);
}

// The host registers and removes views, destroying each as soon as RemoveNotify returns, while a service
// thread fires headline, content and task events, and the worker and a second thread run delivery passes. Stable views
// hold their bookings throughout and must see every distinct change exactly once.
TEST_F(ManagerTest, StressDeliversEveryChangeOnceToStableViewsWhileOthersComeAndGo) {
  Open("11,12", false);
  svc.SetContent("GetNewsContent(11;1;1)", "text");
  // Every list holds one headline.
  svc.AnswerWith([](const std::string&, const fakes::FakeNewsSvc::Args&, std::vector<NewsHeadline>* pList, auto*) {
    if (pList) pList->push_back(fakes::MakeHeadline({"1", "1", "h"}));
    return std::optional<int>();
  });
  mgr.AddNotify(&v1);
  mgr.AddNotify(&v2, "2330", 0);
  constexpr int kRounds = 300;

  std::atomic<bool> bFiring{true};
  RunBounded("stress", [&] {
    std::thread passes([&] {
      while (bFiring) {
        CRssNewsMgrTestAccess::DeliverPass(mgr);
        std::this_thread::sleep_for(1ms);
      }
    });
    svc.FireFromThread([&](IWTRSSNewsSvcEvent& sink) {
      for (int date = 1; date <= kRounds; ++date) {
        sink.OnProviderHeadLineChange_Date("11", date);
        sink.OnSymbolNewsHeadLineChange_Date("12", "2330", date);
        sink.OnNewsContentChange("11", 1, 1);
        sink.OnGetTotalHeadLineReq("11", date % 4);
        sink.OnGetTotalHeadLineReq("12", date % 4);
      }
    });
    for (int round = 0; round < kRounds; ++round) {
      auto churn = std::make_unique<fakes::RecordingView>("churn", log);
      mgr.AddNotify(churn.get());
      mgr.AddNotify(churn.get(), "2330", 0);
      mgr.RemoveNotify(churn.get(), "");  // and destroyed at once
    }
    svc.JoinThreads();
    bFiring = false;
    passes.join();
    CRssNewsMgrTestAccess::StopWorker(mgr);  // a pass it has begun ends first
  });
  CRssNewsMgrTestAccess::DeliverPass(mgr);
  EXPECT_EQ(CRssNewsMgrTestAccess::PendingChanges(mgr), 0u);
  std::map<std::string, int> deliveries;
  for (const std::string& entry : log.Entries()) ++deliveries[entry];
  for (int date = 1; date <= kRounds; ++date) {
    ASSERT_EQ(deliveries["v1.OnProviderHeadlineChange(11;" + std::to_string(date) + ")"], 1) << date;
    ASSERT_EQ(deliveries["v2.OnSymbolHeadlineChange(12;2330;" + std::to_string(date) + ")"], 1) << date;
  }
}
