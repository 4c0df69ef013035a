// What the manager's tests share: the window onto the manager's private parts (shared with the model test), a
// fixture that opens a session against the scripted service, and a guard that fails a test instead of letting it
// hang.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>

#include "news/RssNewsMgr.h"
#include "tests/fakes/FakeNewsSvc.h"
#include "tests/fakes/RecordingView.h"
#include "tests/model/RssNewsMgrTestAccess.h"

// Runs `body` on a thread of its own; if it has not ended within `limit`, the test program is stopped with a
// message, so a deadlock fails the run instead of hanging it.
template <typename Body>
void RunBounded(const char* what, Body body) {
  constexpr std::chrono::seconds limit(60);  // far beyond any run that is merely slow (sanitizers, Wine)
  std::future<void> done = std::async(std::launch::async, body);
  if (done.wait_for(limit) != std::future_status::ready) {
    std::fprintf(stderr, "DEADLOCK: %s did not end within %lld s\n", what, static_cast<long long>(limit.count()));
    std::fflush(stderr);
    std::_Exit(3);
  }
  done.get();
}

// A manager with an open session against the scripted service, the worker stopped so that tests drive the
// delivery passes themselves, and the provider list 11,12.
class ManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    svc.Install();
    svc.AddCategory("Group", {{"11", "Provider 11"}, {"12", "Provider 12"}});
  }

  void Open(const CString& strProviderIDs = "11,12", bool bStopWorker = true) {
    ASSERT_TRUE(mgr.Init("f1", "f2", "root", "s1", "s2", "s3", false, "user"));
    if (bStopWorker) CRssNewsMgrTestAccess::StopWorker(mgr);
    mgr.SetProviderIDs(strProviderIDs);
    log.Clear();
  }

  fakes::FakeNewsSvc svc;
  CallLog& log = svc.Log();
  fakes::RecordingView v1{"v1", log};
  fakes::RecordingView v2{"v2", log};
  CRssNewsMgr mgr;
};
