// ITreeView: the tree control as the check-box logic and the settings dialog use it. The Windows build
// implements it over the common tree-view control; CMemoryTree implements it in memory for tests and for
// front ends without a native tree.
//
// ITreeMessageHandler: the control object behind a tree window. The window hands it the mouse and key
// messages first and reflects its own click and key-down notifications back to it, as a subclassed
// tree-view does; the handler passes what it does not consume on to ITreeView::DefaultProcessing.
#pragma once

#include "libs/vxcommon/WinTypes.h"
#include "port/CString.h"

// A mouse or key message on its way to the tree's own processing.
struct TreeMessage {
  UINT message = 0;   // WM_LBUTTONDOWN or WM_KEYDOWN
  UINT nFlags = 0;    // mouse: the key-state flags; key: the key flags
  POINT point{0, 0};  // mouse: where, in client coordinates
  UINT nChar = 0;     // key: the virtual key
  UINT nRepCnt = 0;   // key: the repeat count
};

class ITreeMessageHandler {
 public:
  virtual void OnLButtonDown(UINT nFlags, POINT point) = 0;
  virtual void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags) = 0;
  // The click notification; non-zero keeps the tree from toggling a check box on its own.
  virtual LRESULT OnClick() = 0;
  // The key-down notification; non-zero keeps the key out of the tree's incremental search.
  virtual LRESULT OnKeyDownNotify() = 0;

 protected:
  ~ITreeMessageHandler() = default;
};

class ITreeView {
 public:
  // Navigation. Every operation answers null for a null item; top-level items have no parent.
  virtual HTREEITEM GetRootItem() const = 0;  // the first top-level item
  virtual HTREEITEM GetParentItem(HTREEITEM hItem) const = 0;
  virtual HTREEITEM GetChildItem(HTREEITEM hItem) const = 0;
  virtual HTREEITEM GetNextSiblingItem(HTREEITEM hItem) const = 0;
  virtual HTREEITEM GetPrevSiblingItem(HTREEITEM hItem) const = 0;
  virtual BOOL ItemHasChildren(HTREEITEM hItem) const = 0;

  // The item's state bits under nStateMask, read and written without any notification.
  virtual UINT GetItemState(HTREEITEM hItem, UINT nStateMask) const = 0;
  virtual BOOL SetItemState(HTREEITEM hItem, UINT nState, UINT nStateMask) = 0;

  // The item at a point in client coordinates (null when none) and where on it the point lies (TVHT_...).
  virtual HTREEITEM HitTest(POINT point, UINT* pFlags) const = 0;
  // The caret item; selecting null clears the selection.
  virtual HTREEITEM GetSelectedItem() const = 0;
  virtual BOOL SelectItem(HTREEITEM hItem) = 0;
  // Hands a message to the tree's own processing.
  virtual void DefaultProcessing(const TreeMessage& message) = 0;
  // Who receives the tree's messages and reflected notifications; null: nobody, the tree acts alone.
  virtual void SetMessageHandler(ITreeMessageHandler* pHandler) = 0;

  // Adds an item with text at the end of hParent's children (null hParent: of the top level).
  virtual HTREEITEM InsertItem(const CString& text, HTREEITEM hParent) = 0;
  virtual CString GetItemText(HTREEITEM hItem) const = 0;
  virtual BOOL Expand(HTREEITEM hItem, UINT nCode) = 0;  // TVE_EXPAND or TVE_COLLAPSE
  virtual BOOL EnsureVisible(HTREEITEM hItem) = 0;

  // The check state: the state-image index in bits 12 to 15 of the item's state.
  UINT GetStateIndex(HTREEITEM hItem) const { return GetItemState(hItem, TVIS_STATEIMAGEMASK) >> 12; }
  BOOL SetStateIndex(HTREEITEM hItem, UINT nIndex) {
    return SetItemState(hItem, INDEXTOSTATEIMAGEMASK(nIndex), TVIS_STATEIMAGEMASK);
  }

 protected:
  ~ITreeView() = default;
};
