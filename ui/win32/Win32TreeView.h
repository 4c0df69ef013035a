// CWin32TreeView: the Windows tree-view common control behind ITreeView. It creates the control, subclasses
// it so that left-button presses (a double-click on a check box included) and key presses go to the message
// handler (the check-box logic) before the control's own processing, and takes the control's click and
// key-down notifications from the parent dialog, as MFC reflects them to the control. Item texts cross as
// Big5.
#pragma once

#include <windows.h>
// windows.h first: commctrl.h relies on its types.
#include <commctrl.h>

#include "ui/TreeView.h"

namespace vxwin32 {

class CWin32TreeView final : public ITreeView {
 public:
  // Creates the control as child nID of hParent at rect (client pixels); IsValid() is false when that fails.
  CWin32TreeView(HWND hParent, DWORD dwStyle, const RECT& rect, UINT nID);
  // Lets go of the control: its original window procedure is put back and the check-box images it made
  // for itself are freed.
  ~CWin32TreeView();
  CWin32TreeView(const CWin32TreeView&) = delete;
  CWin32TreeView& operator=(const CWin32TreeView&) = delete;

  bool IsValid() const { return m_hWnd != nullptr; }
  HWND GetSafeHwnd() const { return m_hWnd; }

  // Replaces the control's state images (its own two-state check boxes) by `images`, which stay the
  // caller's: the control never destroys them.
  void SetStateImageList(HIMAGELIST images);

  // A notification the control sent to its parent: NM_CLICK and TVN_KEYDOWN go to the message handler,
  // whose answer is the notification's result. False for any other notification.
  bool ReflectNotify(const NMHDR& header, LRESULT& result);

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

 private:
  static LRESULT CALLBACK SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  bool IsOnStateIcon(POINT point) const;
  HTREEITEM GetNextItem(HTREEITEM hItem, UINT nCode) const;
  void ReleaseStateImages();
  void Unsubclass();

  HWND m_hWnd = nullptr;
  WNDPROC m_pOriginalProc = nullptr;
  HIMAGELIST m_hOwnStateImages = nullptr;  // the check-box images the control made for itself
  ITreeMessageHandler* m_pHandler = nullptr;
};

}  // namespace vxwin32
