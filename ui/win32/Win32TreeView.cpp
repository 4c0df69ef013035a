#include "ui/win32/Win32TreeView.h"

#include <windowsx.h>

#include <vector>

#include "ui/win32/WideText.h"

// The item messages are sent in their Unicode form explicitly: the build does not define UNICODE, and the
// texts cross as UTF-16 converted from Big5.

namespace vxwin32 {

namespace {

// The window property through which the subclass procedure finds its object.
constexpr wchar_t kSelfProperty[] = L"vxRSS.CWin32TreeView";

}  // namespace

CWin32TreeView::CWin32TreeView(HWND hParent, DWORD dwStyle, const RECT& rect, UINT nID)
    : m_hWnd(CreateWindowExW(0, WC_TREEVIEWW, L"", dwStyle, rect.left, rect.top, rect.right - rect.left,
                             rect.bottom - rect.top, hParent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)),
                             reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hParent, GWLP_HINSTANCE)), nullptr)) {
  if (m_hWnd == nullptr) return;
  SetPropW(m_hWnd, kSelfProperty, this);
  m_pOriginalProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWin32TreeView::SubclassProc)));
}

CWin32TreeView::~CWin32TreeView() {
  if (m_hWnd == nullptr) return;
  ReleaseStateImages();
  Unsubclass();
}

void CWin32TreeView::ReleaseStateImages() {
  // Windows never destroys the check-box images a control made for itself, and some versions destroy
  // whatever state images a check-box control holds when it goes: take ours away and free its own here,
  // so that the caller's list survives and nothing leaks.
  if (m_hOwnStateImages == nullptr) return;
  TreeView_SetImageList(m_hWnd, nullptr, TVSIL_STATE);
  ImageList_Destroy(m_hOwnStateImages);
  m_hOwnStateImages = nullptr;
}

void CWin32TreeView::Unsubclass() {
  SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pOriginalProc));
  RemovePropW(m_hWnd, kSelfProperty);
  m_hWnd = nullptr;
}

void CWin32TreeView::SetStateImageList(HIMAGELIST images) {
  const HIMAGELIST previous = TreeView_SetImageList(m_hWnd, images, TVSIL_STATE);
  if (m_hOwnStateImages == nullptr) m_hOwnStateImages = previous;
}

LRESULT CALLBACK CWin32TreeView::SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<CWin32TreeView*>(GetPropW(hWnd, kSelfProperty));
  return self->OnMessage(message, wParam, lParam);
}

LRESULT CWin32TreeView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const WNDPROC original = m_pOriginalProc;
  const HWND hWnd = m_hWnd;
  const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  // The second press of a double-click on a check box is a click like the first, so the check-box rules
  // handle it too; the control's own handling would step the box to its next image. Elsewhere the control
  // keeps its double-click (a group's label expands or collapses it).
  if (m_pHandler != nullptr && (message == WM_LBUTTONDOWN || (message == WM_LBUTTONDBLCLK && IsOnStateIcon(point)))) {
    m_pHandler->OnLButtonDown(static_cast<UINT>(wParam), point);
    return 0;
  }
  if (m_pHandler != nullptr && message == WM_KEYDOWN) {
    m_pHandler->OnKeyDown(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
    return 0;
  }
  // The window is going away before its owner let go of it: stop routing to this object.
  if (message == WM_DESTROY) ReleaseStateImages();
  if (message == WM_NCDESTROY) Unsubclass();
  return CallWindowProcW(original, hWnd, message, wParam, lParam);
}

bool CWin32TreeView::IsOnStateIcon(POINT point) const {
  UINT flags = 0;
  return HitTest(point, &flags) != nullptr && (flags & TVHT_ONITEMSTATEICON) != 0;
}

void CWin32TreeView::DefaultProcessing(const TreeMessage& message) {
  if (message.message == WM_LBUTTONDOWN) {
    CallWindowProcW(m_pOriginalProc, m_hWnd, WM_LBUTTONDOWN, message.nFlags,
                    MAKELPARAM(message.point.x, message.point.y));
  } else if (message.message == WM_KEYDOWN) {
    CallWindowProcW(m_pOriginalProc, m_hWnd, WM_KEYDOWN, message.nChar, MAKELPARAM(message.nRepCnt, message.nFlags));
  }
}

