// The session: Init and Finit against the scripted service, the module logger, the accessors.
#include <gmock/gmock.h>

#include <filesystem>
#include <tuple>

#include "module/ModuleLog.h"
#include "port/Path.h"
#include "settings/RSSNewsData.h"
#include "tests/fakes/ModuleLogLines.h"
#include "tests/libs/TempDir.h"
#include "tests/news/ManagerTestSupport.h"

using ::testing::ElementsAre;

TEST_F(ManagerTest, InitOpensTheSessionWithTheArgumentsInTheirPlacesAndReadsTheSettingsOnlyWhenEntitled) {
  CRSSNewsDataMgr& store = VXRSS::GetRSSNewsDataMgr();
  store.InitFolderPath("elsewhere");
  store.SetRSSNewsSels({"kept"});
  const CString strPath = store.GetFilePath();
  ASSERT_TRUE(mgr.Init("f1", "f2", "root", "s1", "s2", "s3", false, "user"));
  EXPECT_THAT(log.Entries(), ElementsAre("QMGetWTRSSNewsSvc(f1;f2;" + port::JoinPath("root", "Config").str() + ")",
                                         "SetSessionInfo(s3;s1;s2)", "Connect()", "Login()", "GetCategoryCount()",
                                         "GetCategoryCount()", "GetCategory(0)", "Release(Group)"));
  EXPECT_TRUE(mgr.IsCategoryReady());
  // Not entitled: no provider list, and the store is left alone.
  EXPECT_EQ(
      std::make_tuple(mgr.GetProviderIDs(), store.GetAuthorizedExch(), store.GetFilePath(), store.GetRSSNewsSels()),
      std::make_tuple(CString(), false, strPath, CString("kept")));

  // Entitled, it takes the provider list from the settings file in the user's data folder.
  const TempDir root;
  const CString strData = port::JoinPath(root.path().string().c_str(), "Data");
  std::filesystem::create_directories(strData.str());
  CRSSNewsDataMgr writer;
  writer.InitFolderPath(strData);
  writer.SetRSSNewsSels({"11", "12"});
  ASSERT_EQ(writer.Save(), 1);

  ASSERT_TRUE(mgr.Init("f1", "f2", "root", "s1", "s2", "s3", true, root.path().string().c_str()));
  EXPECT_EQ(std::make_tuple(mgr.GetProviderIDs(), store.GetAuthorizedExch(), store.GetFilePath()),
            std::make_tuple(CString("11,12"), true, writer.GetFilePath()));
}

TEST_F(ManagerTest, RefusedConnectionOrFailedFactoryFailsInitAndWithoutSessionNothingReachesTheService) {
  svc.SetResult("Connect", 0);
  EXPECT_FALSE(mgr.Init("f1", "f2", "root", "s1", "s2", "s3", false, "user"));
  EXPECT_EQ(log.Count("Login()"), 0u);
  log.Clear();
  mgr.Finit();
  EXPECT_THAT(log.Entries(), ElementsAre("Logout()", "Disconnect()", "QMReleaseWTRSSNewsSvc()"));

  svc.SetResult("Connect", 1);
  svc.SetResult("GetCategoryCount", -1);
  EXPECT_FALSE(mgr.Init("f1", "f2", "root", "s1", "s2", "s3", false, "user")) << "a negative category count";
  mgr.Finit();

  svc.SetFactoryFails(true);
  log.Clear();
  EXPECT_FALSE(mgr.Init("f1", "f2", "root", "s1", "s2", "s3", false, "user"));
  // Without a session nothing reaches the service.
  EXPECT_FALSE(mgr.AddNotify(&v1, "2330", 1));
  EXPECT_FALSE(mgr.AddNotify(&v1));
  EXPECT_FALSE(mgr.RemoveNotify(&v1, ""));
  EXPECT_FALSE(mgr.SetServerTime(5, 6));
  mgr.Finit();
  EXPECT_EQ(log.Entries().size(), 1u) << "a failed factory leaves no session: only the factory was called";
}

TEST_F(ManagerTest, SecondInitClosesTheFirstSessionCompletelyFirstAndFinitTwiceCallsNothing) {
  Open();
  mgr.AddNotify(&v1, "2330", 1);
  log.Clear();
  ASSERT_TRUE(mgr.Init("g1", "g2", "root", "s1", "s2", "s3", false, "user"));
  std::vector<std::string> entries = log.Entries();
  entries.resize(4);
  EXPECT_THAT(entries, ElementsAre("Logout()", "Disconnect()", "QMReleaseWTRSSNewsSvc()",
                                   "QMGetWTRSSNewsSvc(g1;g2;" + port::JoinPath("root", "Config").str() + ")"));
  EXPECT_EQ(CRssNewsMgrTestAccess::Bookings(mgr), 0u);
  std::vector<NewsHeadline> out;
  EXPECT_FALSE(mgr.GetNewsHeadline(&v1, out)) << "the first session's views are gone";
  EXPECT_TRUE(VXRSS::ModuleLogExists());
  log.Clear();
  EXPECT_TRUE(mgr.SetServerTime(5, 6));
  mgr.Finit();
  mgr.Finit();
  EXPECT_THAT(log.Entries(),
              ElementsAre("QMRSSNewsSvcSetServerTime(5;6)", "Logout()", "Disconnect()", "QMReleaseWTRSSNewsSvc()"))
      << "a second Finit calls nothing";
}

TEST_F(ManagerTest, TwoManagersShareOneLoggerThatWritesItsLineOnceAndEitherFinitDestroys) {
  mgr.Finit();  // no logger left over from another test
  const int before = fakes::ModuleLogLinesWith("CVRSSMgr::Init Log init");
  Open();
  // Without a front end the settings dialog fails, and the log says why.
  const int whyBefore = fakes::ModuleLogLinesWith("no modal front end");
  EXPECT_FALSE(mgr.ShowRSSNewsSettingDlg(nullptr, "user"));
  EXPECT_EQ(fakes::ModuleLogLinesWith("no modal front end"), whyBefore + 1);
  CRssNewsMgr second;
  ASSERT_TRUE(second.Init("f1", "f2", "root", "s1", "s2", "s3", false, "user"));
  EXPECT_TRUE(VXRSS::ModuleLogExists());
  second.Finit();
  EXPECT_FALSE(VXRSS::ModuleLogExists());
  EXPECT_EQ(fakes::ModuleLogLinesWith("CVRSSMgr::Init Log init"), before + 1);
}
