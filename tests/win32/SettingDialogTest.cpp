// The settings dialog as a real Windows dialog: template 26305 from the resources, the tree-view control
// made at run time, and a user whose clicks and key strokes are queued as the system queues them. What
// counts is what the control shows and what the settings file holds afterwards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "libs/vxcommon/VxCommon.h"
#include "news/ModuleLog.h"
#include "tests/fakes/FakeNewsSvc.h"
#include "tests/settings/SettingsFileTest.h"
#include "tests/win32/DialogDriver.h"
#include "ui/RSSNewsSettingDlg.h"
#include "ui/win32/Win32FrontEnd.h"

namespace {

using Lines = std::vector<std::string>;
using Path = std::vector<std::string>;
using win32test::Step;

const std::string kOldSettings = SettingsXml("b1,a2,a1");
const Lines kOpened{"- [x] Alpha",        "      [x] alpha one", "      [x] alpha two", "- [~] Beta",
                    "      [x] beta one", "      [ ] beta two",  "+ [ ] Gamma",         "      [ ] gamma one"};
const Lines kBetaChecked{"- [x] Alpha",        "      [x] alpha one", "      [x] alpha two", "- [x] Beta",
                         "      [x] beta one", "      [x] beta two",  "+ [ ] Gamma",         "      [ ] gamma one"};

Lines Tree(HWND hDialog) { return win32test::Snapshot(win32test::TreeOf(hDialog)); }
HTREEITEM Item(HWND hDialog, const Path& path) { return win32test::FindItem(win32test::TreeOf(hDialog), path); }
Step ClickBox(const Path& path, int nClicks = 1) {
  return [path, nClicks](HWND hDialog) {
    win32test::ClickStateIcon(win32test::TreeOf(hDialog), Item(hDialog, path), nClicks);
  };
}
Step ClickLabel(const Path& path, int nClicks = 1) {
  return [path, nClicks](HWND hDialog) {
    win32test::ClickLabel(win32test::TreeOf(hDialog), Item(hDialog, path), nClicks);
  };
}
Step PressSpace() {
  return [](HWND hDialog) { win32test::PressSpace(win32test::TreeOf(hDialog)); };
}
Step Capture(Lines& into) {
  return [&into](HWND hDialog) { into = Tree(hDialog); };
}
Step Press(int nButton) {
  return [nButton](HWND hDialog) { win32test::ClickButton(hDialog, nButton); };
}

// A copy of this program, loaded as data, whose bitmap nBitmapID (under both languages) is four bytes that
// no image can be made of: the dialog's template is there, that bitmap cannot be loaded.
class CResourcesWithBrokenBitmap {
 public:
  explicit CResourcesWithBrokenBitmap(WORD nBitmapID) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::filesystem::path copy = m_dir.path() / "resources.exe";
    std::filesystem::copy_file(self, copy);
    const HANDLE hUpdate = BeginUpdateResourceW(copy.c_str(), FALSE);
    char broken[4] = {1, 2, 3, 4};
    for (const WORD language : {1028, 2052}) {
      UpdateResourceW(hUpdate, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(nBitmapID), language, broken, sizeof broken);
    }
    EndUpdateResourceW(hUpdate, FALSE);
    m_hModule = LoadLibraryExW(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }
  ~CResourcesWithBrokenBitmap() {
    if (m_hModule != nullptr) FreeLibrary(m_hModule);
  }
  CResourcesWithBrokenBitmap(const CResourcesWithBrokenBitmap&) = delete;
  CResourcesWithBrokenBitmap& operator=(const CResourcesWithBrokenBitmap&) = delete;

  HINSTANCE Get() const { return m_hModule; }

 private:
  TempDir m_dir;
  HMODULE m_hModule = nullptr;
};

class Win32SettingDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    svc.AddCategory("Beta", {{"b1", "beta one"}, {"b2", "beta two"}});
    svc.AddCategory("Alpha", {{"a1", "alpha one"}, {"a2", "alpha two"}});
    svc.AddCategory("Gamma", {{"g1", "gamma one"}});
    WriteBytes(SettingsPath(), kOldSettings);
  }

  std::filesystem::path SettingsPath() const { return dir.path() / CRSSNewsDataMgr::kFileName; }

  // One showing as the manager runs it, with the user playing `steps`.
  int Show(std::vector<Step> steps) { return Show(std::move(steps), frontEnd); }
  int Show(std::vector<Step> steps, IModalFrontEnd& shownBy) {
    dlg.SetSettingFolder(CString(dir.path().string()));
    EXPECT_TRUE(dlg.LoadCategories(&svc));
    const CModalFrontEndScope scope(shownBy);
    return win32test::RunWithUser([this] { return vxDoModal(&dlg, 0, 1, 0); }, std::move(steps));
  }

  TempDir dir;
  fakes::FakeNewsSvc svc;
  CRSSNewsSettingDlg dlg;
  vxwin32::CWin32FrontEnd frontEnd;
};