bool CWin32TreeView::ReflectNotify(const NMHDR& header, LRESULT& result) {
  if (header.hwndFrom != m_hWnd || m_pHandler == nullptr) return false;
  if (header.code == static_cast<UINT>(NM_CLICK)) {
    result = m_pHandler->OnClick();
    return true;
  }
  if (header.code == static_cast<UINT>(TVN_KEYDOWN)) {
    result = m_pHandler->OnKeyDownNotify();
    return true;
  }
  return false;
}

HTREEITEM CWin32TreeView::GetNextItem(HTREEITEM hItem, UINT nCode) const {
  if (hItem == nullptr) return nullptr;
  return TreeView_GetNextItem(m_hWnd, hItem, nCode);
}

HTREEITEM CWin32TreeView::GetRootItem() const { return TreeView_GetRoot(m_hWnd); }
HTREEITEM CWin32TreeView::GetParentItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_PARENT); }
HTREEITEM CWin32TreeView::GetChildItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_CHILD); }
HTREEITEM CWin32TreeView::GetNextSiblingItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_NEXT); }
HTREEITEM CWin32TreeView::GetPrevSiblingItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_PREVIOUS); }
BOOL CWin32TreeView::ItemHasChildren(HTREEITEM hItem) const { return GetChildItem(hItem) != nullptr; }

UINT CWin32TreeView::GetItemState(HTREEITEM hItem, UINT nStateMask) const {
  if (hItem == nullptr) return 0;
  return TreeView_GetItemState(m_hWnd, hItem, nStateMask);
}

BOOL CWin32TreeView::SetItemState(HTREEITEM hItem, UINT nState, UINT nStateMask) {
  if (hItem == nullptr) return FALSE;
  TVITEMW item{};
  item.mask = TVIF_STATE;
  item.hItem = hItem;
  item.state = nState;
  item.stateMask = nStateMask;
  return SendMessageW(m_hWnd, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)) ? TRUE : FALSE;
}

HTREEITEM CWin32TreeView::HitTest(POINT point, UINT* pFlags) const {
  TVHITTESTINFO info{};
  info.pt = point;
  const HTREEITEM hItem = TreeView_HitTest(m_hWnd, &info);
  if (pFlags != nullptr) *pFlags = info.flags;
  return hItem;
}

HTREEITEM CWin32TreeView::GetSelectedItem() const { return TreeView_GetSelection(m_hWnd); }

BOOL CWin32TreeView::SelectItem(HTREEITEM hItem) { return TreeView_SelectItem(m_hWnd, hItem) ? TRUE : FALSE; }

HTREEITEM CWin32TreeView::InsertItem(const CString& text, HTREEITEM hParent) {
  std::wstring wide = WideFromBig5(text);
  TVINSERTSTRUCTW insert{};
  insert.hParent = hParent != nullptr ? hParent : TVI_ROOT;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT;
  insert.item.pszText = &wide[0];  // terminated, even when empty
  return reinterpret_cast<HTREEITEM>(SendMessageW(m_hWnd, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

CString CWin32TreeView::GetItemText(HTREEITEM hItem) const {
  if (hItem == nullptr) return CString();
  // The control copies at most the buffer's size less one: grow until the text fits with room to spare.
  for (std::size_t size = 256;; size *= 2) {
    std::vector<wchar_t> buffer(size, L'\0');
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = hItem;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(size);
    if (!SendMessageW(m_hWnd, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return CString();
    const std::wstring text(item.pszText);
    if (text.size() + 1 < size) return Big5FromWide(text);
  }
}

BOOL CWin32TreeView::Expand(HTREEITEM hItem, UINT nCode) {
  return TreeView_Expand(m_hWnd, hItem, nCode) ? TRUE : FALSE;
}

BOOL CWin32TreeView::EnsureVisible(HTREEITEM hItem) { return TreeView_EnsureVisible(m_hWnd, hItem) ? TRUE : FALSE; }

}  // namespace vxwin32
