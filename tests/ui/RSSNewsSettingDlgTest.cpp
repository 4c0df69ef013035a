// The settings dialog run end to end as a user runs it: the store is pointed at a folder holding a settings
// file, the dialog learns the groups of a service, and a scripted user works the in-memory tree and presses
// OK, Cancel or the close box. What counts is what the tree showed and what the store and the file hold.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "libs/vxcommon/VxCommon.h"
#include "tests/fakes/FakeNewsSvc.h"
#include "tests/settings/SettingsFileTest.h"
#include "ui/RSSNewsSettingDlg.h"
#include "ui/ScriptedFrontEnd.h"

namespace {

using Lines = std::vector<std::string>;
using A = UserAction;

class SettingDlgTest : public ::testing::Test {
 protected:
  CString Folder() const { return CString(dir.path().string()); }
  void WriteSettings(const std::string& ids) const {
    WriteBytes(dir.path() / CRSSNewsDataMgr::kFileName, SettingsXml(ids));
  }
  std::string ReadSettings() const { return ReadBytes(dir.path() / CRSSNewsDataMgr::kFileName); }
  static std::string StoredSelection() { return VXRSS::GetRSSNewsDataMgr().GetRSSNewsSels().str(); }

  // One showing, as the manager runs it: store reloaded, categories loaded, dialog run.
  int Show(CScriptedFrontEnd& user) {
    dlg.SetSettingFolder(Folder());
    EXPECT_TRUE(dlg.LoadCategories(&svc));
    const CModalFrontEndScope scope(user);
    return vxDoModal(&dlg, 0, 1, 0);
  }

  // Alpha and Beta, reported in the order Beta, Alpha.
  void AddAlphaBeta() {
    svc.AddCategory("Beta", {{"b1", "beta one"}, {"b2", "beta two"}});
    svc.AddCategory("Alpha", {{"a1", "alpha one"}, {"a2", "alpha two"}});
  }

  TempDir dir;
  fakes::FakeNewsSvc svc;
  CRSSNewsSettingDlg dlg;
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

TEST_F(SettingDlgTest, UnknownStoredIdIsDroppedByOkAndKeptByCancelOrCloseBox) {
  AddAlphaBeta();
  WriteSettings("ghost,a1");
  const std::string original = ReadSettings();
  for (const A& close : {A::Cancel(), A::CloseBox()}) {
    CScriptedFrontEnd user({A::ClickStateIcon({"Alpha", "alpha two"}), close});
    EXPECT_EQ(Show(user), IDCANCEL);
    EXPECT_EQ(StoredSelection(), "ghost,a1");
    EXPECT_EQ(ReadSettings(), original);
  }
  CScriptedFrontEnd user({A::OK()});
  EXPECT_EQ(Show(user), IDOK);
  EXPECT_EQ(StoredSelection(), "a1");
  EXPECT_EQ(ReadSettings(), SettingsXml("a1"));
}

TEST_F(SettingDlgTest, WithoutTreeOrWithoutGroupsOkStoresNothing) {
  const std::string original = "<RSSNews RSSNewsItems='x1'/>";  // a save would write it in another layout
  WriteBytes(dir.path() / CRSSNewsDataMgr::kFileName, original);
  CScriptedFrontEnd empty({A::Capture(), A::OK()});
  EXPECT_EQ(Show(empty), IDOK);
  EXPECT_TRUE(empty.Captures()[0].empty());

  AddAlphaBeta();
  CScriptedFrontEnd noTree({A::OK()});
  noTree.FailTreeCreation();
  EXPECT_EQ(Show(noTree), IDOK);
  EXPECT_FALSE(dlg.SaveFailed());  // nothing collected is no failure

  EXPECT_EQ(StoredSelection(), "x1");
  EXPECT_EQ(ReadSettings(), original);
}

}  // namespace
