// The call tracker's lane, the lock-free path of the worker's delivery: a lane call is waited for by
// WaitUntilIdle on another thread, never starts once its callee was revoked, and falls back to the usual
// path when every lane is taken. (A lane call that removes its own callee, or throws, the model test's
// worker passes cover.)
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "news/CallTracker.h"
#include "news/StopEvent.h"

using namespace std::chrono_literals;

namespace {

const int kCallee = 0;
const CCallTracker::Key kKey = &kCallee;

class CallTrackerLane : public ::testing::TestWithParam<int> {};

// Parameter: lanes taken before, so that 4 puts the call on the usual path.
TEST_P(CallTrackerLane, RevokeAndWaitOnAnotherThreadWaitsForTheRunningCall) {
  CCallTracker tracker;
  CStopEvent inside, release;
  std::atomic<bool> bEnded{false};
  // A lane call on its own thread that stays inside the callee until `release` opens.
  std::thread caller([&, nLanesTakenFirst = GetParam()] {
    std::vector<std::unique_ptr<CCallTracker::Lane>> taken;
    for (int i = 0; i < nLanesTakenFirst; ++i) taken.push_back(std::make_unique<CCallTracker::Lane>(tracker));
    CCallTracker::Lane lane(tracker);
    lane.Run(kKey, tracker.TicketFor(kKey), [&] {
      inside.Set();
      release.WaitFor(60s);
      bEnded = true;
    });
  });
  inside.WaitFor(60s);
  auto removed = std::async(std::launch::async, [&] {
    tracker.Revoke(kKey);
    tracker.WaitUntilIdle(kKey);
    return bEnded.load();
  });
  EXPECT_EQ(removed.wait_for(200ms), std::future_status::timeout) << "returned while the call was running";
  release.Set();
  ASSERT_EQ(removed.wait_for(10s), std::future_status::ready);
  EXPECT_TRUE(removed.get());
  caller.join();
}

INSTANTIATE_TEST_SUITE_P(FreeOrAllTaken, CallTrackerLane, ::testing::Values(0, 4));

TEST(CallTrackerLaneRules, CallPlannedBeforeRevocationDoesNotStartUntilReopenedAndPlannedAgain) {
  CCallTracker tracker;
  CCallTracker::Lane lane(tracker);
  const CCallTracker::Ticket before = tracker.TicketFor(kKey);
  tracker.Revoke(kKey);
  int nCalls = 0;
  EXPECT_FALSE(lane.Run(kKey, before, [&] { ++nCalls; }));
  EXPECT_FALSE(lane.Run(kKey, tracker.TicketFor(kKey), [&] { ++nCalls; })) << "planned while revoked";
  tracker.Reopen(kKey);
  EXPECT_TRUE(lane.Run(kKey, tracker.TicketFor(kKey), [&] { ++nCalls; }));
  EXPECT_EQ(nCalls, 1);
}

}  // namespace
