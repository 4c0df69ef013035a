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
#include <string>
#include <vector>

namespace win32test {

using Step = std::function<void(HWND hDialog)>;

// Runs `show` (which must run the dialog modally) while the steps play, one per tick, once the dialog's
// window exists. A dialog still open after the last step is cancelled, so a failing step cannot hang the
// test. Returns what `show` returned.
int RunWithUser(const std::function<int()>& show, std::vector<Step> steps);

// The dialog's tree (control 1340).
HWND TreeOf(HWND hDialog);

// The tree as lines: a top-level item is "+ " (collapsed) or "- " (expanded), its check box and its text;
// a child is indented by six blanks. Boxes: "[ ]" unchecked, "[~]" partially checked, "[x]" checked, "   "
// none. Texts are UTF-8.
std::vector<std::string> Snapshot(HWND hTree);

// The item's label, in the tree's client coordinates.
RECT LabelRect(HWND hTree, HTREEITEM hItem);

// The item whose text (UTF-8) is `path`'s last element, under the items named before it.
HTREEITEM FindItem(HWND hTree, const std::vector<std::string>& path);

// Queue a left click (press and release; with nClicks 2, a double-click) on the item's check box or label.
void ClickStateIcon(HWND hTree, HTREEITEM hItem, int nClicks = 1);
void ClickLabel(HWND hTree, HTREEITEM hItem, int nClicks = 1);
// Queue a key stroke as the keyboard sends it to the focused tree: key down, character, key up.
void PressSpace(HWND hTree);
// Queue a click on a dialog button.
void ClickButton(HWND hDialog, int nID);

std::string Utf8(const std::wstring& text);

}  // namespace win32test
