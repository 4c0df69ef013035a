// CRSSNewsSettingDlg: the RSS news settings dialog. It shows the news service's category groups, with
// their items, in a check-box tree, checks the items whose IDs the selection store holds, and on OK makes
// the checked items' IDs the new selection and saves the settings file.
//
// The dialog is one object per process (VXRSS::GetRSSNewsSettingDlg) and outlives each showing: the groups
// and items it has once been told of stay listed for the rest of the process.
#pragma once

#include <map>
#include <vector>

#include "libs/newssvc/WTRSSNewsSvc.h"
#include "libs/vxcommon/Dialog.h"
#include "module/VxRssExport.h"
#include "port/CString.h"
#include "ui/CheckTreeCtrl.h"

class VXRSS_API CRSSNewsSettingDlg : public CDialog {
 public:
  enum { IDD = 26305 };                         // dialog template
  static constexpr UINT kTreeControlID = 1340;  // the tree, made at run time

  CRSSNewsSettingDlg() : CDialog(IDD) {}

  // Points the selection store at folder and reloads it from the settings file there.
  void SetSettingFolder(const CString& folder);
  // Adds the service's groups and items to the dialog's lists; FALSE only when pSvc is null.
  BOOL LoadCategories(IWTRSSNewsSvc* pSvc);

  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

  // True when the last OK collected a selection that could not be stored or saved: the settings file then
  // keeps its old content although the dialog closed with OK.
  bool SaveFailed() const { return m_bSaveFailed; }

 private:
  void FillTree();
  void MarkSelection();
  bool CollectSelection();
  // The ID of the item named itemName in the group named by hGroup's text; empty when unknown.
  CString ItemID(HTREEITEM hGroup, const CString& itemName) const;

  CCheckTreeCtrl m_treeCategory;
  std::vector<CString> m_vecSels;                              // selected item IDs while the dialog is open
  std::map<CString, std::vector<CString>> m_mapGroupItems;     // group name -> item names, first-reported order
  std::map<CString, std::map<CString, CString>> m_mapItemIDs;  // group name -> (item name -> item ID)
  bool m_bSaveFailed = false;
};

namespace VXRSS {
// The one settings dialog of the process, made on first use.
VXRSS_API CRSSNewsSettingDlg& GetRSSNewsSettingDlg();
}  // namespace VXRSS
