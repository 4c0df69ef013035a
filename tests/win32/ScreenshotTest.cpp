// A screenshot of the open settings dialog, written to settings_dialog.png in the test's build folder: the
// Chinese caption, the prompt, the two buttons and a tree with a checked, a partially checked and an
// unchecked group. The test checks that the picture holds what a person would check by eye: a picture that
// is not blank and the three distinct box states drawn from bitmap 26306.
#include <gtest/gtest.h>
#include <windows.h>
// windows.h first: gdiplus.h relies on its types.
#include <gdiplus.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "libs/vxcommon/VxCommon.h"
#include "port/CodePage.h"
#include "tests/fakes/FakeNewsSvc.h"
#include "tests/settings/SettingsFileTest.h"
#include "tests/win32/DialogDriver.h"
#include "ui/RSSNewsSettingDlg.h"
#include "ui/win32/Win32FrontEnd.h"

namespace {

// What the display shows in a window's rectangle.
struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // 0x??RRGGBB, rows top to bottom

  std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF; }
};

Screenshot CaptureWindow(HWND hWnd) {
  RECT rect{};
  GetWindowRect(hWnd, &rect);
  Screenshot shot;
  shot.width = rect.right - rect.left;
  shot.height = rect.bottom - rect.top;
  shot.pixels.resize(static_cast<std::size_t>(shot.width) * shot.height);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = shot.width;
  info.bmiHeader.biHeight = -shot.height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  const HDC screen = GetDC(nullptr);
  const HDC memory = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, shot.width, shot.height);
  const HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, shot.width, shot.height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, previous);
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(shot.height), shot.pixels.data(), &info, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return shot;
}

// Encoded by the system's own PNG encoder (GDI+).
bool SavePng(const Screenshot& shot, const wchar_t* path) {
  static const CLSID kPngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
  bool saved = false;
  {
    std::vector<std::uint32_t> pixels = shot.pixels;  // the bitmap wants them writable
    Gdiplus::Bitmap image(shot.width, shot.height, shot.width * 4, PixelFormat32bppRGB,
                          reinterpret_cast<BYTE*>(pixels.data()));
    saved = image.Save(path, &kPngEncoder, nullptr) == Gdiplus::Ok;
  }
  Gdiplus::GdiplusShutdown(token);
  return saved;
}

// The 13x13 box left of an item's label, as its pixels, so that two boxes compare by look.
std::vector<std::uint32_t> BoxPixels(const Screenshot& shot, HWND hDialog, HWND hTree, HTREEITEM hItem) {
  const RECT label = win32test::LabelRect(hTree, hItem);
  POINT labelStart{label.left, (label.top + label.bottom) / 2};
  MapWindowPoints(hTree, nullptr, &labelStart, 1);
  RECT window{};
  GetWindowRect(hDialog, &window);
  const int top = labelStart.y - window.top - 6;
  const int right = labelStart.x - window.left;
  std::vector<std::uint32_t> pixels;
  for (int y = top; y < top + 13; ++y) {
    for (int x = right - 20; x < right; ++x) pixels.push_back(shot.At(x, y));
  }
  return pixels;
}

CString Big5(const char* utf8) { return port::Big5FromUtf8(utf8); }

TEST(SettingDialogScreenshot, ShowsTheChineseDialogWithAllThreeCheckStates) {
  StoreInTempDir settings;
  WriteBytes(settings.SettingsPath(), SettingsXml("tw1,tw2,in1"));
  fakes::FakeNewsSvc svc;
  svc.AddCategory(Big5("台灣財經"), {{"tw1", Big5("台股盤勢")}, {"tw2", Big5("產業動態")}});
  svc.AddCategory(Big5("國際新聞"), {{"in1", Big5("美國股市")}, {"in2", Big5("歐洲股市")}});
  svc.AddCategory(Big5("科技新知"), {{"te1", Big5("半導體")}});
  CRSSNewsSettingDlg dlg;
  vxwin32::CWin32FrontEnd frontEnd;
  dlg.SetSettingFolder(CString(settings.Folder().string()));
  ASSERT_TRUE(dlg.LoadCategories(&svc));
  const CModalFrontEndScope scope(frontEnd);

  Screenshot shot;
  std::set<std::vector<std::uint32_t>> groupBoxes;
  // Raised and repainted first. The display shows what was painted only once the modal loop has run on for
  // a while, so the capture is taken again at each tick until the three groups' boxes are on it.
  const auto raise = [](HWND hDialog) {
    SetWindowPos(hDialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(hDialog);
    RedrawWindow(hDialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  };
  const auto capture = [&](HWND hDialog) {
    if (groupBoxes.size() == 3) return;
    const HWND hTree = win32test::TreeOf(hDialog);
    shot = CaptureWindow(hDialog);
    groupBoxes.clear();
    for (HTREEITEM hGroup = TreeView_GetRoot(hTree); hGroup; hGroup = TreeView_GetNextSibling(hTree, hGroup)) {
      groupBoxes.insert(BoxPixels(shot, hDialog, hTree, hGroup));
    }
    if (groupBoxes.size() == 3) win32test::ClickButton(hDialog, IDCANCEL);
  };
  std::vector<win32test::Step> steps{raise};
  steps.insert(steps.end(), 100, capture);
  win32test::RunWithUser([&] { return vxDoModal(&dlg, 0, 1, 0); }, std::move(steps));

  ASSERT_GT(shot.width, 0);
  EXPECT_TRUE(SavePng(shot, L"settings_dialog.png"));
  EXPECT_EQ(groupBoxes.size(), 3u);  // three groups, three looks: checked, partially checked, unchecked
  const std::set<std::uint32_t> colours(shot.pixels.begin(), shot.pixels.end());
  EXPECT_GT(colours.size(), 4u) << "the capture is blank";
}

}  // namespace
