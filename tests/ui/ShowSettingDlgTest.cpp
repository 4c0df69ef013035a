// The settings dialog opened by the host through the manager, against the scripted news service: what the
// manager keeps after OK, Cancel and the close box, and what a later showing still lists. The dialog
// object is one per process, so each test names its groups after itself and looks only at those.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "libs/vxcommon/VxCommon.h"
#include "news/RssNewsMgr.h"
#include "tests/fakes/FakeNewsSvc.h"
#include "tests/fakes/ModuleLogLines.h"
#include "tests/settings/SettingsFileTest.h"
#include "ui/ScriptedFrontEnd.h"

namespace {

using Lines = std::vector<std::string>;
using A = UserAction;
namespace fs = std::filesystem;

// The rows of one group as the tree showed them: the group's own row and those of its shown items.
Lines GroupRows(const Lines& rows, const std::string& group) {
  Lines block;
  for (const std::string& row : rows) {
    const bool topLevel = row.compare(0, 2, "  ") != 0;
    if (topLevel && !block.empty()) break;
    if (!block.empty() ||
        (topLevel && row.size() >= group.size() && row.compare(row.size() - group.size(), group.size(), group) == 0)) {
      block.push_back(row);
    }
  }
  return block;
}

class ShowSettingDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    svc.Install();
    std::filesystem::create_directories(dir.path() / "Data");
  }

  CString UserRoot() const { return CString(dir.path().string()); }
  void WriteSettings(const std::string& ids) const {
    WriteBytes(dir.path() / "Data" / CRSSNewsDataMgr::kFileName, SettingsXml(ids));
  }
  void Open() { ASSERT_TRUE(mgr.Init("f1", "f2", "root", "s1", "s2", "s3", true, UserRoot())); }

  bool Show(CScriptedFrontEnd& user) {
    const CModalFrontEndScope scope(user);
    return mgr.ShowRSSNewsSettingDlg(nullptr, UserRoot());
  }
  std::string Selection() {
    CString sel;
    mgr.GetRSSNewsSel(sel);
    return sel.str();
  }

  TempDir dir;
  fakes::FakeNewsSvc svc;
  CRssNewsMgr mgr;
};

TEST_F(ShowSettingDlgTest, OnlyOkChangesWhatTheManagerKeeps) {
  svc.AddCategory("Keep B", {{"kb1", "b one"}, {"kb2", "b two"}});
  svc.AddCategory("Keep A", {{"ka1", "a one"}});
  WriteSettings("kb2,ghost");
  Open();
  const CString providers = mgr.GetProviderIDs();

  CScriptedFrontEnd closeBox({A::ClickStateIcon({"Keep B"}), A::CloseBox()});
  EXPECT_FALSE(Show(closeBox));
  EXPECT_EQ(Selection(), "");

  svc.Log().Clear();
  CScriptedFrontEnd ok({A::Capture(), A::ClickLabel({"Keep B", "b one"}), A::Key(VK_SPACE),
                        A::ClickStateIcon({"Keep B", "b two"}), A::OK()});
  EXPECT_TRUE(Show(ok));
  EXPECT_EQ(GroupRows(ok.Captures()[0], "Keep B"), (Lines{"- [~] Keep B", "      [ ] b one", "      [x] b two"}));
  EXPECT_EQ(Selection(), "kb1");
  EXPECT_EQ(VXRSS::GetRSSNewsDataMgr().GetRSSNewsSels(), "kb1");
  // The provider list and the bookings wait for the host's RefreshProviderIDs.
  EXPECT_EQ(mgr.GetProviderIDs(), providers);
  EXPECT_TRUE(svc.Log().Matching("Book").empty());
  EXPECT_TRUE(svc.Log().Matching("Unbook").empty());

  CScriptedFrontEnd cancel({A::ClickStateIcon({"Keep A"}), A::Cancel()});
  EXPECT_FALSE(Show(cancel));
  EXPECT_EQ(Selection(), "kb1");
}

TEST_F(ShowSettingDlgTest, OkWhoseSaveFailsIsReportedAndLogged) {
  svc.AddCategory("Locked", {{"l1", "locked one"}});
  WriteSettings("");
  const fs::path file = dir.path() / "Data" / CRSSNewsDataMgr::kFileName;
  fs::permissions(file, fs::perms::owner_read);
  Open();
  const int logged = fakes::ModuleLogLinesWith("could not be saved");
  CScriptedFrontEnd ok({A::ClickStateIcon({"Locked"}), A::OK()});
  EXPECT_FALSE(Show(ok));
  EXPECT_EQ(Selection(), "");
  EXPECT_EQ(fakes::ModuleLogLinesWith("could not be saved"), logged + 1);
  EXPECT_EQ(ReadBytes(file), SettingsXml(""));
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);  // so that the folder can go
}

TEST_F(ShowSettingDlgTest, WithoutSessionTheDialogIsNotShown) {
  WriteSettings("n1,n2");
  CScriptedFrontEnd user({A::OK()});
  EXPECT_FALSE(Show(user));
  EXPECT_EQ(user.Showings(), 0);
  EXPECT_EQ(VXRSS::GetRSSNewsDataMgr().GetRSSNewsSels(), "n1,n2");  // the store was reloaded all the same
  EXPECT_EQ(Selection(), "");
}

TEST_F(ShowSettingDlgTest, SecondShowingListsGroupsTheServiceNoLongerReports) {
  svc.AddCategory("Again Gone", {{"g1", "gone one"}});
  svc.AddCategory("Again Stays", {{"s1", "stays one"}});
  WriteSettings("g1");
  Open();
  CScriptedFrontEnd first({A::Cancel()});
  EXPECT_FALSE(Show(first));
  mgr.Finit();

  fakes::FakeNewsSvc later;
  later.Install();
  // A group listed before keeps its list: the first item reported for it in this call is not added.
  later.AddCategory("Again Stays", {{"s9", "stays new first"}, {"s1", "stays one"}, {"s2", "stays two"}});
  Open();
  CScriptedFrontEnd second({A::Capture(), A::ClickStateIcon({"Again Stays"}), A::OK()});
  EXPECT_TRUE(Show(second));
  EXPECT_EQ(GroupRows(second.Captures()[0], "Again Gone"), (Lines{"- [x] Again Gone", "      [x] gone one"}));
  EXPECT_EQ(Selection(), "g1,s1,s2");
  mgr.Finit();
}

}  // namespace
