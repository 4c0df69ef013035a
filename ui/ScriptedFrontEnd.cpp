#include "ui/ScriptedFrontEnd.h"

#include "ui/CheckTreeCtrl.h"

namespace {

std::string PathText(const std::vector<CString>& path) {
  std::string text;
  for (const CString& part : path) text += (text.empty() ? "" : "/") + part.str();
  return text;
}

}  // namespace

bool CScriptedFrontEnd::CreateTreeControl(CCheckTreeCtrl& ctrl, DWORD /*dwStyle*/, const RECT& /*rect*/,
                                          CDialog& /*parent*/, UINT /*nID*/) {
  if (m_bFailTree) return false;
  m_tree = std::make_unique<CMemoryTree>();
  ctrl.Attach(*m_tree);
  m_pCtrl = &ctrl;
  return true;
}

int CScriptedFrontEnd::RunModal(CDialog& dlg) {
  ++m_nShowings;
  dlg.OnInitDialog();  // the dialog shows whatever its initialisation gives
  while (!dlg.IsEnded()) {
    if (m_nNext >= m_script.size()) {
      m_problems.push_back("the script ran out; the dialog was closed with its close box");
      dlg.OnCancel();
      break;
    }
    Play(m_script[m_nNext++], dlg);
  }
  // The tree window goes with the dialog's window.
  if (m_pCtrl != nullptr) m_pCtrl->Detach();
  m_pCtrl = nullptr;
  m_tree.reset();
  return dlg.GetEndCode();
}

CMemoryTree* CScriptedFrontEnd::RequireTree(const char* what) {
  if (!m_tree) m_problems.push_back(std::string(what) + ": the dialog has no tree");
  return m_tree.get();
}

HTREEITEM CScriptedFrontEnd::RequireVisibleItem(const std::vector<CString>& path) {
  CMemoryTree* tree = RequireTree(PathText(path).c_str());
  if (tree == nullptr) return nullptr;
  const HTREEITEM hItem = tree->FindItem(path);
  if (hItem == nullptr) {
    m_problems.push_back(PathText(path) + ": no such item");
    return nullptr;
  }
  for (HTREEITEM hParent = tree->GetParentItem(hItem); hParent != nullptr; hParent = tree->GetParentItem(hParent)) {
    if (tree->GetItemState(hParent, TVIS_EXPANDED) == 0) {
      m_problems.push_back(PathText(path) + ": not shown, a parent is collapsed");
      return nullptr;
    }
  }
  return hItem;
}

void CScriptedFrontEnd::Play(const UserAction& action, CDialog& dlg) {
  switch (action.kind) {
    case UserAction::kClickStateIcon:
      if (const HTREEITEM hItem = RequireVisibleItem(action.path)) m_tree->LButtonDown(m_tree->StateIconPoint(hItem));
      break;
    case UserAction::kClickLabel:
      if (const HTREEITEM hItem = RequireVisibleItem(action.path)) m_tree->LButtonDown(m_tree->LabelPoint(hItem));
      break;
    case UserAction::kClickBelowItems:
      if (CMemoryTree* tree = RequireTree("click below the items")) tree->LButtonDown(tree->PointBelowRows());
      break;
    case UserAction::kKey:
      if (CMemoryTree* tree = RequireTree("key press")) tree->KeyDown(action.nChar);
      break;
    case UserAction::kOK:
      dlg.OnOK();
      break;
    case UserAction::kCancel:
    case UserAction::kCloseBox:  // the close box sends the Cancel command
      dlg.OnCancel();
      break;
    case UserAction::kCapture:
      if (CMemoryTree* tree = RequireTree("capture")) {
        m_captures.push_back(tree->Render());
        m_caretsAtCaptures.push_back(tree->GetItemText(tree->GetSelectedItem()));
      }
      break;
  }
}
