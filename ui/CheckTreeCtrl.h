// CCheckTreeCtrl: a tree whose items carry three-state check boxes. A toggle passes the new state down to
// all descendants with a box, and each ancestor becomes checked or unchecked when all its children with a
// box agree, partially checked when they do not.
//
// The control is the message handler of a tree window (ITreeView): the platform's tree calls its four
// handlers, and it works the tree only through ITreeView, so the same logic runs over the Windows tree-view
// and over CMemoryTree.
#pragma once

#include "libs/vxcommon/WinTypes.h"
#include "ui/TreeView.h"

class CDialog;

class CCheckTreeCtrl : public ITreeMessageHandler {
 public:
  // An item's check state is its state-image index.
  enum CheckState : UINT { kNoBox = 0, kUnchecked = 1, kPartiallyChecked = 2, kChecked = 3 };

  CCheckTreeCtrl() = default;
  ~CCheckTreeCtrl() { Detach(); }
  CCheckTreeCtrl(const CCheckTreeCtrl&) = delete;
  CCheckTreeCtrl& operator=(const CCheckTreeCtrl&) = delete;

  // Creates the tree window through the front end that shows pParentWnd; false when there is none.
  BOOL Create(DWORD dwStyle, const RECT& rect, CDialog* pParentWnd, UINT nID);
  // Binds the control to a tree window and becomes its message handler; Detach lets go of it again.
  void Attach(ITreeView& tree);
  void Detach();
  bool HasWindow() const { return m_pTree != nullptr; }
  // The tree window; only while HasWindow().
  ITreeView& Tree() { return *m_pTree; }
  const ITreeView& Tree() const { return *m_pTree; }

  // Sets the state bits of hItem. When the state-image index is not 0 the new index is passed down to the
  // descendants (only when bSearch is non-zero) and the ancestors are recomputed (always). Returns the
  // tree's result for hItem itself.
  int SetItemState(HTREEITEM hItem, UINT nState, UINT nStateMask, BOOL bSearch);

  // ITreeMessageHandler.
  void OnLButtonDown(UINT nFlags, POINT point) override;
  void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags) override;
  LRESULT OnClick() override;
  LRESULT OnKeyDownNotify() override;

 private:
  void Toggle(HTREEITEM hItem);
  void PropagateToChildren(HTREEITEM hItem, UINT nIndex);
  void PropagateToParents(HTREEITEM hItem, UINT nIndex);
  // The first sibling of hItem, walking with step, whose index is neither nIndex nor kNoBox; null if none.
  HTREEITEM FindDifferingSibling(HTREEITEM hItem, UINT nIndex, HTREEITEM (ITreeView::*step)(HTREEITEM) const) const;

  ITreeView* m_pTree = nullptr;
  // Hit-test flags of the last left-button press, read by the click notification that follows it.
  UINT m_uHitFlags = 0;
};
