// A screenshot of the open settings dialog, written to settings_dialog.png in the test's build folder: the
// Chinese caption, the prompt, the two buttons and a tree with a checked, a partially checked and an
// unchecked group. The test checks that the picture holds what a person would check by eye: the caption
// bar, the tree's white field and the three distinct box states drawn from bitmap 26306.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "libs/vxcommon/VxCommon.h"
#include "port/CodePage.h"
#include "port/Path.h"
#include "settings/RSSNewsData.h"
#include "tests/fakes/FakeNewsSvc.h"
#include "tests/libs/TempDir.h"
#include "tests/win32/DialogDriver.h"
#include "tests/win32/PngFile.h"
#include "ui/RSSNewsSettingDlg.h"
#include "ui/win32/Win32FrontEnd.h"

namespace {

// What the screen shows of the window, as it is on the display.
win32test::RgbImage CaptureWindow(HWND hWnd) {
  RECT rect{};
  GetWindowRect(hWnd, &rect);
  win32test::RgbImage image;
  image.width = rect.right - rect.left;
  image.height = rect.bottom - rect.top;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = image.width;
  info.bmiHeader.biHeight = -image.height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const HDC screen = GetDC(nullptr);
  const HDC memory = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, image.width, image.height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  const auto* bgra = static_cast<const std::uint8_t*>(bits);
  for (int i = 0; i < image.width * image.height; ++i) {
    image.rgb.insert(image.rgb.end(), {bgra[4 * i + 2], bgra[4 * i + 1], bgra[4 * i]});
  }
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return image;
}

std::uint32_t PixelAt(const win32test::RgbImage& image, int x, int y) {
  const std::size_t at = (static_cast<std::size_t>(y) * image.width + x) * 3;
  return (image.rgb[at] << 16) | (image.rgb[at + 1] << 8) | image.rgb[at + 2];
}

// The 13x13 box left of an item's label, as a string of its pixels, so that two boxes compare by look.
std::string BoxPixels(const win32test::RgbImage& image, HWND hDialog, HWND hTree, HTREEITEM hItem) {
  RECT label{};
  static_assert(sizeof label >= sizeof hItem, "an item handle fits in a RECT");
  std::memcpy(&label, &hItem, sizeof hItem);
  SendMessageW(hTree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&label));
  POINT origin{0, 0};
  MapWindowPoints(hTree, nullptr, &origin, 1);
  RECT window{};
  GetWindowRect(hDialog, &window);
  const int top = origin.y - window.top + (label.top + label.bottom) / 2 - 6;
  const int right = origin.x - window.left + label.left;
  std::string pixels;
  for (int y = top; y < top + 13; ++y) {
    for (int x = right - 20; x < right; ++x) pixels += std::to_string(PixelAt(image, x, y)) + ",";
  }
  return pixels;
}

CString Big5(const char* utf8) { return port::Big5FromUtf8(utf8); }

TEST(SettingDialogScreenshot, ShowsTheChineseDialogWithAllThreeCheckStates) {
  TempDir dir;
  std::ofstream(port::JoinPath(CString(dir.path().string()), CRSSNewsDataMgr::kFileName).str(), std::ios::binary)
      << "<?xml version='1.0' encoding='big5' ?>\n<RSSNews RSSNewsItems=\"tw1,tw2,in1\" />";
  fakes::FakeNewsSvc svc;
  svc.AddCategory(Big5("台灣財經"), {{"tw1", Big5("台股盤勢")}, {"tw2", Big5("產業動態")}});
  svc.AddCategory(Big5("國際新聞"), {{"in1", Big5("美國股市")}, {"in2", Big5("歐洲股市")}});
  svc.AddCategory(Big5("科技新知"), {{"te1", Big5("半導體")}});
  CRSSNewsSettingDlg dlg;
  vxwin32::CWin32FrontEnd frontEnd;
  dlg.SetSettingFolder(CString(dir.path().string()));
  ASSERT_TRUE(dlg.LoadCategories(&svc));
  const CModalFrontEndScope scope(frontEnd);

  win32test::RgbImage shot;
  std::set<std::string> groupBoxes;
  // Raised and repainted first. The display shows what was painted only once the modal loop has run on for
  // a while, so the capture is taken again at each tick until the three groups' boxes are on it.
  const auto raise = [](HWND hDialog) {
    SetWindowPos(hDialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(hDialog);
    RedrawWindow(hDialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  };
  bool captured = false;
  const auto capture = [&](HWND hDialog) {
    if (captured) return;
    const HWND hTree = win32test::TreeOf(hDialog);
    shot = CaptureWindow(hDialog);
    groupBoxes.clear();
    for (HTREEITEM hGroup = TreeView_GetRoot(hTree); hGroup; hGroup = TreeView_GetNextSibling(hTree, hGroup)) {
      groupBoxes.insert(BoxPixels(shot, hDialog, hTree, hGroup));
    }
    captured = groupBoxes.size() == 3;
    if (captured) win32test::ClickButton(hDialog, IDCANCEL);
  };
  std::vector<win32test::Step> steps{raise};
  steps.insert(steps.end(), 100, capture);
  win32test::RunWithUser([&] { return vxDoModal(&dlg, 0, 1, 0); }, std::move(steps));

  ASSERT_GT(shot.width, 0);
  EXPECT_TRUE(win32test::WritePng("settings_dialog.png", shot));
  // Three groups, three different looks: checked, partially checked, unchecked.
  EXPECT_EQ(groupBoxes.size(), 3u);
  std::set<std::uint32_t> colours;
  for (int y = 0; y < shot.height; y += 2) {
    for (int x = 0; x < shot.width; x += 2) colours.insert(PixelAt(shot, x, y));
  }
  EXPECT_GT(colours.size(), 4u) << "the capture is blank";
}

}  // namespace
