// DialogDriver: plays a user at a real Windows dialog. The dialog runs in the system's modal loop; the
// driver's steps run one per timer tick inside that loop, so whatever a step posts (mouse and key
// messages, as the system would queue them) is handled the real way before the next step looks.
//
// Tree helpers read the tree-view control with its own messages, independently of the code under test.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
// windows.h first: commctrl.h relies on its types.
#include <commctrl.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace win32test {

using Step = std::function<void(HWND hDialog)>;
using Lines = std::vector<std::string>;
using Path = std::vector<std::string>;  // an item's text (UTF-8) under the items named before it

// A loaded module (a DLL, or a program as data), freed when it goes.
struct ModuleFree {
  void operator()(HMODULE hModule) const { FreeLibrary(hModule); }
};
using Module = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFree>;

namespace detail {

// The steps being played; the timer procedure has no other way to reach them. One dialog is driven at a
// time, on the test's thread.
struct Player {
  std::vector<Step> steps;
  std::size_t next = 0;
};
inline Player* g_pPlayer = nullptr;

// The dialog being shown: the visible top-level window of the dialog class (one program at a time shows
// dialogs on the display).
inline HWND ShownDialog() {
  HWND hWnd = nullptr;
  do {
    hWnd = FindWindowExW(nullptr, hWnd, L"#32770", nullptr);
  } while (hWnd != nullptr && !IsWindowVisible(hWnd));
  return hWnd;
}

// A dialog still open after the last step is cancelled, so a failing step cannot hang the test.
inline void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD) {
  const HWND hDialog = ShownDialog();
  if (g_pPlayer == nullptr || hDialog == nullptr) return;  // not shown yet
  if (g_pPlayer->next < g_pPlayer->steps.size()) {
    g_pPlayer->steps[g_pPlayer->next++](hDialog);
    return;
  }
  PostMessageW(hDialog, WM_COMMAND, IDCANCEL, 0);
}

}  // namespace detail

// Runs `show` (which must run the dialog modally) while the steps play, one per tick, once the dialog's
// window exists. A dialog shown but closed before its last step fails the test. Returns what `show` returned.
inline int RunWithUser(const std::function<int()>& show, std::vector<Step> steps) {
  detail::Player player{std::move(steps)};
  detail::g_pPlayer = &player;
  const UINT_PTR timer = SetTimer(nullptr, 0, 20, &detail::OnTick);
  const int result = show();
  KillTimer(nullptr, timer);
  detail::g_pPlayer = nullptr;
  EXPECT_TRUE(player.next == 0 || player.next == player.steps.size()) << "the dialog closed before its last step";
  return result;
}

inline HWND TreeOf(HWND hDialog) { return GetDlgItem(hDialog, 1340); }

// The item's text, in UTF-8.
inline std::string ItemText(HWND hTree, HTREEITEM hItem) {
  wchar_t text[512] = {};
  TVITEMW item{};
  item.mask = TVIF_TEXT;
  item.hItem = hItem;
  item.pszText = text;
  item.cchTextMax = 512;
  SendMessageW(hTree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  char utf8[2048] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
  return utf8;
}

// The item's label, in the tree's client coordinates.
inline RECT LabelRect(HWND hTree, HTREEITEM hItem) {
  // The message takes the item in the rectangle's place.
  RECT rect{};
  static_assert(sizeof rect >= sizeof hItem, "an item handle fits in a RECT");
  std::memcpy(&rect, &hItem, sizeof hItem);
  SendMessageW(hTree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rect));
  return rect;
}

// The dialog's tree as lines: a top-level item is "+ " (collapsed) or "- " (expanded), its check box and its
// text; a child is indented by six blanks. Boxes: "[ ]" unchecked, "[~]" partially checked, "[x]" checked,
// "   " none.
inline Lines Snapshot(HWND hDialog) {
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

// The item whose text is `path`'s last element, under the items named before it.
inline HTREEITEM FindItem(HWND hTree, const Path& path) {
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
inline POINT HitPoint(HWND hTree, HTREEITEM hItem, bool onBox) {
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

// Steps. A left click (press and release; with nClicks 2, a double-click) on an item's check box or label.
inline Step Click(Path path, bool onBox, int nClicks = 1) {
  return [path = std::move(path), onBox, nClicks](HWND hDialog) {
    const HWND hTree = TreeOf(hDialog);
    const POINT point = HitPoint(hTree, FindItem(hTree, path), onBox);
    // The second press of a double-click arrives as the double-click message, in the press's place.
    for (const UINT press : {UINT{WM_LBUTTONDOWN}, UINT{WM_LBUTTONDBLCLK}}) {
      PostMessageW(hTree, press, MK_LBUTTON, MAKELPARAM(point.x, point.y));
      PostMessageW(hTree, WM_LBUTTONUP, 0, MAKELPARAM(point.x, point.y));
      if (nClicks < 2) return;
    }
  };
}
inline Step ClickBox(Path path, int nClicks = 1) { return Click(std::move(path), true, nClicks); }
inline Step ClickLabel(Path path, int nClicks = 1) { return Click(std::move(path), false, nClicks); }

// A key stroke of the space bar as the keyboard sends it to the focused tree: key down, character, key up.
inline Step PressSpace() {
  return [](HWND hDialog) {
    const HWND hTree = TreeOf(hDialog);
    SetFocus(hTree);
    const LPARAM scan = MapVirtualKeyW(VK_SPACE, MAPVK_VK_TO_VSC) << 16;
    PostMessageW(hTree, WM_KEYDOWN, VK_SPACE, 1 | scan);
    PostMessageW(hTree, WM_CHAR, L' ', 1 | scan);
    PostMessageW(hTree, WM_KEYUP, VK_SPACE, 1 | scan | (1u << 30) | (1u << 31));
  };
}

inline Step Press(int nButton) {
  return [nButton](HWND hDialog) { PostMessageW(GetDlgItem(hDialog, nButton), BM_CLICK, 0, 0); };
}

// Fails the test unless the tree shows `expected` at this point.
inline Step ExpectTree(Lines expected) {
  return [expected = std::move(expected)](HWND hDialog) { EXPECT_EQ(Snapshot(hDialog), expected); };
}

}  // namespace win32test
