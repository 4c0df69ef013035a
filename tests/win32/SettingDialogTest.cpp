// The settings dialog as a real Windows dialog: template 26305 from the resources, the tree-view control
// made at run time, and a user whose clicks and key strokes are queued as the system queues them. What
// counts is what the control shows and what the settings file holds afterwards.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "libs/vxcommon/VxCommon.h"
#include "port/Path.h"
#include "settings/RSSNewsData.h"
#include "tests/fakes/FakeNewsSvc.h"
#include "tests/libs/TempDir.h"
#include "tests/win32/DialogDriver.h"
#include "ui/RSSNewsSettingDlg.h"
#include "ui/res/resource.h"
#include "ui/win32/Win32FrontEnd.h"

namespace {

using Lines = std::vector<std::string>;
using win32test::Step;

constexpr char kOldSettings[] = "<?xml version='1.0' encoding='big5' ?>\n<RSSNews RSSNewsItems=\"b1,a2,a1\" />";

class Win32SettingDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    svc.AddCategory("Beta", {{"b1", "beta one"}, {"b2", "beta two"}});
    svc.AddCategory("Alpha", {{"a1", "alpha one"}, {"a2", "alpha two"}});
    svc.AddCategory("Gamma", {{"g1", "gamma one"}});
    std::ofstream(FilePath(), std::ios::binary) << kOldSettings;
  }

  std::string FilePath() const {
    return port::JoinPath(CString(dir.path().string()), CRSSNewsDataMgr::kFileName).str();
  }
  std::string ReadSettings() const {
    std::ifstream file(FilePath(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }

  // One showing as the manager runs it, with the user playing `steps`.
  int Show(std::vector<Step> steps) {
    dlg.SetSettingFolder(CString(dir.path().string()));
    EXPECT_TRUE(dlg.LoadCategories(&svc));
    const CModalFrontEndScope scope(frontEnd);
    return win32test::RunWithUser([this] { return vxDoModal(&dlg, 0, 1, 0); }, std::move(steps));
  }

  static HTREEITEM Item(HWND hDialog, const std::vector<std::string>& path) {
    return win32test::FindItem(win32test::TreeOf(hDialog), path);
  }
  static Lines Tree(HWND hDialog) { return win32test::Snapshot(win32test::TreeOf(hDialog)); }

  TempDir dir;
  fakes::FakeNewsSvc svc;
  CRSSNewsSettingDlg dlg;
  vxwin32::CWin32FrontEnd frontEnd;
};

const Lines kOpened{"- [x] Alpha",        "      [x] alpha one", "      [x] alpha two", "- [~] Beta",
                    "      [x] beta one", "      [ ] beta two",  "+ [ ] Gamma",         "      [ ] gamma one"};

TEST_F(Win32SettingDlgTest, OpensFromTheTemplateWithTheTreeAndTheStoredSelection) {
  Lines shown;
  HWND hTree = nullptr;
  RECT treeRect{};
  LONG_PTR treeStyle = 0;
  HIMAGELIST stateImages = nullptr;
  std::wstring caption(64, L'\0');
  const int result = Show({[&](HWND hDialog) {
    shown = Tree(hDialog);
    hTree = win32test::TreeOf(hDialog);
    GetWindowRect(hTree, &treeRect);
    MapWindowPoints(nullptr, hDialog, reinterpret_cast<POINT*>(&treeRect), 2);
    treeStyle = GetWindowLongPtrW(hTree, GWL_STYLE);
    stateImages = TreeView_GetImageList(hTree, TVSIL_STATE);
    caption.resize(static_cast<std::size_t>(GetWindowTextW(hDialog, &caption[0], 64)));
    win32test::ClickButton(hDialog, IDCANCEL);
  }});
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(shown, kOpened);
  ASSERT_NE(hTree, nullptr);
  EXPECT_EQ(win32test::Utf8(caption), "RSS\xE6\x96\xB0\xE8\x81\x9E\xE8\xA8\xAD\xE5\xAE\x9A");  // RSS新聞設定
  EXPECT_EQ(treeStyle & 0xFFFF0FFF, 0x50810117);  // the control may add its own scroll styles
  EXPECT_EQ(treeRect.left, 7);
  EXPECT_EQ(treeRect.top, 24);
  EXPECT_EQ(treeRect.right, 300);
  EXPECT_EQ(treeRect.bottom, 195);
  // The tree drew the module's four 13x13 state images, not its own two check boxes.
  EXPECT_EQ(stateImages, frontEnd.GetStateImages());
  int cx = 0;
  int cy = 0;
  ASSERT_TRUE(ImageList_GetIconSize(frontEnd.GetStateImages(), &cx, &cy));
  EXPECT_EQ(ImageList_GetImageCount(frontEnd.GetStateImages()), 4);
  EXPECT_EQ(cx, 13);
  EXPECT_EQ(cy, 13);
  EXPECT_EQ(ImageList_GetImageCount(frontEnd.GetFolderImages()), 2);
}

TEST_F(Win32SettingDlgTest, ClickOnABoxTogglesAndPropagatesAndOkSavesTheFileByteExact) {
  Lines afterItemClick;
  Lines afterGroupClick;
  const int result = Show({
      [&](HWND hDialog) {
        win32test::ClickStateIcon(win32test::TreeOf(hDialog), Item(hDialog, {"Beta", "beta two"}));
      },
      [&](HWND hDialog) {
        afterItemClick = Tree(hDialog);
        win32test::ClickStateIcon(win32test::TreeOf(hDialog), Item(hDialog, {"Alpha"}));
      },
      [&](HWND hDialog) {
        afterGroupClick = Tree(hDialog);
        win32test::ClickButton(hDialog, IDOK);
      },
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(afterItemClick, (Lines{"- [x] Alpha", "      [x] alpha one", "      [x] alpha two", "- [x] Beta",
                                   "      [x] beta one", "      [x] beta two", "+ [ ] Gamma", "      [ ] gamma one"}));
  EXPECT_EQ(afterGroupClick, (Lines{"- [ ] Alpha", "      [ ] alpha one", "      [ ] alpha two", "- [x] Beta",
                                    "      [x] beta one", "      [x] beta two", "+ [ ] Gamma", "      [ ] gamma one"}));
  EXPECT_EQ(ReadSettings(), "<?xml version='1.0' encoding='big5' ?>\n<RSSNews RSSNewsItems=\"b1,b2\" />");
  EXPECT_EQ(VXRSS::GetRSSNewsDataMgr().GetRSSNewsSels(), "b1,b2");
}

TEST_F(Win32SettingDlgTest, ClickOnALabelOnlySelects) {
  Lines after;
  HTREEITEM selected = nullptr;
  HTREEITEM clicked = nullptr;
  Show({
      [&](HWND hDialog) {
        clicked = Item(hDialog, {"Beta", "beta two"});
        win32test::ClickLabel(win32test::TreeOf(hDialog), clicked);
      },
      [&](HWND hDialog) {
        after = Tree(hDialog);
        selected = TreeView_GetSelection(win32test::TreeOf(hDialog));
        win32test::ClickButton(hDialog, IDOK);
      },
  });
  EXPECT_EQ(after, kOpened);
  EXPECT_EQ(selected, clicked);
  EXPECT_EQ(ReadSettings(), "<?xml version='1.0' encoding='big5' ?>\n<RSSNews RSSNewsItems=\"a1,a2,b1\" />");
}

TEST_F(Win32SettingDlgTest, SpaceTogglesTheCaretItemThroughAllThreeStatesOfItsGroup) {
  // The control's own toggling would step the caret item to the next image (partially checked); only the
  // module's handling gives checked and back.
  Lines afterFirst;
  Lines afterSecond;
  Lines afterGroup;
  Show({
      [&](HWND hDialog) {
        win32test::ClickLabel(win32test::TreeOf(hDialog), Item(hDialog, {"Beta", "beta two"}));
      },
      [&](HWND hDialog) { win32test::PressSpace(win32test::TreeOf(hDialog)); },
      [&](HWND hDialog) {
        afterFirst = Tree(hDialog);
        win32test::PressSpace(win32test::TreeOf(hDialog));
      },
      [&](HWND hDialog) {
        afterSecond = Tree(hDialog);
        win32test::ClickLabel(win32test::TreeOf(hDialog), Item(hDialog, {"Beta"}));
      },
      [&](HWND hDialog) { win32test::PressSpace(win32test::TreeOf(hDialog)); },
      [&](HWND hDialog) {
        afterGroup = Tree(hDialog);
        win32test::ClickButton(hDialog, IDCANCEL);
      },
  });
  EXPECT_EQ(afterFirst[3], "- [x] Beta");
  EXPECT_EQ(afterFirst[5], "      [x] beta two");
  EXPECT_EQ(afterSecond[3], "- [~] Beta");
  EXPECT_EQ(afterSecond[5], "      [ ] beta two");
  // A partially checked group becomes checked with all its items.
  EXPECT_EQ(afterGroup[3], "- [x] Beta");
  EXPECT_EQ(afterGroup[4], "      [x] beta one");
  EXPECT_EQ(afterGroup[5], "      [x] beta two");
}

TEST_F(Win32SettingDlgTest, CancelAndTheCloseBoxSaveNothing) {
  const auto uncheckAlpha = [&](HWND hDialog) {
    win32test::ClickStateIcon(win32test::TreeOf(hDialog), Item(hDialog, {"Alpha"}));
  };
  EXPECT_EQ(Show({uncheckAlpha, [](HWND hDialog) { win32test::ClickButton(hDialog, IDCANCEL); }}), IDCANCEL);
  EXPECT_EQ(ReadSettings(), kOldSettings);
  EXPECT_EQ(VXRSS::GetRSSNewsDataMgr().GetRSSNewsSels(), "b1,a2,a1");

  EXPECT_EQ(Show({uncheckAlpha, [](HWND hDialog) { PostMessageW(hDialog, WM_CLOSE, 0, 0); }}), IDCANCEL);
  EXPECT_EQ(ReadSettings(), kOldSettings);
}

}  // namespace
