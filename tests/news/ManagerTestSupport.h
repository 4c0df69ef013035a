// What the manager's tests share: a window onto the manager's private parts, a fixture that opens a
// session against the scripted service, and a guard that fails a test instead of letting it hang.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "news/RssNewsMgr.h"
#include "tests/fakes/FakeNewsSvc.h"
#include "tests/fakes/RecordingView.h"

// Declared a friend by CRssNewsMgr: runs one delivery pass at the test's moment and reads private state.
class CRssNewsMgrTestAccess {
 public:
  static bool DeliverPass(CRssNewsMgr& mgr) { return mgr.NotifyChangeSetToAllObj(); }
  static void StopWorker(CRssNewsMgr& mgr) { mgr.EndThread(); }
  static void NotifyAllObj(CRssNewsMgr& mgr, CRssNewsMgr::NotifyType eType, const CString& strText,
                           CRssNewsMgr::EventType eEvent) {
    mgr.NotifyAllObj(eType, strText, eEvent);
  }
  static std::size_t PendingChanges(CRssNewsMgr& mgr) {
    std::lock_guard<std::mutex> lock(mgr.m_mtx);
    return mgr.m_vecChangeSet.size();
  }
  static std::size_t Bookings(CRssNewsMgr& mgr) {
    std::lock_guard<std::mutex> lock(mgr.m_mtx);
    return mgr.m_mapObj.size();
  }
  static std::vector<std::string> Split(const CString& strSource) {
    CStringArray arr;
    arr.Add("stale");  // the split replaces what the array held
    CRssNewsMgr::SplitIDs(strSource, arr, ",");
    std::vector<std::string> pieces;
    for (const CString& piece : arr) pieces.push_back(piece.str());
    return pieces;
  }
  static bool SortByDate(std::vector<NewsHeadline>& list) { return CRssNewsMgr::SortByDate(list); }
  static bool ParseUrl(CString& strText) { return CRssNewsMgr::ParseUrlFromContent(strText); }
};

// Runs `body` on a thread of its own; if it has not ended within `limit`, the test program is stopped with a
// message, so a deadlock fails the run instead of hanging it.
template <typename Body>
void RunBounded(const char* what, std::chrono::seconds limit, Body body) {
  std::packaged_task<void()> task(body);
  std::future<void> done = task.get_future();
  std::thread runner(std::move(task));
  if (done.wait_for(limit) != std::future_status::ready) {
    std::fprintf(stderr, "DEADLOCK: %s did not end within %lld s\n", what, static_cast<long long>(limit.count()));
    std::fflush(stderr);
    std::_Exit(3);
  }
  runner.join();
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
  fakes::RecordingView v3{"v3", log};
  CRssNewsMgr mgr;
};
