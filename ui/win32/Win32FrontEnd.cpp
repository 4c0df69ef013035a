#include "ui/win32/Win32FrontEnd.h"

#include "libs/vxcommon/Wnd.h"
#include "module/ModuleLog.h"
#include "ui/CheckTreeCtrl.h"
#include "ui/res/resource.h"

namespace vxwin32 {

namespace {

// The module (DLL or program) this code is linked into, whose resources hold the dialog templates.
HINSTANCE ModuleOfThisCode() {
  HMODULE hModule = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ModuleOfThisCode), &hModule);
  return hModule;
}

constexpr int kStateImageWidth = 13;
constexpr int kFolderImageWidth = 16;
constexpr COLORREF kTransparent = RGB(255, 255, 255);
constexpr int kLogLevel = 0x100;

// The window that owns a dialog: only a top-level window can, so a child window the host names (a view)
// stands for the frame it sits in.
HWND OwnerOf(const CDialog& dlg) {
  const CWnd* const parent = dlg.GetParentWnd();
  HWND hWnd = parent != nullptr ? parent->GetSafeHwnd() : nullptr;
  if (hWnd == nullptr) hWnd = GetActiveWindow();
  return GetAncestor(hWnd, GA_ROOT);  // null for none
}

}  // namespace

CWin32FrontEnd::CWin32FrontEnd() : m_hResources(ModuleOfThisCode()) {}

int CWin32FrontEnd::RunModal(CDialog& dlg) {
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_TREEVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  // Without the check-state images the tree would draw its own two-state boxes and drop every stored state,
  // so OK would save an empty selection: the dialog is not shown at all.
  if (!LoadImageLists()) {
    VXRSS::WriteModuleLog(kLogLevel, "Settings dialog not shown: the check-box images (bitmap 26306) cannot be loaded");
    return IDCANCEL;
  }
  Showing showing(*this, dlg, m_pShowing);
  m_pShowing = &showing;
  const INT_PTR result = DialogBoxParamW(m_hResources, MAKEINTRESOURCEW(dlg.GetTemplateID()), OwnerOf(dlg),
                                         &CWin32FrontEnd::DialogProc, reinterpret_cast<LPARAM>(&showing));
  m_pShowing = showing.outer;
  ReleaseTree(showing);
  return result <= 0 ? IDCANCEL : static_cast<int>(result);
}

INT_PTR CALLBACK CWin32FrontEnd::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
    reinterpret_cast<Showing*>(lParam)->hWnd = hWnd;
  }
  auto* showing = reinterpret_cast<Showing*>(GetWindowLongPtrW(hWnd, DWLP_USER));
  // Messages that come before WM_INITDIALOG (the font, the frame) get the dialog manager's handling.
  return showing != nullptr ? showing->frontEnd.OnMessage(*showing, message, wParam, lParam) : FALSE;
}

INT_PTR CWin32FrontEnd::OnMessage(Showing& showing, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      // TRUE: the dialog manager focuses the first control that takes focus.
      const BOOL focusDefault = showing.dlg.OnInitDialog();
      EndIfDone(showing);
      return focusDefault;
    }
    case WM_COMMAND:
      // IDCANCEL also arrives for Esc and the close box.
      if (LOWORD(wParam) == IDOK) {
        showing.dlg.OnOK();
      } else if (LOWORD(wParam) == IDCANCEL) {
        showing.dlg.OnCancel();
      } else {
        return FALSE;
      }
      EndIfDone(showing);
      return TRUE;
    case WM_NOTIFY: {
      LRESULT result = 0;
      if (!showing.tree || !showing.tree->ReflectNotify(*reinterpret_cast<const NMHDR*>(lParam), result)) return FALSE;
      SetWindowLongPtrW(showing.hWnd, DWLP_MSGRESULT, result);
      return TRUE;
    }
    case WM_DESTROY:
      ReleaseTree(showing);
      return FALSE;
    default:
      return FALSE;
  }
}

void CWin32FrontEnd::EndIfDone(const Showing& showing) const {
  if (showing.dlg.IsEnded()) EndDialog(showing.hWnd, showing.dlg.GetEndCode());
}

void CWin32FrontEnd::ReleaseTree(Showing& showing) const {
  if (showing.pTreeCtrl != nullptr) showing.pTreeCtrl->Detach();
  showing.pTreeCtrl = nullptr;
  showing.tree.reset();
}

bool CWin32FrontEnd::CreateTreeControl(CCheckTreeCtrl& ctrl, DWORD dwStyle, const RECT& rect, CDialog& parent,
                                       UINT nID) {
  if (m_pShowing == nullptr || &m_pShowing->dlg != &parent || m_pShowing->hWnd == nullptr) return false;
  auto tree = std::make_unique<CWin32TreeView>(m_pShowing->hWnd, dwStyle, rect, nID);
  if (!tree->IsValid()) return false;
  tree->SetStateImageList(m_ilState.GetSafeHandle());
  ReleaseTree(*m_pShowing);
  ctrl.Attach(*tree);
  m_pShowing->tree = std::move(tree);
  m_pShowing->pTreeCtrl = &ctrl;
  return true;
}

void CWin32FrontEnd::BringToFront(CDialog& dlg) {
  for (const Showing* showing = m_pShowing; showing != nullptr; showing = showing->outer) {
    if (&showing->dlg == &dlg) SetForegroundWindow(showing->hWnd);
  }
}

bool CWin32FrontEnd::LoadImageLists() {
  if (m_ilState.GetSafeHandle() == nullptr) {
    m_ilState.Create(m_hResources, IDB_RSSNEWS_STATE, kStateImageWidth, 1, kTransparent);
  }
  if (m_ilFolder.GetSafeHandle() == nullptr) {
    m_ilFolder.Create(m_hResources, IDB_RSSNEWS_FOLDER, kFolderImageWidth, 1, kTransparent);
  }
  return m_ilState.GetSafeHandle() != nullptr;
}

CWin32FrontEnd& Win32FrontEnd() {
  static CWin32FrontEnd frontEnd;
  return frontEnd;
}

}  // namespace vxwin32
