// CRssNewsMgr's settings dialog entry point.
#include "libs/vxcommon/VxCommon.h"
#include "module/ModuleStrings.h"
#include "news/RssNewsMgr.h"
#include "port/Path.h"
#include "settings/RSSNewsData.h"
#include "ui/RSSNewsSettingDlg.h"

namespace {

constexpr int kLogLevel = 0x100;  // the level of the module's other log lines

}  // namespace

// The dialog's template and images are found by the front end that shows it, so no framework module state
// needs switching around this call.
bool CRssNewsMgr::ShowRSSNewsSettingDlg(CWnd* pParent, const CString& strUserRoot) {
  CRSSNewsSettingDlg& dlg = VXRSS::GetRSSNewsSettingDlg();
  // One settings dialog at a time: a second request brings the open one to the front and changes nothing.
  if (dlg.BringToFront()) return false;
  dlg.SetParentWnd(pParent);
  dlg.SetSettingFolder(port::JoinPath(strUserRoot, VXRSS::DataFolderName()));

  IWTRSSNewsSvc* pSvc = nullptr;
  {
    const port::MutexLock lock(m_mtx);
    pSvc = m_pNewsSvc;
  }
  // The dialog runs without the lock: the service and the views may reach the manager meanwhile.
  if (!dlg.LoadCategories(pSvc)) return false;  // no service session: nothing to show
  const int nEnd = vxDoModal(&dlg, 0, 1, 0);
  if (nEnd == -1) Log(kLogLevel, "ShowRSSNewsSettingDlg: no modal front end is installed to show the dialog");
  if (nEnd != IDOK) return false;
  if (dlg.SaveFailed()) {
    Log(kLogLevel, "ShowRSSNewsSettingDlg: the selection could not be saved");
    return false;
  }

  const CString strSel = VXRSS::GetRSSNewsDataMgr().GetRSSNewsSels();
  const port::MutexLock lock(m_mtx);
  m_strRSSNewsSel = strSel;
  return true;
}
