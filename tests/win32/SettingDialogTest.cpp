// The settings dialog as a real Windows dialog: template 26305 from the resources, the tree-view control
// made at run time, and a user whose clicks and key strokes are queued as the system queues them. What
// counts is what the control shows and what the settings file holds afterwards; and a screenshot of the
// open dialog, for a person to look at.
#include <gtest/gtest.h>
#include <windows.h>
// windows.h first: gdiplus.h relies on its types.
#include <gdiplus.h>

#include <filesystem>
#include <set>

#include "libs/vxcommon/VxCommon.h"
#include "module/ModuleLog.h"
#include "tests/fakes/FakeNewsSvc.h"
#include "tests/settings/SettingsFileTest.h"
#include "tests/win32/DialogDriver.h"
#include "ui/RSSNewsSettingDlg.h"
#include "ui/win32/Win32FrontEnd.h"

namespace win32test {
namespace {

const std::string kOldSettings = SettingsXml("b1,a2,a1");
const Lines kOpened{"- [x] Alpha",        "      [x] alpha one", "      [x] alpha two", "- [~] Beta",
                    "      [x] beta one", "      [ ] beta two",  "+ [ ] Gamma",         "      [ ] gamma one"};
const Lines kBetaChecked{"- [x] Alpha",        "      [x] alpha one", "      [x] alpha two", "- [x] Beta",
                         "      [x] beta one", "      [x] beta two",  "+ [ ] Gamma",         "      [ ] gamma one"};
const Lines kAlphaUnchecked{"- [ ] Alpha",        "      [ ] alpha one", "      [ ] alpha two", "- [x] Beta",
                            "      [x] beta one", "      [x] beta two",  "+ [ ] Gamma",         "      [ ] gamma one"};

// Saves what the display shows in the window's rectangle as a PNG, by the system's own encoder (GDI+).
// Returns how many distinct colours the picture holds; none when it could not be saved.
std::size_t SaveScreenshot(HWND hWnd, const wchar_t* path) {
  static const CLSID kPngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
  RECT rect{};
  GetWindowRect(hWnd, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  const HDC screen = GetDC(nullptr);
  const HDC memory = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  const HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  std::set<COLORREF> colours;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) colours.insert(GetPixel(memory, x, y));
  }
  SelectObject(memory, previous);
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok ||
      Gdiplus::Bitmap(bitmap, nullptr).Save(path, &kPngEncoder, nullptr) != Gdiplus::Ok) {
    colours.clear();
  }
  if (token != 0) Gdiplus::GdiplusShutdown(token);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return colours.size();
}

// The 13-pixel high strip left of an item's label, with its box, as the display shows it: two boxes compare
// by look.
std::vector<COLORREF> BoxPixels(HWND hTree, HTREEITEM hItem) {
  const RECT label = LabelRect(hTree, hItem);
  POINT start{label.left - 20, (label.top + label.bottom) / 2 - 6};
  MapWindowPoints(hTree, nullptr, &start, 1);
  const HDC screen = GetDC(nullptr);
  std::vector<COLORREF> pixels;
  for (int y = start.y; y < start.y + 13; ++y) {
    for (int x = start.x; x < start.x + 20; ++x) pixels.push_back(GetPixel(screen, x, y));
  }
  ReleaseDC(nullptr, screen);
  return pixels;
}

// A copy of this program in `folder`, loaded as data, whose bitmap nBitmapID (under both languages) is four
// bytes that no image can be made of: the dialog's template is there, that bitmap cannot be loaded.
Module ResourcesWithBrokenBitmap(const std::filesystem::path& folder, WORD nBitmapID) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::filesystem::path copy = folder / "resources.exe";
  std::filesystem::copy_file(self, copy);
  const HANDLE hUpdate = BeginUpdateResourceW(copy.c_str(), FALSE);
  char broken[4] = {1, 2, 3, 4};
  for (const WORD language : {1028, 2052}) {
    UpdateResourceW(hUpdate, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(nBitmapID), language, broken, sizeof broken);
  }
  EndUpdateResourceW(hUpdate, FALSE);
  return Module(LoadLibraryExW(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
}

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
  int Show(std::vector<Step> steps, IModalFrontEnd* shownBy = nullptr) {
    dlg.SetSettingFolder(CString(dir.path().string()));
    EXPECT_TRUE(dlg.LoadCategories(&svc));
    const CModalFrontEndScope scope(shownBy != nullptr ? *shownBy : frontEnd);
    return RunWithUser([this] { return vxDoModal(&dlg, 0, 1, 0); }, std::move(steps));
  }

  TempDir dir;
  fakes::FakeNewsSvc svc;
  CRSSNewsSettingDlg dlg;
  vxwin32::CWin32FrontEnd frontEnd;
};

