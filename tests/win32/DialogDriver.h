// DialogDriver: plays a user at a real Windows dialog. The dialog runs in the system's modal loop; the
// driver's steps run one per timer tick inside that loop, so whatever a step posts (mouse and key
// messages, as the system would queue them) is handled the real way before the next step looks.
//
// Tree helpers read the tree-view control with its own messages, independently of the code under test.
#pragma once

#include <windows.h>
// windows.h first: commctrl.h relies on its types.
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace win32test {

using Step = std::function<void(HWND hDialog)>;
using Lines = std::vector<std::string>;
using Path = std::vector<std::string>;  // an item's text (UTF-8) under the items named before it

// Runs `show` (which must run the dialog modally) while the steps play, one per tick, once the dialog's
// window exists. A dialog still open after the last step is cancelled, so a failing step cannot hang the
// test; a dialog shown but closed before its last step fails the test. Returns what `show` returned.
int RunWithUser(const std::function<int()>& show, std::vector<Step> steps);

// The dialog's tree (control 1340).
HWND TreeOf(HWND hDialog);
// The dialog's tree as lines: a top-level item is "+ " (collapsed) or "- " (expanded), its check box and its
// text; a child is indented by six blanks. Boxes: "[ ]" unchecked, "[~]" partially checked, "[x]" checked,
// "   " none. Texts are UTF-8.
Lines Snapshot(HWND hDialog);
// The item's label, in the tree's client coordinates.
RECT LabelRect(HWND hTree, HTREEITEM hItem);

// Steps. A left click (press and release; with nClicks 2, a double-click) on an item's check box or label.
Step ClickBox(Path path, int nClicks = 1);
Step ClickLabel(Path path, int nClicks = 1);
// A key stroke of the space bar as the keyboard sends it to the focused tree: key down, character, key up.
Step PressSpace();
Step Press(int nButton);
// Fails the test unless the tree shows `expected` at this point.
Step ExpectTree(Lines expected);

std::string Utf8(const std::wstring& text);

// A loaded module (a DLL, or a program as data), freed when it goes.
struct ModuleFree {
  void operator()(HMODULE hModule) const { FreeLibrary(hModule); }
};
using Module = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFree>;

}  // namespace win32test
