// CWin32FrontEnd: runs the module's dialogs as real Windows dialogs. A dialog comes from its template in
// the resources of the module that holds this code (vxRSS.dll, or a program linking the module), the
// dialog manager calls the dialog's OnInitDialog, OnOK and OnCancel, and the check-box tree is a
// tree-view control made at run time with the module's own state images.
#pragma once

#include <windows.h>

#include <memory>

#include "libs/vxcommon/VxCommon.h"
#include "ui/win32/ImageList.h"
#include "ui/win32/Win32TreeView.h"

namespace vxwin32 {

class CWin32FrontEnd final : public IModalFrontEnd {
 public:
  // The templates and bitmaps are found in the module holding this code, or in hResources.
  CWin32FrontEnd();
  explicit CWin32FrontEnd(HINSTANCE hResources) : m_hResources(hResources) {}
  ~CWin32FrontEnd() = default;
  CWin32FrontEnd(const CWin32FrontEnd&) = delete;
  CWin32FrontEnd& operator=(const CWin32FrontEnd&) = delete;

  // Runs dlg with the system's modal loop, owned by the top-level window of the dialog's parent window, or
  // when it has none, of the active window: the owner is disabled while the dialog is open. A dialog that cannot be
  // shown (no template, or no check-box images: it is logged) counts as cancelled: the user confirmed nothing.
  int RunModal(CDialog& dlg) override;
  bool CreateTreeControl(CCheckTreeCtrl& ctrl, DWORD dwStyle, const RECT& rect, CDialog& parent, UINT nID) override;
  void BringToFront(CDialog& dlg) override;

  // The image lists given to trees: the four check states of bitmap 26306, the two folders of bitmap
  // 26307. Null until the first showing; they are kept for later showings.
  HIMAGELIST GetStateImages() const { return m_ilState.GetSafeHandle(); }
  HIMAGELIST GetFolderImages() const { return m_ilFolder.GetSafeHandle(); }

 private:
  // One dialog on the screen: its window and the tree made for it. A dialog shown from another's modal loop
  // holds the showing it interrupted.
  struct Showing {
    Showing(CWin32FrontEnd& owner, CDialog& shown, Showing* interrupted)
        : frontEnd(owner), dlg(shown), outer(interrupted) {}
    CWin32FrontEnd& frontEnd;
    CDialog& dlg;
    Showing* const outer;
    HWND hWnd = nullptr;
    std::unique_ptr<CWin32TreeView> tree;
    CCheckTreeCtrl* pTreeCtrl = nullptr;
  };

  static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(Showing& showing, UINT message, WPARAM wParam, LPARAM lParam);
  void EndIfDone(const Showing& showing) const;
  void ReleaseTree(Showing& showing) const;
  bool LoadImageLists();

  HINSTANCE m_hResources;
  Showing* m_pShowing = nullptr;
  CImageList m_ilState;
  CImageList m_ilFolder;
};

// The front end the vxRSS library shows its dialogs with; made on first use.
CWin32FrontEnd& Win32FrontEnd();

}  // namespace vxwin32