TEST_F(Win32SettingDlgTest, OpensWithTheStoredSelectionAndCancelOrTheCloseBoxSaveNothing) {
  const Step closeBox = [](HWND hDialog) { PostMessageW(hDialog, WM_CLOSE, 0, 0); };
  for (const Step& close : {Press(IDCANCEL), closeBox}) {
    EXPECT_EQ(Show({ExpectTree(kOpened), ClickBox({"Alpha"}), close}), IDCANCEL);
    EXPECT_EQ(ReadBytes(SettingsPath()), kOldSettings);
    EXPECT_EQ(VXRSS::GetRSSNewsDataMgr().GetRSSNewsSels(), "b1,a2,a1");
  }
}

// A label click only moves the caret, which space then toggles: the item, then a partially checked group,
// which becomes checked with all its items. The control's own handling would step a box to its next image
// (a leaf partially checked) on a space or on the second press of a double-click; only the module's
// three-state rules give checked and back, so a double-click on a box ends as it began. A double-click on a
// label expands its group.
TEST_F(Win32SettingDlgTest, LabelClicksSelectAndSpaceBoxClicksAndDoubleClicksToggleUnderTheThreeStateRules) {
  Lines gammaExpanded = kAlphaUnchecked;
  gammaExpanded[6] = "- [ ] Gamma";
  // Each action and the tree it leaves.
  const std::pair<Step, Lines> script[] = {
      {ClickLabel({"Beta", "beta two"}), kOpened},
      {PressSpace(), kBetaChecked},
      {PressSpace(), kOpened},
      {ClickLabel({"Beta"}), kOpened},
      {PressSpace(), kBetaChecked},
      {ClickBox({"Beta", "beta two"}), kOpened},
      {ClickBox({"Beta", "beta two"}), kBetaChecked},
      {ClickBox({"Alpha"}), kAlphaUnchecked},
      {ClickBox({"Alpha", "alpha one"}, 2), kAlphaUnchecked},
      {ClickBox({"Beta", "beta two"}, 2), kAlphaUnchecked},
      {ClickLabel({"Gamma"}, 2), gammaExpanded},
  };
  std::vector<Step> steps;
  for (const auto& [action, tree] : script) steps.insert(steps.end(), {action, ExpectTree(tree)});
  steps.push_back(Press(IDOK));
  EXPECT_EQ(Show(std::move(steps)), IDOK);
  EXPECT_EQ(ReadBytes(SettingsPath()), SettingsXml("b1,b2"));  // byte-exact, in tree order
  EXPECT_EQ(VXRSS::GetRSSNewsDataMgr().GetRSSNewsSels(), "b1,b2");
}

TEST_F(Win32SettingDlgTest, WithoutItsCheckBoxImagesTheDialogIsNotShownLogsWhyAndSavesNothing) {
  // Drawing its own two-state boxes, the tree would lose the stored selection, and OK would save it empty.
  const TempDir copyFolder;
  const Module resources = ResourcesWithBrokenBitmap(copyFolder.path(), 26306);
  ASSERT_NE(resources, nullptr);
  vxwin32::CWin32FrontEnd withoutStateImages(resources.get());
  const TempDir logFolder;
  ASSERT_TRUE(VXRSS::CreateModuleLog(CString(logFolder.path().string())));
  EXPECT_EQ(Show({Press(IDOK)}, &withoutStateImages), IDCANCEL);
  VXRSS::DestroyModuleLog();
  EXPECT_EQ(ReadBytes(SettingsPath()), kOldSettings);
  EXPECT_NE(ReadBytes(logFolder.path() / "VX_vxRSSMgr.log").find("26306"), std::string::npos);
}

// Written to settings_dialog.png in the test's folder: the Chinese caption, the prompt, the two buttons and a
// tree with a checked, a partially checked and an unchecked group. The test checks what a person would check
// by eye: a picture that is not blank and the three distinct box states drawn from bitmap 26306.
TEST_F(Win32SettingDlgTest, ScreenshotShowsTheChineseDialogWithAllThreeCheckStates) {
  std::size_t colours = 0;
  std::set<std::vector<COLORREF>> groupBoxes;
  // The display shows what was painted only once the modal loop has run on for a while, so the boxes are
  // looked at again at each tick until the three groups' are there; then the window is captured.
  const Step capture = [&](HWND hDialog) {
    if (groupBoxes.size() == 3) return;
    SetWindowPos(hDialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);  // over whatever else is shown
    const HWND hTree = TreeOf(hDialog);
    groupBoxes.clear();
    for (HTREEITEM hGroup = TreeView_GetRoot(hTree); hGroup; hGroup = TreeView_GetNextSibling(hTree, hGroup)) {
      groupBoxes.insert(BoxPixels(hTree, hGroup));
    }
    if (groupBoxes.size() == 3) colours = SaveScreenshot(hDialog, L"settings_dialog.png");
  };
  Show(std::vector<Step>(100, capture));

  EXPECT_EQ(groupBoxes.size(), 3u);  // three groups, three looks: checked, partially checked, unchecked
  EXPECT_GT(colours, 4u) << "the picture is blank or was not saved";
}

}  // namespace
}  // namespace win32test
