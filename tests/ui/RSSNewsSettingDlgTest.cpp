// The settings dialog run end to end as a user runs it, against the scripted news service: a scripted user
// works the in-memory tree and presses OK, Cancel or the close box. The dialog is shown on its own (a fresh
// one per test, so the whole tree can be compared) or by the host through the manager; the manager's dialog
// is one per process, so those tests name their groups after themselves and look only at those. What counts
// is what the tree showed and what the store, the file and the manager hold afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "libs/vxcommon/VxCommon.h"
#include "news/RssNewsMgr.h"
#include "tests/fakes/FakeNewsSvc.h"
#include "tests/fakes/ModuleLogLines.h"
#include "tests/settings/SettingsFileTest.h"
#include "ui/RSSNewsSettingDlg.h"
#include "ui/ScriptedFrontEnd.h"

namespace {

using Lines = std::vector<std::string>;
using A = UserAction;
namespace fs = std::filesystem;

// The rows of one group as the tree showed them: the group's own row ("- [x] name") and those of its items.
Lines GroupRows(const Lines& rows, const std::string& group) {
  Lines block;
  for (const std::string& row : rows) {
    const bool topLevel = row[0] != ' ';
    if (topLevel && !block.empty()) break;
    if (!block.empty() || (topLevel && row.substr(6) == group)) block.push_back(row);
  }
  return block;
}

class SettingDlgTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir.path() / "Data"); }

  fs::path SettingsFile() const { return dir.path() / "Data" / CRSSNewsDataMgr::kFileName; }
  void WriteSettings(const std::string& ids) const { WriteBytes(SettingsFile(), SettingsXml(ids)); }
  std::string ReadSettings() const { return ReadBytes(SettingsFile()); }
  static std::string StoredSelection() { return VXRSS::GetRSSNewsDataMgr().GetRSSNewsSels().str(); }

  // One showing of the test's own dialog, as the manager runs it: store reloaded, categories loaded, run.
  int Show(CScriptedFrontEnd& user) {
    dlg.SetSettingFolder(CString((dir.path() / "Data").string()));
    EXPECT_TRUE(dlg.LoadCategories(&svc));
    const CModalFrontEndScope scope(user);
    return vxDoModal(&dlg, 0, 1, 0);
  }

  // The manager's dialog, shown as the host asks for it.
  void Open(fakes::FakeNewsSvc& service) {
    service.Install();
    ASSERT_TRUE(mgr.Init("f1", "f2", "root", "s1", "s2", "s3", true, CString(dir.path().string())));
  }
  bool ShowByManager(CScriptedFrontEnd& user) {
    const CModalFrontEndScope scope(user);
    return mgr.ShowRSSNewsSettingDlg(nullptr, CString(dir.path().string()));
  }
  std::string ManagerSelection() {
    CString sel;
    mgr.GetRSSNewsSel(sel);
    return sel.str();
  }

  TempDir dir;
  fakes::FakeNewsSvc svc;
  CRSSNewsSettingDlg dlg;
  CRssNewsMgr mgr;
};

TEST_F(SettingDlgTest, ListsGroupsInByteOrderOfTheirNamesItemsInServiceOrderAndChecksTheStoredSelection) {
  const CString big5Group("\xA4\x40");  // a double-byte name sorts after every single-byte one
  svc.AddCategory(big5Group, {{"c1", "x"}});
  svc.AddCategory("a", {{"l2", "second"}, {"l1", "first"}});
  svc.AddCategory("Z", {{"u1", "z"}});
  svc.AddCategory("a", {{"l3", "third"}});  // a second object of the same group adds to it
  svc.AddCategory("b", {{"n1", "none"}});
  WriteSettings("c1,l1,u1");
  CScriptedFrontEnd user({A::Capture(), A::OK()});
  EXPECT_EQ(Show(user), IDOK);
  // Groups holding a stored item are expanded.
  EXPECT_EQ(user.Captures()[0], (Lines{"- [x] Z", "      [x] z", "- [~] a", "      [ ] second", "      [x] first",
                                       "      [ ] third", "+ [ ] b", "- [x] " + big5Group.str(), "      [x] x"}));
  EXPECT_EQ(StoredSelection(), "u1,l1,c1");  // tree order, not the file's
}

TEST_F(SettingDlgTest, DuplicateItemNameIsShownOnceAndItsFirstIdStored) {
  svc.AddNullCategory();
  svc.AddCategory("G", {{"first", "news"}, {"other", "more"}, {"second", "news"}});
  CScriptedFrontEnd user(
      {A::Capture(), A::Key(VK_DOWN), A::Key(VK_RIGHT), A::ClickStateIcon({"G", "news"}), A::Capture(), A::OK()});
  EXPECT_EQ(Show(user), IDOK);
  EXPECT_EQ(svc.Log().Matching("GetCategory(").size(), 2u) << "no index past the count";
  EXPECT_EQ(svc.Log().Matching("Release").size(), 1u);
  EXPECT_EQ(user.Captures()[0], (Lines{"+ [ ] G"}));
  EXPECT_EQ(user.Captures()[1], (Lines{"- [~] G", "      [x] news", "      [ ] more"}));
  EXPECT_EQ(StoredSelection(), "first");
  EXPECT_EQ(ReadSettings(), SettingsXml("first"));
  EXPECT_TRUE(user.Problems().empty());
}