TEST_F(Win32SettingDlgTest, OpensWithTheStoredSelectionAndCancelOrTheCloseBoxSaveNothing) {
  Lines shown;
  std::wstring caption(64, L'\0');
  const Step readCaption = [&](HWND hDialog) {
    caption.resize(static_cast<std::size_t>(GetWindowTextW(hDialog, &caption[0], 64)));
  };
  EXPECT_EQ(Show({Capture(shown), readCaption, ClickBox({"Alpha"}), Press(IDCANCEL)}), IDCANCEL);
  EXPECT_EQ(shown, kOpened);
  EXPECT_EQ(win32test::Utf8(caption), "RSS\xE6\x96\xB0\xE8\x81\x9E\xE8\xA8\xAD\xE5\xAE\x9A");  // RSS新聞設定
  EXPECT_EQ(ReadBytes(SettingsPath()), kOldSettings);
  EXPECT_EQ(VXRSS::GetRSSNewsDataMgr().GetRSSNewsSels(), "b1,a2,a1");

  const Step closeBox = [](HWND hDialog) { PostMessageW(hDialog, WM_CLOSE, 0, 0); };
  EXPECT_EQ(Show({ClickBox({"Alpha"}), closeBox}), IDCANCEL);
  EXPECT_EQ(ReadBytes(SettingsPath()), kOldSettings);
}

TEST_F(Win32SettingDlgTest, ALabelClickOnlySelectsABoxClickPropagatesAndOkSavesTheFileByteExact) {
  Lines afterLabel;
  Lines afterItem;
  Lines afterGroup;
  bool labelSelected = false;
  const Step readSelection = [&](HWND hDialog) {
    labelSelected = TreeView_GetSelection(win32test::TreeOf(hDialog)) == Item(hDialog, {"Beta", "beta two"});
  };
  EXPECT_EQ(Show({ClickLabel({"Beta", "beta two"}), Capture(afterLabel), readSelection, ClickBox({"Beta", "beta two"}),
                  Capture(afterItem), ClickBox({"Alpha"}), Capture(afterGroup), Press(IDOK)}),
            IDOK);
  EXPECT_EQ(afterLabel, kOpened);
  EXPECT_TRUE(labelSelected);
  EXPECT_EQ(afterItem, kBetaChecked);
  EXPECT_EQ(afterGroup, (Lines{"- [ ] Alpha", "      [ ] alpha one", "      [ ] alpha two", "- [x] Beta",
                               "      [x] beta one", "      [x] beta two", "+ [ ] Gamma", "      [ ] gamma one"}));
  EXPECT_EQ(ReadBytes(SettingsPath()), SettingsXml("b1,b2"));
  EXPECT_EQ(VXRSS::GetRSSNewsDataMgr().GetRSSNewsSels(), "b1,b2");
}

TEST_F(Win32SettingDlgTest, ADoubleClickOnABoxIsTwoClicksUnderTheThreeStateRulesAndOnALabelExpands) {
  // The control's own double-click handling would step a box to its next image: a leaf partially checked.
  Lines afterChecked;
  Lines afterUnchecked;
  Lines afterLabel;
  EXPECT_EQ(Show({ClickBox({"Alpha", "alpha one"}, 2), Capture(afterChecked), ClickBox({"Beta", "beta two"}, 2),
                  Capture(afterUnchecked), ClickLabel({"Gamma"}, 2), Capture(afterLabel), Press(IDOK)}),
            IDOK);
  EXPECT_EQ(afterChecked, kOpened);
  EXPECT_EQ(afterUnchecked, kOpened);
  EXPECT_EQ(afterLabel, (Lines{"- [x] Alpha", "      [x] alpha one", "      [x] alpha two", "- [~] Beta",
                               "      [x] beta one", "      [ ] beta two", "- [ ] Gamma", "      [ ] gamma one"}));
  EXPECT_EQ(ReadBytes(SettingsPath()), SettingsXml("a1,a2,b1"));
}

TEST_F(Win32SettingDlgTest, SpaceTogglesTheCaretItemThroughAllThreeStatesOfItsGroup) {
  // The control's own toggling would step the caret item to the next image (partially checked); only the
  // module's handling gives checked and back.
  Lines afterFirst;
  Lines afterSecond;
  Lines afterGroup;
  Show({ClickLabel({"Beta", "beta two"}), PressSpace(), Capture(afterFirst), PressSpace(), Capture(afterSecond),
        ClickLabel({"Beta"}), PressSpace(), Capture(afterGroup), Press(IDCANCEL)});
  EXPECT_EQ(afterFirst, kBetaChecked);
  EXPECT_EQ(afterSecond, kOpened);
  EXPECT_EQ(afterGroup, kBetaChecked);  // a partially checked group becomes checked with all its items
}

TEST_F(Win32SettingDlgTest, WithoutItsCheckBoxImagesTheDialogIsNotShownLogsWhyAndSavesNothing) {
  // Drawing its own two-state boxes, the tree would lose the stored selection, and OK would save it empty.
  const CResourcesWithBrokenBitmap resources(26306);
  ASSERT_NE(resources.Get(), nullptr);
  vxwin32::CWin32FrontEnd withoutStateImages(resources.Get());
  const TempDir logFolder;
  ASSERT_TRUE(VXRSS::CreateModuleLog(CString(logFolder.path().string())));
  EXPECT_EQ(Show({Press(IDOK)}, withoutStateImages), IDCANCEL);
  VXRSS::DestroyModuleLog();
  EXPECT_EQ(ReadBytes(SettingsPath()), kOldSettings);
  EXPECT_NE(ReadBytes(logFolder.path() / "VX_vxRSSMgr.log").find("26306"), std::string::npos);
}

}  // namespace
