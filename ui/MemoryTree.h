// CMemoryTree: a tree control held in memory. It keeps items with text, state bits and children, lays the
// expanded items out one per row in character cells, and behaves like the platform's tree-view with check
// boxes where the check-box logic relies on it: it sends its mouse and key input to its message handler
// first, reflects its click and key-down notifications, and in its own processing moves the caret, expands
// and collapses, and toggles check boxes the simple way the native control does (to the next state image).
//
// Row layout of an item at depth d (top level 0), in cells from the left:
//   [0, 4d) indent | [4d, 4d+2) expand button | [4d+2, 4d+6) state icon, when the index is not 0 | label
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "port/CString.h"
#include "ui/TreeView.h"

class CMemoryTree final : public ITreeView {
 public:
  static constexpr LONG kRowHeight = 1;
  static constexpr LONG kIndent = 4;
  static constexpr LONG kButtonWidth = 2;
  static constexpr LONG kStateIconWidth = 4;

  CMemoryTree();
  ~CMemoryTree();
  CMemoryTree(const CMemoryTree&) = delete;
  CMemoryTree& operator=(const CMemoryTree&) = delete;

  // ITreeView.
  HTREEITEM GetRootItem() const override;
  HTREEITEM GetParentItem(HTREEITEM hItem) const override;
  HTREEITEM GetChildItem(HTREEITEM hItem) const override;
  HTREEITEM GetNextSiblingItem(HTREEITEM hItem) const override;
  HTREEITEM GetPrevSiblingItem(HTREEITEM hItem) const override;
  BOOL ItemHasChildren(HTREEITEM hItem) const override;
  UINT GetItemState(HTREEITEM hItem, UINT nStateMask) const override;
  BOOL SetItemState(HTREEITEM hItem, UINT nState, UINT nStateMask) override;
  HTREEITEM HitTest(POINT point, UINT* pFlags) const override;
  HTREEITEM GetSelectedItem() const override;
  BOOL SelectItem(HTREEITEM hItem) override;
  void DefaultProcessing(const TreeMessage& message) override;
  void SetMessageHandler(ITreeMessageHandler* pHandler) override { m_pHandler = pHandler; }
  HTREEITEM InsertItem(const CString& text, HTREEITEM hParent) override;
  CString GetItemText(HTREEITEM hItem) const override;
  BOOL Expand(HTREEITEM hItem, UINT nCode) override;
  BOOL EnsureVisible(HTREEITEM hItem) override;

  // User input, as the window receives it: to the message handler, or straight to the tree's own
  // processing when there is none.
  void LButtonDown(POINT point);
  void KeyDown(UINT nChar);

  // The item reached by following texts from the top level down; null when there is none.
  HTREEITEM FindItem(const std::vector<CString>& path) const;
  // Points on an item's state icon and on its label, and a point below the last row.
  POINT StateIconPoint(HTREEITEM hItem) const;
  POINT LabelPoint(HTREEITEM hItem) const;
  POINT PointBelowRows() const;

  // The visible rows, drawn in the layout above: "+ " collapsed, "- " expanded; "[ ]", "[~]", "[x]" for the
  // state indexes 1, 2 and 3.
  std::vector<std::string> Render() const;
  // Every message that reached the tree's own processing, in order.
  const std::vector<TreeMessage>& DefaultProcessed() const { return m_defaultProcessed; }

 private:
  struct Node;

  static Node* ToNode(HTREEITEM hItem);
  static HTREEITEM ToHandle(const Node* node);
  std::vector<const Node*> VisibleRows() const;
  int RowOf(const Node* node) const;
  static LONG LabelLeft(const Node& node);
  void ToggleOwnCheckBox(HTREEITEM hItem);
  void MoveCaret(int nRows);
  void ProcessOwnKey(UINT nChar);
  void ProcessOwnClick(POINT point);

  std::unique_ptr<Node> m_root;  // the invisible parent of the top-level items
  const Node* m_caret = nullptr;
  ITreeMessageHandler* m_pHandler = nullptr;
  std::vector<TreeMessage> m_defaultProcessed;
};