TEST_F(SettingDlgTest, WithoutTreeOrWithoutGroupsOkStoresNothing) {
  const std::string original = "<RSSNews RSSNewsItems='x1'/>";  // a save would write it in another layout
  WriteBytes(SettingsFile(), original);
  CScriptedFrontEnd empty({A::Capture(), A::OK()});
  EXPECT_EQ(Show(empty), IDOK);
  EXPECT_TRUE(empty.Captures()[0].empty());

  svc.AddCategory("Alpha", {{"a1", "alpha one"}});
  CScriptedFrontEnd noTree({A::OK()});
  noTree.FailTreeCreation();
  EXPECT_EQ(Show(noTree), IDOK);
  EXPECT_FALSE(dlg.SaveFailed());  // nothing collected is no failure
  EXPECT_EQ(StoredSelection(), "x1");
  EXPECT_EQ(ReadSettings(), original);
}

// An unknown stored ID is kept by Cancel and the close box, dropped by OK.
TEST_F(SettingDlgTest, OnlyOkChangesWhatTheManagerKeepsAndWithoutSessionNothingIsShown) {
  svc.AddCategory("Keep B", {{"kb1", "b one"}, {"kb2", "b two"}});
  svc.AddCategory("Keep A", {{"ka1", "a one"}});
  WriteSettings("kb2,ghost");
  CScriptedFrontEnd noSession({A::OK()});
  EXPECT_FALSE(ShowByManager(noSession));
  EXPECT_EQ(noSession.Showings(), 0);
  EXPECT_EQ(StoredSelection(), "kb2,ghost");  // the store was reloaded all the same

  Open(svc);
  const CString providers = mgr.GetProviderIDs();
  CScriptedFrontEnd closeBox({A::ClickStateIcon({"Keep B"}), A::CloseBox()});
  EXPECT_FALSE(ShowByManager(closeBox));
  EXPECT_EQ(ManagerSelection(), "");
  EXPECT_EQ(StoredSelection(), "kb2,ghost");
  EXPECT_EQ(ReadSettings(), SettingsXml("kb2,ghost"));

  svc.Log().Clear();
  CScriptedFrontEnd ok({A::Capture(), A::ClickLabel({"Keep B", "b one"}), A::Key(VK_SPACE),
                        A::ClickStateIcon({"Keep B", "b two"}), A::OK()});
  EXPECT_TRUE(ShowByManager(ok));
  EXPECT_EQ(GroupRows(ok.Captures()[0], "Keep B"), (Lines{"- [~] Keep B", "      [ ] b one", "      [x] b two"}));
  EXPECT_EQ(ManagerSelection(), "kb1");
  EXPECT_EQ(StoredSelection(), "kb1");
  // The provider list and the bookings wait for the host's RefreshProviderIDs.
  EXPECT_EQ(mgr.GetProviderIDs(), providers);
  EXPECT_TRUE(svc.Log().Matching("Book").empty());
  EXPECT_TRUE(svc.Log().Matching("Unbook").empty());

  CScriptedFrontEnd cancel({A::ClickStateIcon({"Keep A"}), A::Cancel()});
  EXPECT_FALSE(ShowByManager(cancel));
  EXPECT_EQ(ManagerSelection(), "kb1");
  EXPECT_EQ(ReadSettings(), SettingsXml("kb1"));
}

TEST_F(SettingDlgTest, ManagerReportsAndLogsAnOkWhoseSaveFails) {
  svc.AddCategory("Locked", {{"l1", "locked one"}});
  WriteSettings("");
  fs::permissions(SettingsFile(), fs::perms::owner_read);
  Open(svc);
  const int logged = fakes::ModuleLogLinesWith("could not be saved");
  CScriptedFrontEnd ok({A::ClickStateIcon({"Locked"}), A::OK()});
  EXPECT_FALSE(ShowByManager(ok));
  EXPECT_EQ(ManagerSelection(), "");
  EXPECT_EQ(fakes::ModuleLogLinesWith("could not be saved"), logged + 1);
  EXPECT_EQ(ReadSettings(), SettingsXml(""));
  fs::permissions(SettingsFile(), fs::perms::owner_read | fs::perms::owner_write);  // so that the folder can go
}

TEST_F(SettingDlgTest, ManagersSecondShowingListsGroupsTheServiceNoLongerReports) {
  svc.AddCategory("Again Gone", {{"g1", "gone one"}});
  svc.AddCategory("Again Stays", {{"s1", "stays one"}});
  WriteSettings("g1");
  Open(svc);
  CScriptedFrontEnd first({A::Cancel()});
  EXPECT_FALSE(ShowByManager(first));
  mgr.Finit();

  fakes::FakeNewsSvc later;
  // A group listed before keeps its list: the first item reported for it in this call is not added.
  later.AddCategory("Again Stays", {{"s9", "stays new first"}, {"s1", "stays one"}, {"s2", "stays two"}});
  Open(later);
  CScriptedFrontEnd second({A::Capture(), A::ClickStateIcon({"Again Stays"}), A::OK()});
  EXPECT_TRUE(ShowByManager(second));
  EXPECT_EQ(GroupRows(second.Captures()[0], "Again Gone"), (Lines{"- [x] Again Gone", "      [x] gone one"}));
  EXPECT_EQ(ManagerSelection(), "g1,s1,s2");
  mgr.Finit();
}

}  // namespace
