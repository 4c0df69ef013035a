#include "ui/CheckTreeCtrl.h"

#include "libs/vxcommon/VxCommon.h"

BOOL CCheckTreeCtrl::Create(DWORD dwStyle, const RECT& rect, CDialog* pParentWnd, UINT nID) {
  if (pParentWnd == nullptr) return FALSE;
  IModalFrontEnd* frontEnd = pParentWnd->GetFrontEnd();
  if (frontEnd == nullptr) return FALSE;
  return frontEnd->CreateTreeControl(*this, dwStyle, rect, *pParentWnd, nID) ? TRUE : FALSE;
}

void CCheckTreeCtrl::Attach(ITreeView& tree) {
  Detach();
  m_pTree = &tree;
  m_pTree->SetMessageHandler(this);
}

void CCheckTreeCtrl::Detach() {
  if (m_pTree != nullptr) m_pTree->SetMessageHandler(nullptr);
  m_pTree = nullptr;
}

int CCheckTreeCtrl::SetItemState(HTREEITEM hItem, UINT nState, UINT nStateMask, BOOL bSearch) {
  const int result = m_pTree->SetItemState(hItem, nState, nStateMask);
  const UINT index = nState >> 12;
  if (index == kNoBox) return result;  // removing a box never propagates
  if (bSearch) PropagateToChildren(hItem, index);
  PropagateToParents(hItem, index);
  return result;
}

void CCheckTreeCtrl::OnLButtonDown(UINT nFlags, POINT point) {
  m_uHitFlags = 0;
  const HTREEITEM hItem = m_pTree->HitTest(point, &m_uHitFlags);
  if ((m_uHitFlags & TVHT_ONITEMSTATEICON) != 0 && hItem != nullptr) Toggle(hItem);
  // A press anywhere moves the caret; below the last item this clears the selection.
  m_pTree->SelectItem(hItem);
  m_pTree->DefaultProcessing(TreeMessage{WM_LBUTTONDOWN, nFlags, point, 0, 0});
}

LRESULT CCheckTreeCtrl::OnClick() {
  // The press already toggled the box; a non-zero result keeps the tree from toggling it a second time.
  return (m_uHitFlags & TVHT_ONITEMSTATEICON) != 0 ? 1 : 0;
}

LRESULT CCheckTreeCtrl::OnKeyDownNotify() { return 0; }

void CCheckTreeCtrl::OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags) {
  if (nChar != VK_SPACE) {
    m_pTree->DefaultProcessing(TreeMessage{WM_KEYDOWN, nFlags, POINT{0, 0}, nChar, nRepCnt});
    return;
  }
  // Space never reaches the tree: its own toggling knows only two states.
  const HTREEITEM hCaret = m_pTree->GetSelectedItem();
  if (hCaret != nullptr && m_pTree->GetStateIndex(hCaret) != kNoBox) Toggle(hCaret);
}

void CCheckTreeCtrl::Toggle(HTREEITEM hItem) {
  // A partially checked item becomes checked, with all its descendants.
  const UINT next = m_pTree->GetStateIndex(hItem) == kChecked ? kUnchecked : kChecked;
  SetItemState(hItem, INDEXTOSTATEIMAGEMASK(next), TVIS_STATEIMAGEMASK, TRUE);
}

void CCheckTreeCtrl::PropagateToChildren(HTREEITEM hItem, UINT nIndex) {
  for (HTREEITEM hChild = m_pTree->GetChildItem(hItem); hChild != nullptr;
       hChild = m_pTree->GetNextSiblingItem(hChild)) {
    if (m_pTree->GetStateIndex(hChild) != kNoBox) m_pTree->SetStateIndex(hChild, nIndex);
    // An item without a box may still have descendants with one.
    PropagateToChildren(hChild, nIndex);
  }
}

HTREEITEM CCheckTreeCtrl::FindDifferingSibling(HTREEITEM hItem, UINT nIndex,
                                               HTREEITEM (ITreeView::*step)(HTREEITEM) const) const {
  for (HTREEITEM hSibling = (m_pTree->*step)(hItem); hSibling != nullptr; hSibling = (m_pTree->*step)(hSibling)) {
    const UINT index = m_pTree->GetStateIndex(hSibling);
    if (index != nIndex && index != kNoBox) return hSibling;
  }
  return nullptr;
}

void CCheckTreeCtrl::PropagateToParents(HTREEITEM hItem, UINT nIndex) {
  for (HTREEITEM hParent = m_pTree->GetParentItem(hItem); hParent != nullptr;
       hItem = hParent, hParent = m_pTree->GetParentItem(hItem)) {
    const bool siblingsDiffer = FindDifferingSibling(hItem, nIndex, &ITreeView::GetNextSiblingItem) != nullptr ||
                                FindDifferingSibling(hItem, nIndex, &ITreeView::GetPrevSiblingItem) != nullptr;
    if (siblingsDiffer) {
      // The children disagree: every ancestor with a box is partially checked, whatever its other lines say.
      for (HTREEITEM hAncestor = hParent; hAncestor != nullptr; hAncestor = m_pTree->GetParentItem(hAncestor)) {
        if (m_pTree->GetStateIndex(hAncestor) != kNoBox) m_pTree->SetStateIndex(hAncestor, kPartiallyChecked);
      }
      return;
    }
    if (m_pTree->GetStateIndex(hParent) != kNoBox) m_pTree->SetStateIndex(hParent, nIndex);
  }
}
