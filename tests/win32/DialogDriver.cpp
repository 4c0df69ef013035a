#include "tests/win32/DialogDriver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

namespace win32test {

namespace {

constexpr UINT kTreeID = 1340;
constexpr UINT kTickMs = 20;

// The steps being played; the timer procedure has no other way to reach them. One dialog is driven at a
// time, on the test's thread.
struct Player {
  std::vector<Step> steps;
  std::size_t next = 0;
};
Player* g_pPlayer = nullptr;

// The dialog being shown: the visible top-level window of the dialog class (one program at a time shows
// dialogs on the display).
HWND ShownDialog() {
  HWND hWnd = nullptr;
  do {
    hWnd = FindWindowExW(nullptr, hWnd, L"#32770", nullptr);
  } while (hWnd != nullptr && !IsWindowVisible(hWnd));
  return hWnd;
}

void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD) {
  const HWND hDialog = ShownDialog();
  if (g_pPlayer == nullptr || hDialog == nullptr) return;  // not shown yet
  if (g_pPlayer->next < g_pPlayer->steps.size()) {
    g_pPlayer->steps[g_pPlayer->next++](hDialog);
    return;
  }
  PostMessageW(hDialog, WM_COMMAND, IDCANCEL, 0);
}

void QueueClick(HWND hTree, POINT point, int nClicks) {
  const LPARAM at = MAKELPARAM(point.x, point.y);
  // The second press of a double-click arrives as the double-click message, in the press's place.
  for (const UINT press : {UINT{WM_LBUTTONDOWN}, UINT{WM_LBUTTONDBLCLK}}) {
    PostMessageW(hTree, press, MK_LBUTTON, at);
    PostMessageW(hTree, WM_LBUTTONUP, 0, at);
    if (nClicks < 2) return;
  }
}

std::string ItemText(HWND hTree, HTREEITEM hItem) {
  wchar_t buffer[512] = {};
  TVITEMW item{};
  item.mask = TVIF_TEXT;
  item.hItem = hItem;
  item.pszText = buffer;
  item.cchTextMax = 512;
  SendMessageW(hTree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  return Utf8(buffer);
}

// The item whose text is `path`'s last element, under the items named before it.
HTREEITEM FindItem(HWND hDialog, const Path& path) {
  const HWND hTree = TreeOf(hDialog);
  HTREEITEM hFound = nullptr;
  HTREEITEM hItem = TreeView_GetRoot(hTree);
  for (const std::string& name : path) {
    while (hItem != nullptr && ItemText(hTree, hItem) != name) hItem = TreeView_GetNextSibling(hTree, hItem);
    hFound = hItem;
    if (hFound == nullptr) break;
    hItem = TreeView_GetChild(hTree, hFound);
  }
  return hFound;
}

// The point inside the item's check box or label, found the way the control itself sees it; the state icon
// lies left of the label.
POINT HitPoint(HWND hTree, HTREEITEM hItem, bool onBox) {
  const RECT label = LabelRect(hTree, hItem);
  const LONG y = (label.top + label.bottom) / 2;
  if (!onBox) return POINT{(label.left + label.right) / 2, y};
  for (LONG x = label.left; x >= 0; --x) {
    TVHITTESTINFO hit{};
    hit.pt = POINT{x, y};
    if (TreeView_HitTest(hTree, &hit) == hItem && (hit.flags & TVHT_ONITEMSTATEICON) != 0) return hit.pt;
  }
  ADD_FAILURE() << "no check box found";
  return POINT{-1, -1};
}

Step Click(Path path, int nClicks, bool onBox) {
  return [path = std::move(path), nClicks, onBox](HWND hDialog) {
    const HWND hTree = TreeOf(hDialog);
    QueueClick(hTree, HitPoint(hTree, FindItem(hDialog, path), onBox), nClicks);
  };
}

}  // namespace

int RunWithUser(const std::function<int()>& show, std::vector<Step> steps) {
  Player player{std::move(steps)};
  g_pPlayer = &player;
  const UINT_PTR timer = SetTimer(nullptr, 0, kTickMs, &OnTick);
  const int result = show();
  KillTimer(nullptr, timer);
  g_pPlayer = nullptr;
  EXPECT_TRUE(player.next == 0 || player.next == player.steps.size()) << "the dialog closed before its last step";
  return result;
}

HWND TreeOf(HWND hDialog) { return GetDlgItem(hDialog, kTreeID); }

RECT LabelRect(HWND hTree, HTREEITEM hItem) {
  // The message takes the item in the rectangle's place.
  RECT rect{};
  static_assert(sizeof rect >= sizeof hItem, "an item handle fits in a RECT");
  std::memcpy(&rect, &hItem, sizeof hItem);
  SendMessageW(hTree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rect));
  return rect;
}

Lines Snapshot(HWND hDialog) {
  static const char* const kBoxes[] = {"   ", "[ ]", "[~]", "[x]"};  // by state index
  const auto box = [](UINT index) { return std::string(index < 4 ? kBoxes[index] : "[?]"); };
  const HWND hTree = TreeOf(hDialog);
  Lines lines;
  for (HTREEITEM hGroup = TreeView_GetRoot(hTree); hGroup; hGroup = TreeView_GetNextSibling(hTree, hGroup)) {
    const UINT state = TreeView_GetItemState(hTree, hGroup, TVIS_EXPANDED | TVIS_STATEIMAGEMASK);
    lines.push_back(std::string((state & TVIS_EXPANDED) ? "- " : "+ ") + box(state >> 12) + " " +
                    ItemText(hTree, hGroup));
    for (HTREEITEM hItem = TreeView_GetChild(hTree, hGroup); hItem; hItem = TreeView_GetNextSibling(hTree, hItem)) {
      const UINT index = TreeView_GetItemState(hTree, hItem, TVIS_STATEIMAGEMASK) >> 12;
      lines.push_back("      " + box(index) + " " + ItemText(hTree, hItem));
    }
  }
  return lines;
}

Step ClickBox(Path path, int nClicks) { return Click(std::move(path), nClicks, true); }
Step ClickLabel(Path path, int nClicks) { return Click(std::move(path), nClicks, false); }

Step PressSpace() {
  return [](HWND hDialog) {
    const HWND hTree = TreeOf(hDialog);
    SetFocus(hTree);
    const LPARAM scan = MapVirtualKeyW(VK_SPACE, MAPVK_VK_TO_VSC) << 16;
    PostMessageW(hTree, WM_KEYDOWN, VK_SPACE, 1 | scan);
    PostMessageW(hTree, WM_CHAR, L' ', 1 | scan);
    PostMessageW(hTree, WM_KEYUP, VK_SPACE, 1 | scan | (1u << 30) | (1u << 31));
  };
}

Step Press(int nButton) {
  return [nButton](HWND hDialog) { PostMessageW(GetDlgItem(hDialog, nButton), BM_CLICK, 0, 0); };
}

Step ExpectTree(Lines expected) {
  return [expected = std::move(expected)](HWND hDialog) { EXPECT_EQ(Snapshot(hDialog), expected); };
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int length = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &out[0], n, nullptr, nullptr);
  return out;
}

}  // namespace win32test
