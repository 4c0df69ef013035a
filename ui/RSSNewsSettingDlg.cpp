#include "ui/RSSNewsSettingDlg.h"

#include <algorithm>
#include <memory>

#include "settings/RSSNewsData.h"

namespace {

// The tree: child, visible, border, tab stop, expand buttons, lines (also at the root), no drag and drop,
// check boxes; placed below the dialog's prompt, in pixels of its client area.
constexpr DWORD kTreeStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES |
                             TVS_LINESATROOT | TVS_DISABLEDRAGDROP | TVS_CHECKBOXES;
static_assert(kTreeStyle == 0x50810117, "the tree's style must match the dialog's layout");
constexpr RECT kTreeRect{7, 24, 300, 195};

constexpr UINT kUnchecked = INDEXTOSTATEIMAGEMASK(CCheckTreeCtrl::kUnchecked);
constexpr UINT kChecked = INDEXTOSTATEIMAGEMASK(CCheckTreeCtrl::kChecked);

// Releases a category object of the service when the caller is done with it.
struct CategoryRelease {
  void operator()(IRSSNewsCategory* category) const { category->Release(); }
};
using CategoryPtr = std::unique_ptr<IRSSNewsCategory, CategoryRelease>;

bool Contains(const std::vector<CString>& list, const CString& text) {
  return std::find(list.begin(), list.end(), text) != list.end();
}

IRSSNewsData& Store() { return VXRSS::GetRSSNewsDataMgr(); }

}  // namespace

void CRSSNewsSettingDlg::SetSettingFolder(const CString& folder) {
  // A missing or unreadable file simply leaves the selection empty.
  Store().InitFolderPath(folder);
  Store().Load();
}

BOOL CRSSNewsSettingDlg::LoadCategories(IWTRSSNewsSvc* pSvc) {
  if (pSvc == nullptr) return FALSE;
  std::vector<CString> groupsSeen;  // groups met in this call
  const int count = pSvc->GetCategoryCount();
  for (int index = 0; index < count; ++index) {
    const CategoryPtr category(pSvc->GetCategory(index));
    if (!category) continue;
    const CString group = category->GetName();
    for (int item = 0; item < category->GetItemCount(); ++item) {
      const CString id = category->GetItemID(item);
      const CString name = category->GetItemName(item);
      if (!Contains(groupsSeen, group)) {
        // The first item of a group in this call: a group listed by an earlier call keeps its items as
        // they are, even when this item is new to it.
        groupsSeen.push_back(group);
        m_mapGroupItems.emplace(group, std::vector<CString>{name});
        m_mapItemIDs.emplace(group, std::map<CString, CString>{{name, id}});
        continue;
      }
      std::vector<CString>& names = m_mapGroupItems[group];
      if (Contains(names, name)) continue;  // a name is listed once; its first ID wins
      names.push_back(name);
      m_mapItemIDs[group].emplace(name, id);
    }
  }
  return TRUE;
}

BOOL CRSSNewsSettingDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (!m_treeCategory.HasWindow() && !m_treeCategory.Create(kTreeStyle, kTreeRect, this, kTreeControlID)) {
    return FALSE;
  }
  Store().GetRSSNewsSels(m_vecSels);
  FillTree();
  MarkSelection();
  return TRUE;
}

void CRSSNewsSettingDlg::FillTree() {
  ITreeView& tree = m_treeCategory.Tree();
  for (const auto& [group, names] : m_mapGroupItems) {
    const HTREEITEM hGroup = tree.InsertItem(group, nullptr);
    tree.EnsureVisible(hGroup);
    tree.SetItemState(hGroup, kUnchecked, TVIS_STATEIMAGEMASK);
    for (const CString& name : names) {
      tree.SetItemState(tree.InsertItem(name, hGroup), kUnchecked, TVIS_STATEIMAGEMASK);
    }
  }
}

CString CRSSNewsSettingDlg::ItemID(HTREEITEM hGroup, const CString& itemName) const {
  const auto group = m_mapItemIDs.find(m_treeCategory.Tree().GetItemText(hGroup));
  if (group == m_mapItemIDs.end()) return CString();
  const auto item = group->second.find(itemName);
  return item != group->second.end() ? item->second : CString();
}

void CRSSNewsSettingDlg::MarkSelection() {
  ITreeView& tree = m_treeCategory.Tree();
  const HTREEITEM hFirst = tree.GetRootItem();
  if (hFirst == nullptr || !tree.ItemHasChildren(hFirst)) return;
  for (HTREEITEM hGroup = hFirst; hGroup != nullptr; hGroup = tree.GetNextSiblingItem(hGroup)) {
    bool anyChecked = false;
    for (HTREEITEM hItem = tree.GetChildItem(hGroup); hItem != nullptr; hItem = tree.GetNextSiblingItem(hItem)) {
      if (Contains(m_vecSels, ItemID(hGroup, tree.GetItemText(hItem)))) {
        // Checked one at a time with propagation, so the group ends checked, partially checked or unchecked.
        m_treeCategory.SetItemState(hItem, kChecked, TVIS_STATEIMAGEMASK, TRUE);
        anyChecked = true;
      } else {
        tree.SetItemState(hItem, kUnchecked, TVIS_STATEIMAGEMASK);
      }
    }
    if (anyChecked) tree.Expand(hGroup, TVE_EXPAND);
  }
}

bool CRSSNewsSettingDlg::CollectSelection() {
  if (!m_treeCategory.HasWindow()) return false;
  const ITreeView& tree = m_treeCategory.Tree();
  const HTREEITEM hFirst = tree.GetRootItem();
  if (hFirst == nullptr || !tree.ItemHasChildren(hFirst)) return false;
  m_vecSels.clear();
  // Tree order: groups by name, items in the order the service reported them. Groups are never stored.
  for (HTREEITEM hGroup = hFirst; hGroup != nullptr; hGroup = tree.GetNextSiblingItem(hGroup)) {
    for (HTREEITEM hItem = tree.GetChildItem(hGroup); hItem != nullptr; hItem = tree.GetNextSiblingItem(hItem)) {
      if (tree.GetStateIndex(hItem) != CCheckTreeCtrl::kUnchecked) {
        m_vecSels.push_back(ItemID(hGroup, tree.GetItemText(hItem)));
      }
    }
  }
  return true;
}

void CRSSNewsSettingDlg::OnOK() {
  // Whatever storing and saving give, the dialog closes with OK; nothing is shown to the user, but the
  // caller learns of a selection that was not saved.
  m_bSaveFailed = CollectSelection() && (Store().SetRSSNewsSels(m_vecSels) == 0 || Store().Save() == 0);
  CDialog::OnOK();
}

void CRSSNewsSettingDlg::OnCancel() { CDialog::OnCancel(); }

CRSSNewsSettingDlg& VXRSS::GetRSSNewsSettingDlg() {
  static CRSSNewsSettingDlg dialog;
  return dialog;
}
